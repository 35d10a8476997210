#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "plymark/Api.h"

namespace plymark {
inline namespace v0 {

// Every failure of the library: a file that cannot be opened or is damaged,
// a layer that cannot be decoded, too little memory. what() is the sentence
// that plymark-export prints after the file's name today, without the name.
class PLYMARK_API Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message, std::int64_t offset = -1);
  ~Error() override;

  // The byte offset in the file where the damage was found; -1 when the
  // failure is not tied to one (the file cannot be opened, no memory).
  std::int64_t Offset() const noexcept { return offset_; }

 private:
  std::int64_t offset_;
};

}  // namespace v0
}  // namespace plymark
