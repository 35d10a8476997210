#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSource.h"

namespace plymark {

// The open file as the parsers read it. Small fields are served from a
// read-ahead window that copies of the view share, so that a run of fields
// costs one read of the system; large data is read straight into the
// caller's buffer. A file held in memory is viewed in place.
class FileView {
 public:
  FileView() = default;
  explicit FileView(std::shared_ptr<const RandomAccessFile> file);
  // Bytes in memory, which must outlive every use of the view.
  FileView(std::span<const std::uint8_t> bytes);    // NOLINT: a span reads as a file
  FileView(const std::vector<std::uint8_t>& bytes)  // NOLINT: so does a byte vector
      : FileView(std::span<const std::uint8_t>(bytes)) {}

  // The file's size when it was opened.
  std::int64_t size() const;

  // The `count` bytes at the 0-based `offset`. They stay valid until the next
  // read through this view or a copy of it (in memory: as long as the bytes).
  // Throws PsdError naming `field` when the file ends first.
  std::span<const std::uint8_t> Bytes(std::int64_t offset, std::size_t count,
                                      std::string_view field) const;

  // Up to `count` bytes at `offset`, fewer where the file ends: for data that
  // is only looked into. Valid as Bytes' are.
  std::span<const std::uint8_t> BytesUpTo(std::int64_t offset, std::size_t count) const;

  // Reads into.size() bytes at `offset` into the caller's buffer; throws
  // PsdError naming `field` when the file ends first. Several threads may
  // read this way at once.
  void ReadInto(std::int64_t offset, std::span<std::uint8_t> into, std::string_view field) const;

  // The bytes at `offset` for as long as the file lives, when the file is
  // held in memory; empty for a file read from the system.
  std::span<const std::uint8_t> InMemory(std::int64_t offset, std::size_t count) const;

 private:
  // The stretch of the file read last.
  struct ReadAhead {
    std::vector<std::uint8_t> Bytes;
    std::int64_t Offset = 0;
    std::size_t Filled = 0;
  };

  std::shared_ptr<const RandomAccessFile> file_;
  std::span<const std::uint8_t> memory_;
  std::shared_ptr<ReadAhead> readAhead_;
};

// The bytes of one field as read from the file, most significant first.
struct ByteList {
  std::array<std::uint8_t, 4> Bytes{};
  int Count = 0;
};

// The largest 1-based read position of a document: a PSD (version 1)
// addresses its bytes with signed 32-bit positions, a PSB (version 2) with
// 64-bit ones.
std::int64_t LargestPosition(std::int16_t version);
constexpr std::int64_t kLargestPsdPosition = std::numeric_limits<std::int32_t>::max();

// Read N bytes at the 1-based `position` into `bytes` and report the position
// behind them. A read before position 1 or past the end of the file throws
// PsdError naming `field`.
void ReadFourBytes(FileView file, std::int64_t position, ByteList& bytes,
                   std::int64_t& nextPosition, std::string_view field);
void ReadTwoBytes(FileView file, std::int64_t position, ByteList& bytes, std::int64_t& nextPosition,
                  std::string_view field);
void ReadOneByte(FileView file, std::int64_t position, ByteList& bytes, std::int64_t& nextPosition,
                 std::string_view field);

// The big-endian value the bytes spell: one byte 0..255, two bytes signed
// 16-bit, four bytes signed 32-bit; any other count gives 0.
std::int32_t BytesToValue(const ByteList& bytes);

// Shorthands that read one field at `position` and move it on.
std::int64_t ReadInt64(FileView file, std::int64_t& position, std::string_view field);
std::int32_t ReadInt32(FileView file, std::int64_t& position, std::string_view field);
std::int16_t ReadInt16(FileView file, std::int64_t& position, std::string_view field);
std::uint8_t ReadUInt8(FileView file, std::int64_t& position, std::string_view field);
// Four bytes as four characters, one per byte (a 0 byte included).
std::string ReadFourCharacters(FileView file, std::int64_t& position, std::string_view field);
// A length that a PSD stores in 4 bytes and a PSB in 8.
std::int64_t ReadLength(FileView file, std::int64_t& position, std::int16_t version,
                        std::string_view field);

// position + distance, refused when it passes `largest` or falls below the
// signed 64-bit range.
std::int64_t AdvancePosition(std::int64_t position, std::int64_t distance, std::string_view field,
                             std::int64_t largest = kLargestPsdPosition);

// Bytes of the file from `position` (1-based) to its end; 0 when the position
// lies outside the file.
std::int64_t BytesLeft(const FileView& file, std::int64_t position);

}  // namespace plymark
