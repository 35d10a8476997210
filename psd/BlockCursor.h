#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace plymark {

// Reads the big-endian fields of one block's bytes (a tagged block, an image
// resource, a linked file) and never past their end: a field that does not
// fit throws PsdError with its file offset, naming the field and `context`
// ("the 'lfx2' block of layer 3").
class BlockCursor {
 public:
  BlockCursor(std::span<const std::uint8_t> bytes, std::int64_t fileOffset, std::string context);

  std::size_t Left() const { return bytes_.size() - offset_; }
  std::size_t Offset() const { return offset_; }
  // The file offset of the next byte.
  std::int64_t FileOffset() const { return fileOffset_ + static_cast<std::int64_t>(offset_); }
  const std::string& Context() const { return context_; }

  std::uint8_t UInt8(std::string_view field);
  std::uint16_t UInt16(std::string_view field);
  std::uint32_t UInt32(std::string_view field);
  std::uint64_t UInt64(std::string_view field);
  std::int32_t Int32(std::string_view field) { return static_cast<std::int32_t>(UInt32(field)); }
  double Double(std::string_view field);
  std::span<const std::uint8_t> Bytes(std::uint64_t count, std::string_view field);
  void Skip(std::uint64_t count, std::string_view field) { Bytes(count, field); }
  // Four bytes as four characters: a key, a signature, a unit.
  std::string FourCharacters(std::string_view field);
  // A 4-byte count of UTF-16 units, then the units, as UTF-8 without the
  // trailing NUL the maker counts.
  std::string UnicodeString(std::string_view field);
  // A length byte and that many characters (no padding), as stored.
  std::string PascalString(std::string_view field);
  // A cursor over the next `count` bytes, which this one passes.
  BlockCursor Sub(std::uint64_t count, std::string_view field);

  // Throws PsdError for the field that starts at the next byte.
  [[noreturn]] void Fail(std::string_view field, const std::string& problem) const;

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
  std::int64_t fileOffset_ = 0;
  std::string context_;
};

}  // namespace plymark
