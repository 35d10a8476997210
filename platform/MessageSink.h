#pragma once

#include <string_view>

namespace plymark {

// The two kinds of box the program shows: the parsers' notices (OK only, no
// icon, caption "Plymark") and the error box of an Open that failed.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(std::string_view text) = 0;
  virtual void ShowOpenError(std::string_view text) = 0;
};

}  // namespace plymark
