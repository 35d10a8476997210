#pragma once

#include "platform/FileSource.h"

namespace plymark {

// Opens files through the operating system, read-only; the file stays open
// while the document is read and is read by positioned reads.
class SystemFileSource final : public FileSource {
 public:
  OpenedFile Open(const std::string& path) override;
};

}  // namespace plymark
