#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace plymark {

using FileView = std::span<const std::uint8_t>;

// The bytes of one field as read from the file, most significant first.
struct ByteList {
  std::array<std::uint8_t, 4> Bytes{};
  int Count = 0;
};

// Read N bytes at the 1-based `position` into `bytes` and report the position
// behind them. A read before position 1, past the end of the file, or one whose
// next position would pass the signed 32-bit range throws PsdError naming
// `field`.
void ReadFourBytes(FileView file, std::int32_t position, ByteList& bytes,
                   std::int32_t& nextPosition, std::string_view field);
void ReadTwoBytes(FileView file, std::int32_t position, ByteList& bytes, std::int32_t& nextPosition,
                  std::string_view field);
void ReadOneByte(FileView file, std::int32_t position, ByteList& bytes, std::int32_t& nextPosition,
                 std::string_view field);

// The big-endian value the bytes spell: one byte 0..255, two bytes signed
// 16-bit, four bytes signed 32-bit; any other count gives 0.
std::int32_t BytesToValue(const ByteList& bytes);

// Shorthands that read one field at `position` and move it on.
std::int32_t ReadInt32(FileView file, std::int32_t& position, std::string_view field);
std::int16_t ReadInt16(FileView file, std::int32_t& position, std::string_view field);
std::uint8_t ReadUInt8(FileView file, std::int32_t& position, std::string_view field);
// Four bytes as four characters, one per byte (a 0 byte included).
std::string ReadFourCharacters(FileView file, std::int32_t& position, std::string_view field);

// position + distance, refused when it leaves the signed 32-bit range.
std::int32_t AdvancePosition(std::int32_t position, std::int64_t distance, std::string_view field);

// Bytes of the file from `position` (1-based) to its end; 0 when the position
// lies outside the file.
std::int64_t BytesLeft(FileView file, std::int32_t position);

}  // namespace plymark
