#include "psd/PsdError.h"

namespace plymark {

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
