#include "psd/LayerExtraData.h"

#include <algorithm>
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

  // Skips a 4-byte length and the bytes it announces.
  bool SkipLengthAndBytes() {
    const auto length = UInt32();
    return length && Bytes(*length);
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

// UTF-16 big-endian units as UTF-8: surrogate pairs join to one code point; a
// lone surrogate becomes U+FFFD. Trailing zero units, which some writers
// count, are dropped.
std::string Utf16BigEndianToUtf8(std::span<const std::uint8_t> units) {
  std::size_t count = units.size() / 2;
  const auto unitAt = [&units](std::size_t k) -> char32_t {
    return static_cast<char32_t>((units[2 * k] << 8) | units[2 * k + 1]);
  };
  while (count > 0 && unitAt(count - 1) == 0) --count;
  std::string out;
  out.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const char32_t unit = unitAt(k);
    if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < count) {
      const char32_t low = unitAt(k + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    AppendUtf8(out, (unit >= 0xD800 && unit <= 0xDFFF) ? char32_t{0xFFFD} : unit);
  }
  return out;
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
};

TaggedBlockFacts WalkTaggedBlocks(ExtraDataCursor cursor, std::int16_t version) {
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
    const auto data = cursor.Bytes(*length);
    if (!data) break;
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

// The layer mask data: rectangle, default colour and flags come first; mask
// parameters and the real user mask that may follow belong to channel -3 and
// vector masks, which are not read. Fewer than 18 bytes describe no mask.
std::optional<LayerMask> ReadMask(std::span<const std::uint8_t> data) {
  ExtraDataCursor cursor(data);
  if (cursor.Left() < 18) return std::nullopt;
  const auto edge = [&cursor] { return static_cast<std::int32_t>(*cursor.UInt32()); };
  LayerMask mask;
  mask.Top = edge();
  mask.Left = edge();
  mask.Bottom = edge();
  mask.Right = edge();
  mask.DefaultColor = (*cursor.Bytes(1))[0];
  mask.Flags = (*cursor.Bytes(1))[0];
  return mask;
}

std::string PascalNameToUtf8(std::span<const std::uint8_t> bytes) {
  const std::string_view text = AsText(bytes);
  return IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
}

}  // namespace

LayerExtraData ReadLayerExtraData(std::span<const std::uint8_t> extraData, std::int16_t version) {
  LayerExtraData read;
  ExtraDataCursor cursor(extraData);
  const auto maskLength = cursor.UInt32();
  if (!maskLength) return read;
  const auto maskData = cursor.Bytes(*maskLength);
  if (!maskData) return read;
  read.Mask = ReadMask(*maskData);
  if (!cursor.SkipLengthAndBytes()) return read;  // blending ranges
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
  TaggedBlockFacts facts = WalkTaggedBlocks(cursor, version);
  if (facts.UnicodeName && !facts.UnicodeName->empty()) read.Name = std::move(*facts.UnicodeName);
  read.SectionDividerSetting = facts.SectionDividerSetting;
  return read;
}

}  // namespace plymark
