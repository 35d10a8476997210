#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace plymark {

// The whole content of an opened file, read into memory once. Parsers index it
// with bounds checks instead of asking the system for every byte.
struct FileBytes {
  std::unique_ptr<std::uint8_t[]> Data;
  std::size_t Size = 0;

  std::span<const std::uint8_t> View() const { return {Data.get(), Size}; }
};

// What opening a file gave: its bytes, or the system's reason why not.
struct OpenedFile {
  std::shared_ptr<const FileBytes> Bytes;  ///< null when the file could not be read
  std::string Error;                       ///< the system's reason, when Bytes is null
};

// Opens a file read-only and hands back all of its bytes. Nothing is ever
// created or written.
class FileSource {
 public:
  virtual ~FileSource() = default;
  virtual OpenedFile Open(const std::string& path) = 0;
};

}  // namespace plymark
