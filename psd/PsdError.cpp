#include "psd/PsdError.h"

namespace plymark {

std::string PsdError::Printable(const std::string& text) {
  std::string printable;
  printable.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      printable += c;
      continue;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    printable += "\\x";
    printable += kHex[byte >> 4];
    printable += kHex[byte & 0xF];
  }
  return printable;
}

PsdError PsdError::Truncated(std::int64_t offset, std::size_t fileSize, const std::string& field) {
  return PsdError(
      offset, field,
      "the file ends at byte " + std::to_string(fileSize) + " while reading the " + field);
}

PsdError PsdError::Damaged(std::int64_t offset, const std::string& field,
                           const std::string& problem) {
  return PsdError(offset, field,
                  "the " + field + " at byte offset " + std::to_string(offset) + " " + problem);
}

}  // namespace plymark
