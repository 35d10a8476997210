#pragma once

#include "platform/FileSource.h"

namespace plymark {

// Reads a file through the operating system, opened read-only, in one pass.
class SystemFileSource final : public FileSource {
 public:
  OpenedFile Open(const std::string& path) override;
};

}  // namespace plymark
