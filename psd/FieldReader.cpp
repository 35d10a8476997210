#include "psd/FieldReader.h"

#include <algorithm>
#include <cstring>

#include "psd/PsdError.h"

namespace plymark {
namespace {

// One read of the system fetches at least this much for the fields behind.
constexpr std::size_t kReadAheadSize = std::size_t{64} << 10;

}  // namespace

FileView::FileView(std::shared_ptr<const RandomAccessFile> file)
    : file_(std::move(file)), readAhead_(std::make_shared<ReadAhead>()) {
  if (file_ != nullptr) memory_ = file_->InMemory();
}

FileView::FileView(std::span<const std::uint8_t> bytes) : memory_(bytes) {}

std::int64_t FileView::size() const {
  if (file_ != nullptr) return static_cast<std::int64_t>(file_->Size());
  return static_cast<std::int64_t>(memory_.size());
}

std::span<const std::uint8_t> FileView::BytesUpTo(std::int64_t offset, std::size_t count) const {
  if (offset < 0 || offset >= size()) return {};
  count = static_cast<std::size_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(count), size() - offset));
  // In memory, the bytes are the file's whole size.
  if (file_ == nullptr || !memory_.empty()) {
    return memory_.subspan(static_cast<std::size_t>(offset), count);
  }
  ReadAhead& window = *readAhead_;
  if (offset >= window.Offset && offset + static_cast<std::int64_t>(count) <=
                                     window.Offset + static_cast<std::int64_t>(window.Filled)) {
    return {window.Bytes.data() + (offset - window.Offset), count};
  }
  window.Bytes.resize(std::max(count, kReadAheadSize));
  window.Offset = offset;
  window.Filled = 0;
  const ReadResult read = file_->ReadAt(static_cast<std::uint64_t>(offset), window.Bytes);
  if (!read.Error.empty()) {
    throw PsdError(offset, "file",
                   "the file cannot be read at byte " + std::to_string(offset) + ": " + read.Error);
  }
  window.Filled = read.Count;
  return {window.Bytes.data(), std::min(count, read.Count)};
}

std::span<const std::uint8_t> FileView::Bytes(std::int64_t offset, std::size_t count,
                                              std::string_view field) const {
  const auto bytes = BytesUpTo(offset, count);
  if (bytes.size() < count) {
    // A file cut short while it was open ends where its bytes ran out.
    const std::int64_t end = bytes.empty() && offset >= size()
                                 ? size()
                                 : offset + static_cast<std::int64_t>(bytes.size());
    throw PsdError::Truncated(offset, static_cast<std::size_t>(std::max<std::int64_t>(end, 0)),
                              std::string(field));
  }
  return bytes;
}

void FileView::ReadInto(std::int64_t offset, std::span<std::uint8_t> into,
                        std::string_view field) const {
  if (into.empty()) return;
  if (offset < 0 || offset >= size()) {
    throw PsdError::Truncated(offset, static_cast<std::size_t>(std::max<std::int64_t>(size(), 0)),
                              std::string(field));
  }
  // Straight from the bytes or the system, never through the read-ahead
  // window: reads into the caller's buffer may run on several threads.
  if (file_ == nullptr || !memory_.empty()) {
    const auto bytes = memory_.subspan(static_cast<std::size_t>(offset));
    const std::size_t count = std::min(into.size(), bytes.size());
    std::memcpy(into.data(), bytes.data(), count);
    if (count < into.size()) {
      throw PsdError::Truncated(offset, memory_.size(), std::string(field));
    }
    return;
  }
  const ReadResult read = file_->ReadAt(static_cast<std::uint64_t>(offset), into);
  if (!read.Error.empty()) {
    throw PsdError(offset, std::string(field),
                   "the file cannot be read at byte " + std::to_string(offset) + ": " + read.Error);
  }
  if (read.Count < into.size()) {
    throw PsdError::Truncated(offset, static_cast<std::size_t>(offset) + read.Count,
                              std::string(field));
  }
}

