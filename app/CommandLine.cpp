#include "app/CommandLine.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace plymark {

void AddViewerOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      "Shows the header facts of a layered PSD file and paints every layer into its own tile.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("FILE", "The PSD file to open at start, as Open would.", "[FILE]");
}

std::string CommandLineFilePath(const QString& argument) {
  return QFile::encodeName(QFileInfo(argument).absoluteFilePath()).toStdString();
}

void OpenWhenShown(frmMain& window, std::string path) {
  QTimer::singleShot(0, &window, [&window, path = std::move(path)] { window.OpenPath(path); });
}

}  // namespace plymark
