#pragma once

#include <QString>
#include <QWidget>

#include "platform/FileChooser.h"

namespace plymark {

// The standard Qt Open-file dialog, listing all files; it opens in the
// folder of the last file chosen.
class QtFileChooser final : public FileChooser {
 public:
  explicit QtFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
  std::optional<std::string> ChooseFile() override;

 private:
  QWidget* parent_;
  QString lastPath_;
};

}  // namespace plymark
