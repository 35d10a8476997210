#include "platform/qt/QtFileChooser.h"

#include <QFile>
#include <QFileDialog>

namespace plymark {

std::optional<std::string> QtFileChooser::ChooseFile() {
  const QString path = QFileDialog::getOpenFileName(parent_, QString(), lastPath_);
  if (path.isEmpty()) return std::nullopt;
  lastPath_ = path;
  return QFile::encodeName(path).toStdString();
}

}  // namespace plymark
