#include "tools/StderrMessageSink.h"

#include <cstdio>

namespace plymark {

void StderrMessageSink::ShowMessage(std::string_view text) {
  if (quiet_) return;
  std::fprintf(stderr, "%s: %.*s\n", program_.c_str(), static_cast<int>(text.size()), text.data());
}

void StderrMessageSink::ShowOpenError(std::string_view text) {
  std::fprintf(stderr, "%s: %.*s\n", program_.c_str(), static_cast<int>(text.size()), text.data());
}

}  // namespace plymark
