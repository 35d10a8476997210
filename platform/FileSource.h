#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace plymark {

// What one positioned read gave: the bytes read, fewer than asked only where
// the file ends, or the system's reason why the read failed.
struct ReadResult {
  std::size_t Count = 0;
  std::string Error;  ///< empty unless the read failed
};

// An opened file, read by positioned reads: nothing is read until it is asked
// for, so a large document never has to fit in memory at once. Reads may run
// on several threads at once.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  // The size the file had when it was opened; another program may cut it
  // short later, and reads then give fewer bytes.
  virtual std::uint64_t Size() const = 0;
  virtual ReadResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const = 0;
  // The file's bytes when it is held in memory as a whole (tests, fuzzing);
  // empty for a file that is read from the system.
  virtual std::span<const std::uint8_t> InMemory() const { return {}; }
};

// A file held in memory.
class MemoryFile final : public RandomAccessFile {
 public:
  explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  ReadResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const override;
  std::span<const std::uint8_t> InMemory() const override { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// What opening a file gave: the open file, or the system's reason why not.
struct OpenedFile {
  std::shared_ptr<const RandomAccessFile> File;  ///< null when the file could not be opened
  std::string Error;                             ///< the system's reason, when File is null
};

// Opens a file read-only. Nothing is ever created or written.
class FileSource {
 public:
  virtual ~FileSource() = default;
  virtual OpenedFile Open(const std::string& path) = 0;
};

}  // namespace plymark
