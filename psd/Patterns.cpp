#include "psd/Patterns.h"

#include <algorithm>

#include "psd/BlockCursor.h"
#include "psd/PsdError.h"

namespace plymark {
namespace {

// The most channel slots a pattern may declare: the maker writes 24 and two.
constexpr std::uint32_t kMostChannels = 56;
// A pattern's head (name, id, colour table, the channel list's header) is read
// through a window of at most this many bytes.
constexpr std::size_t kHeadBytes = 4096;
// A written channel's length, depth, rectangle, sample depth and compression.
constexpr std::int64_t kChannelHeadBytes = 27;
constexpr std::int32_t kIndexed = 2;

// Reads the pattern record at `offset`, `length` bytes long, when its id is
// `id`; its channels' heads are read only then.
std::optional<Pattern> ReadPattern(const FileView& file, std::int64_t offset, std::int64_t length,
                                   const std::string& context, std::string_view id) {
  const std::int64_t end = offset + length;
  const auto headSize = static_cast<std::size_t>(std::min<std::int64_t>(length, kHeadBytes));
  BlockCursor head(file.Bytes(offset, headSize, "pattern"), offset, context);
  Pattern pattern;
  head.Skip(4, "pattern version");
  pattern.ImageMode = head.Int32("pattern image mode");
  pattern.Height = head.UInt16("pattern height");
  pattern.Width = head.UInt16("pattern width");
  pattern.Name = head.UnicodeString("pattern name");
  pattern.Id = head.PascalString("pattern id");
  if (pattern.Id != id) return std::nullopt;
  if (pattern.ImageMode == kIndexed) {
    const auto table = head.Bytes(768, "pattern colour table");
    pattern.ColourTable.assign(table.begin(), table.end());
    head.Skip(4, "pattern colour count");
  }
  head.Skip(4, "pattern channel list version");
  const std::uint32_t listLength = head.UInt32("pattern channel list length");
  pattern.Top = head.Int32("pattern top");
  pattern.Left = head.Int32("pattern left");
  pattern.Bottom = head.Int32("pattern bottom");
  pattern.Right = head.Int32("pattern right");
  const std::uint32_t count = head.UInt32("pattern channel count");
  if (count > kMostChannels) head.Fail("pattern channel count", "is more than any pattern has");
  pattern.ChannelCount = count;
  std::int64_t at = head.FileOffset();
  const std::int64_t listEnd = std::min(end, at - 20 + static_cast<std::int64_t>(listLength));
  // The colour channels, then a user mask and the transparency.
  for (std::uint32_t slot = 0; slot < count + 2 && at + 4 <= listEnd; ++slot) {
    BlockCursor written(file.Bytes(at, 4, "pattern channel"), at, context);
    at += 4;
    if (written.UInt32("pattern channel written") == 0) {
      pattern.Channels.emplace_back();
      continue;
    }
    const auto headBytes = static_cast<std::size_t>(std::min(listEnd - at, kChannelHeadBytes));
    BlockCursor channel(file.Bytes(at, headBytes, "pattern channel"), at, context);
    const std::uint32_t channelLength = channel.UInt32("pattern channel length");
    if (channelLength < kChannelHeadBytes - 4 ||
        static_cast<std::int64_t>(channelLength) > listEnd - at - 4) {
      channel.Fail("pattern channel length", "leaves its pattern");
    }
    PatternChannel read;
    read.Depth = channel.Int32("pattern channel depth");
    read.Top = channel.Int32("pattern channel top");
    read.Left = channel.Int32("pattern channel left");
    read.Bottom = channel.Int32("pattern channel bottom");
    read.Right = channel.Int32("pattern channel right");
    channel.Skip(2, "pattern channel sample depth");
    read.Block.Compression = channel.UInt8("pattern channel compression");
    read.Block.DataOffset = channel.FileOffset();
    read.Block.DataLength = at + 4 + channelLength - read.Block.DataOffset;
    read.Block.RowLengthBytes = 2;
    pattern.Channels.push_back(read);
    at += 4 + channelLength;
  }
  return pattern;
}

}  // namespace

std::optional<Pattern> FindPattern(const FileView& file, const std::vector<TaggedBlockRef>& blocks,
                                   std::string_view id) {
  for (const TaggedBlockRef& block : blocks) {
    if (block.Key != "Patt" && block.Key != "Pat2" && block.Key != "Pat3") continue;
    const std::string context = "the '" + block.Key + "' block";
    const std::int64_t end = std::min(block.Offset + block.Length, file.size());
    std::int64_t at = block.Offset;
    while (at + 4 <= end) {
      BlockCursor size(file.Bytes(at, 4, "pattern length"), at, context);
      const std::uint32_t length = size.UInt32("pattern length");
      if (length < 16 || static_cast<std::int64_t>(length) > end - at - 4) {
        size.Fail("pattern length", "leaves the block");
      }
      if (auto pattern = ReadPattern(file, at + 4, length, context, id)) return pattern;
      // Records are padded to four bytes.
      at += 4 + ((static_cast<std::int64_t>(length) + 3) & ~std::int64_t{3});
    }
  }
  return std::nullopt;
}

}  // namespace plymark
