#include "psd/LayerNames.h"

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

// The tagged blocks behind the Pascal name: 4-byte signature, 4-byte key,
// 4-byte length, data. Returns the name of the first `luni` block that fits.
std::optional<std::string> FindUnicodeName(ExtraDataCursor cursor, std::int16_t version) {
  while (cursor.Left() >= 12) {
    const auto signature = cursor.Bytes(4);
    if (!IsTaggedBlockSignature(*signature)) return std::nullopt;
    const std::string_view key = AsText(*cursor.Bytes(4));
    const auto length = HasEightByteLength(version, key)
                            ? cursor.UInt64()
                            : std::optional<std::uint64_t>(cursor.UInt32());
    if (!length) return std::nullopt;
    const auto data = cursor.Bytes(*length);
    if (!data) return std::nullopt;
    if (key == "luni") return UnicodeName(*data);
    // Some writers leave a block's padding to an even length out of its length.
    if (*length % 2 != 0 && cursor.Left() > 12) {
      ExtraDataCursor padded = cursor;
      padded.Bytes(1);
      const auto next = padded.Bytes(4);
      if (next && IsTaggedBlockSignature(*next)) cursor.Bytes(1);
    }
  }
  return std::nullopt;
}

std::string PascalNameToUtf8(std::span<const std::uint8_t> bytes) {
  const std::string_view text = AsText(bytes);
  return IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
}

}  // namespace

std::string ReadLayerName(std::span<const std::uint8_t> extraData, std::int16_t version) {
  ExtraDataCursor cursor(extraData);
  if (!cursor.SkipLengthAndBytes()) return {};  // layer mask data
  if (!cursor.SkipLengthAndBytes()) return {};  // blending ranges
  const auto lengthByte = cursor.Bytes(1);
  if (!lengthByte) return {};
  const std::size_t length = (*lengthByte)[0];
  const auto pascal = cursor.Bytes(length);
  if (!pascal) return {};
  // The length byte and the name take a multiple of 4 bytes; a record that
  // ends inside this padding has no tagged blocks.
  const std::size_t padding = (4 - (1 + length) % 4) % 4;
  if (!cursor.Bytes(padding)) return PascalNameToUtf8(*pascal);
  if (auto unicode = FindUnicodeName(cursor, version); unicode && !unicode->empty()) {
    return *unicode;
  }
  return PascalNameToUtf8(*pascal);
}

}  // namespace plymark
