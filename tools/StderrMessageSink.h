#pragma once

#include <string>

#include "platform/MessageSink.h"

namespace plymark {

// The boxes the viewer would show, as lines "<program>: TEXT" on standard
// error; a quiet sink drops the notices but never an error.
class StderrMessageSink final : public MessageSink {
 public:
  StderrMessageSink(std::string program, bool quiet)
      : program_(std::move(program)), quiet_(quiet) {}
  void ShowMessage(std::string_view text) override;
  void ShowOpenError(std::string_view text) override;

 private:
  std::string program_;
  bool quiet_;
};

}  // namespace plymark
