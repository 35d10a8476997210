#pragma once

#include <optional>
#include <string>

namespace plymark {

// The Open-file dialog: shown modally, it gives the chosen path, or nothing
// when the user cancels.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  virtual std::optional<std::string> ChooseFile() = 0;
};

}  // namespace plymark
