#include "psd/FieldReader.h"

#include <limits>

#include "psd/PsdError.h"

namespace plymark {
namespace {

void ReadBytes(FileView file, std::int32_t position, int count, ByteList& bytes,
               std::int32_t& nextPosition, std::string_view field) {
  const std::int64_t offset = static_cast<std::int64_t>(position) - 1;
  if (position < 1) {
    throw PsdError::Damaged(offset, std::string(field), "would lie before the start of the file");
  }
  const std::int64_t next = static_cast<std::int64_t>(position) + count;
  if (next > std::numeric_limits<std::int32_t>::max()) {
    throw PsdError::Damaged(offset, std::string(field),
                            "lies beyond the largest position a PSD file can have");
  }
  if (offset + count > static_cast<std::int64_t>(file.size())) {
    throw PsdError::Truncated(offset, file.size(), std::string(field));
  }
  bytes = ByteList{};
  bytes.Count = count;
  for (int i = 0; i < count; ++i) bytes.Bytes[i] = file[static_cast<std::size_t>(offset + i)];
  nextPosition = static_cast<std::int32_t>(next);
}

}  // namespace

void ReadFourBytes(FileView file, std::int32_t position, ByteList& bytes,
                   std::int32_t& nextPosition, std::string_view field) {
  ReadBytes(file, position, 4, bytes, nextPosition, field);
}

void ReadTwoBytes(FileView file, std::int32_t position, ByteList& bytes, std::int32_t& nextPosition,
                  std::string_view field) {
  ReadBytes(file, position, 2, bytes, nextPosition, field);
}

void ReadOneByte(FileView file, std::int32_t position, ByteList& bytes, std::int32_t& nextPosition,
                 std::string_view field) {
  ReadBytes(file, position, 1, bytes, nextPosition, field);
}

std::int32_t BytesToValue(const ByteList& bytes) {
  const auto& b = bytes.Bytes;
  switch (bytes.Count) {
    case 1:
      return b[0];
    case 2:
      return static_cast<std::int16_t>(static_cast<std::uint16_t>((b[0] << 8) | b[1]));
    case 4:
      return static_cast<std::int32_t>((static_cast<std::uint32_t>(b[0]) << 24) |
                                       (static_cast<std::uint32_t>(b[1]) << 16) |
                                       (static_cast<std::uint32_t>(b[2]) << 8) | b[3]);
    default:
      return 0;
  }
}

std::int32_t ReadInt32(FileView file, std::int32_t& position, std::string_view field) {
  ByteList bytes;
  ReadFourBytes(file, position, bytes, position, field);
  return BytesToValue(bytes);
}

std::int16_t ReadInt16(FileView file, std::int32_t& position, std::string_view field) {
  ByteList bytes;
  ReadTwoBytes(file, position, bytes, position, field);
  return static_cast<std::int16_t>(BytesToValue(bytes));
}

std::uint8_t ReadUInt8(FileView file, std::int32_t& position, std::string_view field) {
  ByteList bytes;
  ReadOneByte(file, position, bytes, position, field);
  return static_cast<std::uint8_t>(BytesToValue(bytes));
}

std::string ReadFourCharacters(FileView file, std::int32_t& position, std::string_view field) {
  ByteList bytes;
  ReadFourBytes(file, position, bytes, position, field);
  return std::string(bytes.Bytes.begin(), bytes.Bytes.end());
}

std::int32_t AdvancePosition(std::int32_t position, std::int64_t distance, std::string_view field) {
  const std::int64_t next = static_cast<std::int64_t>(position) + distance;
  if (next > std::numeric_limits<std::int32_t>::max() ||
      next < std::numeric_limits<std::int32_t>::min()) {
    throw PsdError::Damaged(static_cast<std::int64_t>(position) - 1, std::string(field),
                            "moves the read position beyond the largest a PSD file can have");
  }
  return static_cast<std::int32_t>(next);
}

std::int64_t BytesLeft(FileView file, std::int32_t position) {
  const std::int64_t offset = static_cast<std::int64_t>(position) - 1;
  if (offset < 0 || offset >= static_cast<std::int64_t>(file.size())) return 0;
  return static_cast<std::int64_t>(file.size()) - offset;
}

}  // namespace plymark
