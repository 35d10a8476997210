#include "psd/BlockCursor.h"

#include <cstring>

#include "psd/CodePage.h"
#include "psd/PsdError.h"

namespace plymark {

BlockCursor::BlockCursor(std::span<const std::uint8_t> bytes, std::int64_t fileOffset,
                         std::string context)
    : bytes_(bytes), fileOffset_(fileOffset), context_(std::move(context)) {}

void BlockCursor::Fail(std::string_view field, const std::string& problem) const {
  throw PsdError::Damaged(FileOffset(), std::string(field) + " in " + context_, problem);
}

std::span<const std::uint8_t> BlockCursor::Bytes(std::uint64_t count, std::string_view field) {
  if (count > Left()) {
    Fail(field, "needs " + std::to_string(count) + " bytes, more than the " +
                    std::to_string(Left()) + " left in it");
  }
  const auto taken = bytes_.subspan(offset_, static_cast<std::size_t>(count));
  offset_ += static_cast<std::size_t>(count);
  return taken;
}

std::uint8_t BlockCursor::UInt8(std::string_view field) {
  return Bytes(1, field)[0];
}

std::uint16_t BlockCursor::UInt16(std::string_view field) {
  const auto bytes = Bytes(2, field);
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::uint32_t BlockCursor::UInt32(std::string_view field) {
  const auto bytes = Bytes(4, field);
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
         (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

std::uint64_t BlockCursor::UInt64(std::string_view field) {
  std::uint64_t value = 0;
  for (const std::uint8_t byte : Bytes(8, field)) value = (value << 8) | byte;
  return value;
}

double BlockCursor::Double(std::string_view field) {
  const std::uint64_t bits = UInt64(field);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string BlockCursor::FourCharacters(std::string_view field) {
  const auto bytes = Bytes(4, field);
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string BlockCursor::UnicodeString(std::string_view field) {
  const std::uint32_t units = UInt32(field);
  return Utf16BigEndianToUtf8(Bytes(std::uint64_t{units} * 2, field));
}

std::string BlockCursor::PascalString(std::string_view field) {
  const std::uint8_t length = UInt8(field);
  const auto bytes = Bytes(length, field);
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

BlockCursor BlockCursor::Sub(std::uint64_t count, std::string_view field) {
  const std::int64_t start = FileOffset();
  return {Bytes(count, field), start, context_};
}

}  // namespace plymark
