#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace plymark {

// A file that cannot be read as a PSD: where it went wrong (the 0-based byte
// offset in the file) and what was being read there. what() is a complete
// sentence for the user, without the file's name.
class PsdError : public std::runtime_error {
 public:
  // Control bytes that a key read from the file may hold (a NUL above all,
  // which would end the message wherever it is handed on as a C string) are
  // written as \xNN.
  PsdError(std::int64_t offset, const std::string& field, const std::string& message)
      : std::runtime_error(Printable(message)), offset_(offset), field_(Printable(field)) {}

  std::int64_t Offset() const { return offset_; }
  const std::string& Field() const { return field_; }

  // The file ends before a field that starts at `offset` is complete.
  static PsdError Truncated(std::int64_t offset, std::size_t fileSize, const std::string& field);
  // A field holds a value that the file's structure does not allow.
  static PsdError Damaged(std::int64_t offset, const std::string& field,
                          const std::string& problem);

 private:
  static std::string Printable(const std::string& text);

  std::int64_t offset_;
  std::string field_;
};

}  // namespace plymark
