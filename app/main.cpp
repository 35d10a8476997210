#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/frmMain.h"
#include "platform/SystemFileSource.h"
#include "platform/qt/QtFileChooser.h"
#include "platform/qt/QtMessageSink.h"

namespace {

// --help and --version are answered before the window system is reached, so
// that they work where there is no display.
void AnswerHelpOrVersion(QCommandLineParser& parser, int& argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  parser.parse(arguments);  // errors are reported once the window system is up
  if (!parser.isSet("help") && !parser.isSet("help-all") && !parser.isSet("version")) return;
  const QCoreApplication application(argc, argv);
  if (parser.isSet("help")) parser.showHelp(0);
  if (parser.isSet("version")) parser.showVersion();
  parser.process(application);  // --help-all, with the options of Qt's core
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName("plymark");
  QCoreApplication::setApplicationVersion(PLYMARK_VERSION);
  QCommandLineParser parser;
  plymark::AddViewerOptions(parser);
  AnswerHelpOrVersion(parser, argc, argv);

  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName(plymark::kApplicationId);
  QApplication::setWindowIcon(QIcon::fromTheme(plymark::kApplicationId));
  parser.process(application);
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    std::fprintf(stderr, "plymark: give at most one FILE\n%s",
                 parser.helpText().toLocal8Bit().constData());
    return 1;
  }

  plymark::SystemFileSource fileSource;
  plymark::QtMessageSink messages;
  plymark::QtFileChooser chooser;
  plymark::frmMain window(fileSource, messages, chooser);
  window.show();
  if (!files.isEmpty()) plymark::OpenWhenShown(window, plymark::CommandLineFilePath(files[0]));
  return QApplication::exec();
}