std::span<const std::uint8_t> FileView::InMemory(std::int64_t offset, std::size_t count) const {
  if (memory_.empty() || offset < 0 || static_cast<std::size_t>(offset) > memory_.size() ||
      memory_.size() - static_cast<std::size_t>(offset) < count) {
    return {};
  }
  return memory_.subspan(static_cast<std::size_t>(offset), count);
}

std::int64_t LargestPosition(std::int16_t version) {
  // Any position a file on disk can have; every sum below stays far inside 64 bits.
  constexpr std::int64_t kLargestPsbPosition = std::int64_t{1} << 62;
  return version == 2 ? kLargestPsbPosition : kLargestPsdPosition;
}

namespace {

void ReadBytes(const FileView& file, std::int64_t position, int count, ByteList& bytes,
               std::int64_t& nextPosition, std::string_view field) {
  const std::int64_t offset = position - 1;
  if (position < 1) {
    throw PsdError::Damaged(offset, std::string(field), "would lie before the start of the file");
  }
  const auto read = file.Bytes(offset, static_cast<std::size_t>(count), field);
  bytes = ByteList{};
  bytes.Count = count;
  std::copy_n(read.data(), count, bytes.Bytes.begin());
  nextPosition = position + count;
}

}  // namespace

void ReadFourBytes(FileView file, std::int64_t position, ByteList& bytes,
                   std::int64_t& nextPosition, std::string_view field) {
  ReadBytes(file, position, 4, bytes, nextPosition, field);
}

void ReadTwoBytes(FileView file, std::int64_t position, ByteList& bytes, std::int64_t& nextPosition,
                  std::string_view field) {
  ReadBytes(file, position, 2, bytes, nextPosition, field);
}

void ReadOneByte(FileView file, std::int64_t position, ByteList& bytes, std::int64_t& nextPosition,
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

std::int64_t ReadInt64(FileView file, std::int64_t& position, std::string_view field) {
  const std::int32_t high = ReadInt32(file, position, field);
  const std::int32_t low = ReadInt32(file, position, field);
  return static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) |
      static_cast<std::uint32_t>(low));
}

std::int32_t ReadInt32(FileView file, std::int64_t& position, std::string_view field) {
  ByteList bytes;
  ReadFourBytes(file, position, bytes, position, field);
  return BytesToValue(bytes);
}

std::int16_t ReadInt16(FileView file, std::int64_t& position, std::string_view field) {
  ByteList bytes;
  ReadTwoBytes(file, position, bytes, position, field);
  return static_cast<std::int16_t>(BytesToValue(bytes));
}

std::uint8_t ReadUInt8(FileView file, std::int64_t& position, std::string_view field) {
  ByteList bytes;
  ReadOneByte(file, position, bytes, position, field);
  return static_cast<std::uint8_t>(BytesToValue(bytes));
}

std::string ReadFourCharacters(FileView file, std::int64_t& position, std::string_view field) {
  ByteList bytes;
  ReadFourBytes(file, position, bytes, position, field);
  return std::string(bytes.Bytes.begin(), bytes.Bytes.end());
}

std::int64_t ReadLength(FileView file, std::int64_t& position, std::int16_t version,
                        std::string_view field) {
  if (version == 2) return ReadInt64(file, position, field);
  return ReadInt32(file, position, field);
}

std::int64_t AdvancePosition(std::int64_t position, std::int64_t distance, std::string_view field,
                             std::int64_t largest) {
  // Both stay far inside 64 bits: positions within the largest, distances
  // read from at most 8 bytes are checked first.
  const bool beyond = distance > 0 ? distance > largest - position
                                   : distance < std::numeric_limits<std::int64_t>::min() / 2 ||
                                         position + distance < -largest;
  if (beyond) {
    throw PsdError::Damaged(position - 1, std::string(field),
                            "moves the read position beyond the largest a PSD file can have");
  }
  return position + distance;
}

std::int64_t BytesLeft(const FileView& file, std::int64_t position) {
  const std::int64_t offset = position - 1;
  if (offset < 0 || offset >= file.size()) return 0;
  return file.size() - offset;
}

}  // namespace plymark
