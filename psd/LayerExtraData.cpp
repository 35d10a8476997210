#include "psd/LayerExtraData.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "psd/CodePage.h"
#include "psd/TaggedBlocks.h"

namespace plymark {
namespace {

// Reads big-endian fields of one byte range, never past its end: a read that
// does not fit gives nothing and leaves the cursor where it was.
class ExtraDataCursor {
 public:
  explicit ExtraDataCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Left() const { return bytes_.size() - offset_; }
  std::size_t Offset() const { return offset_; }

  std::optional<std::uint32_t> UInt32() {
    if (Left() < 4) return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | bytes_[offset_++];
    return value;
  }

  std::optional<std::uint64_t> UInt64() {
    if (Left() < 8) return std::nullopt;
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | bytes_[offset_++];
    return value;
  }

  std::optional<std::span<const std::uint8_t>> Bytes(std::uint64_t count) {
    if (Left() < count) return std::nullopt;
    const auto taken = bytes_.subspan(offset_, static_cast<std::size_t>(count));
    offset_ += static_cast<std::size_t>(count);
    return taken;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
};

std::string_view AsText(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool IsTaggedBlockSignature(std::span<const std::uint8_t> bytes) {
  const std::string_view text = AsText(bytes);
  return text == "8BIM" || text == "8B64";
}

// The name of a `luni` block's data: a 4-byte count of UTF-16 units, then the
// units. A count that overruns the block refuses the block.
std::optional<std::string> UnicodeName(std::span<const std::uint8_t> data) {
  ExtraDataCursor cursor(data);
  const auto count = cursor.UInt32();
  if (!count) return std::nullopt;
  const auto units = cursor.Bytes(std::uint64_t{*count} * 2);
  if (!units) return std::nullopt;
  return Utf16BigEndianToUtf8(*units);
}

// The type of a section divider block's data: its first 4 bytes.
std::int32_t DividerSetting(std::span<const std::uint8_t> data) {
  ExtraDataCursor cursor(data);
  const auto type = cursor.UInt32();
  return type ? static_cast<std::int32_t>(*type) : 0;
}

// What the tagged blocks behind the Pascal name say: 4-byte signature, 4-byte
// key, 4-byte length (8 for some keys in a PSB), data. The first `luni` block
// and the first `lsct` or `lsdk` block count; a block that does not fit ends
// the walk.
struct TaggedBlockFacts {
  std::optional<std::string> UnicodeName;
  std::int32_t SectionDividerSetting = 0;
  std::vector<TaggedBlockRef> Blocks;
};

TaggedBlockFacts WalkTaggedBlocks(ExtraDataCursor cursor, std::int16_t version,
                                  std::int64_t fileOffset) {
  TaggedBlockFacts facts;
  bool dividerSeen = false;
  while (cursor.Left() >= 12) {
    const auto signature = cursor.Bytes(4);
    if (!IsTaggedBlockSignature(*signature)) break;
    const std::string_view key = AsText(*cursor.Bytes(4));
    const auto length = HasEightByteLength(version, key)
                            ? cursor.UInt64()
                            : std::optional<std::uint64_t>(cursor.UInt32());
    if (!length) break;
    const std::size_t dataOffset = cursor.Offset();
    const auto data = cursor.Bytes(*length);
    if (!data) break;
    facts.Blocks.push_back({std::string(key), fileOffset + static_cast<std::int64_t>(dataOffset),
                            static_cast<std::int64_t>(*length)});
    if (key == "luni" && !facts.UnicodeName) {
      facts.UnicodeName = UnicodeName(*data);
      if (!facts.UnicodeName) facts.UnicodeName = std::string();  // refused: the Pascal name
    } else if ((key == "lsct" || key == "lsdk") && !dividerSeen) {
      facts.SectionDividerSetting = DividerSetting(*data);
      dividerSeen = true;
    }
    // Some writers leave a block's padding to an even length out of its length.
    if (*length % 2 != 0 && cursor.Left() > 12) {
      ExtraDataCursor padded = cursor;
      padded.Bytes(1);
      const auto next = padded.Bytes(4);
      if (next && IsTaggedBlockSignature(*next)) cursor.Bytes(1);
    }
  }
  return facts;
}

// The layer mask data: rectangle, default colour and flags come first. Data
// of 36 bytes or more then holds the real user mask's flags, default colour
// and rectangle (channel -3); behind them, when flags bit 4 is set, a byte
// says which mask parameters follow: bit 0 user mask density (1 byte), bit 1
// user mask feather (8-byte double), bit 2 vector mask density, bit 3 vector
// mask feather. Fewer than 18 bytes describe no mask; parameters that do not
// fit are left out.
std::optional<LayerMask> ReadMask(std::span<const std::uint8_t> data) {
  ExtraDataCursor cursor(data);
  if (cursor.Left() < 18) return std::nullopt;
  const auto edge = [&cursor] { return static_cast<std::int32_t>(*cursor.UInt32()); };
  const auto byte = [&cursor] { return (*cursor.Bytes(1))[0]; };
  LayerMask mask;
  mask.Top = edge();
  mask.Left = edge();
  mask.Bottom = edge();
  mask.Right = edge();
  mask.DefaultColor = byte();
  mask.Flags = byte();
  if (data.size() >= 36) {
    LayerMask::RealUserMask real;
    real.Flags = byte();
    real.DefaultColor = byte();
    real.Top = edge();
    real.Left = edge();
    real.Bottom = edge();
    real.Right = edge();
    mask.Real = real;
  }
  if ((mask.Flags & 0x10) == 0 || cursor.Left() < 1) return mask;
  const std::uint8_t present = byte();
  const auto density = [&](int bit, std::optional<std::uint8_t>& into) {
    if ((present & (1 << bit)) != 0 && cursor.Left() >= 1) into = byte();
  };
  const auto feather = [&](int bit, std::optional<double>& into) {
    if ((present & (1 << bit)) == 0) return;
    const auto bits = cursor.UInt64();
    if (!bits) return;
    double value = 0;
    std::memcpy(&value, &*bits, sizeof value);
    into = value;
  };
  density(0, mask.UserMaskDensity);
  feather(1, mask.UserMaskFeather);
  density(2, mask.VectorMaskDensity);
  feather(3, mask.VectorMaskFeather);
  return mask;
}

std::string PascalNameToUtf8(std::span<const std::uint8_t> bytes) {
  const std::string_view text = AsText(bytes);
  return IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
}

}  // namespace

LayerExtraData ReadLayerExtraData(std::span<const std::uint8_t> extraData, std::int16_t version,
                                  std::int64_t fileOffset) {
  LayerExtraData read;
  ExtraDataCursor cursor(extraData);
  const auto maskLength = cursor.UInt32();
  if (!maskLength) return read;
  const auto maskData = cursor.Bytes(*maskLength);
  if (!maskData) return read;
  read.Mask = ReadMask(*maskData);
  const auto rangesLength = cursor.UInt32();
  if (!rangesLength) return read;
  const auto ranges = cursor.Bytes(*rangesLength);
  if (!ranges) return read;
  read.BlendingRanges.assign(ranges->begin(), ranges->end());
  const auto lengthByte = cursor.Bytes(1);
  if (!lengthByte) return read;
  const std::size_t length = (*lengthByte)[0];
  const auto pascal = cursor.Bytes(length);
  if (!pascal) return read;
  read.Name = PascalNameToUtf8(*pascal);
  // The length byte and the name take a multiple of 4 bytes; a record that
  // ends inside this padding has no tagged blocks.
  const std::size_t padding = (4 - (1 + length) % 4) % 4;
  if (!cursor.Bytes(padding)) return read;
  TaggedBlockFacts facts = WalkTaggedBlocks(cursor, version, fileOffset);
  if (facts.UnicodeName && !facts.UnicodeName->empty()) read.Name = std::move(*facts.UnicodeName);
  read.SectionDividerSetting = facts.SectionDividerSetting;
  read.Blocks = std::move(facts.Blocks);
  return read;
}

}  // namespace plymark
