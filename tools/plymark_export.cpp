// plymark-export: the viewer's Open without a window. Reads a PSD file
// through the same functions as the viewer and writes its summary, its layer
// table and every layer's pixels as PNG files.

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

#include "app/OpenWorkflow.h"
#include "platform/SystemFileSource.h"
#include "platform/qt/ImageTileSurface.h"
#include "tools/ExportWriter.h"
#include "tools/LayerExtras.h"
#include "tools/StderrMessageSink.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "plymark-export";

void PrintLine(const QString& text) {
  std::fprintf(stderr, "%s: %s\n", kProgram, text.toLocal8Bit().constData());
}

// Moves every file of `from` into `to`, replacing files of the same name.
QString MoveInto(const QString& from, const QString& to) {
  const QDir source(from);
  for (const QString& name : source.entryList(QDir::Files)) {
    const QString target = QDir(to).filePath(name);
    QFile::remove(target);
    if (!QFile::rename(source.filePath(name), target)) {
      return QStringLiteral("cannot move %1 into %2").arg(name, to);
    }
  }
  return {};
}

// A progress line on a terminal once the work takes more than a moment.
class ProgressLine {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled) { clock_.start(); }
  ~ProgressLine() { Clear(); }
  void Clear() {
    if (shown_) std::fprintf(stderr, "\r\033[K");
    shown_ = false;
  }
  void Update(int done, int total) {
    if (!enabled_ || clock_.elapsed() < 500) return;
    shown_ = true;
    std::fprintf(stderr, "\r%s: %d of %d layers written", kProgram, done, total);
    std::fflush(stderr);
  }

 private:
  bool enabled_;
  bool shown_ = false;
  QElapsedTimer clock_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(kProgram);
  QCoreApplication::setApplicationVersion(PLYMARK_VERSION);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Reads a layered PSD file as the Plymark viewer does and writes summary.txt, layers.json,\n"
      "layer-<i>.png for every layer with pixels (RGBA when the layer has a transparency\n"
      "channel) and mask-<i>.png for every user mask into OUTDIR (created if missing).");
  const QCommandLineOption quiet(QStringList{"q", "quiet"},
                                 "Print no notices or progress; failures are still reported.");
  parser.addOption(quiet);
  const QCommandLineOption noAlpha(
      "no-alpha", "Write every layer as the opaque picture the window shows, without alpha.");
  parser.addOption(noAlpha);
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("FILE", "The PSD file to read.");
  parser.addPositionalArgument("OUTDIR", "The folder to write into.");
  if (!parser.parse(QCoreApplication::arguments())) {
    PrintLine(parser.errorText());
    std::fprintf(stderr, "%s", parser.helpText().toLocal8Bit().constData());
    return kExitUsage;
  }
  if (parser.isSet("help")) parser.showHelp(0);
  if (parser.isSet("version")) parser.showVersion();
  const QStringList arguments = parser.positionalArguments();
  if (arguments.size() != 2) {
    PrintLine(QStringLiteral("expected FILE and OUTDIR"));
    std::fprintf(stderr, "%s", parser.helpText().toLocal8Bit().constData());
    return kExitUsage;
  }
  const QString file = arguments[0];
  const QString outputFolder = QDir::cleanPath(QFileInfo(arguments[1]).absoluteFilePath());

  // Everything is written into a fresh folder beside OUTDIR first, so that a
  // failure leaves OUTDIR as it was.
  const QString parent = QFileInfo(outputFolder).absolutePath();
  if (!QDir().mkpath(parent)) {
    PrintLine(QStringLiteral("cannot create %1").arg(parent));
    return kExitFailure;
  }
  QTemporaryDir staging(QDir(parent).filePath(".plymark-export-XXXXXX"));
  if (!staging.isValid()) {
    PrintLine(
        QStringLiteral("cannot create a folder in %1: %2").arg(parent, staging.errorString()));
    return kExitFailure;
  }

  plymark::SystemFileSource files;
  plymark::StderrMessageSink messages(kProgram, parser.isSet(quiet));
  plymark::DocumentState state;
  QString error;
  ProgressLine progress(!parser.isSet(quiet) && ::isatty(STDERR_FILENO) != 0);
  const bool withAlpha = !parser.isSet(noAlpha);
  // Each layer's image is written as soon as it is painted and then let go.
  plymark::ImageTileSurface tiles([&](int layer, const QImage& image) {
    if (error.isEmpty()) {
      error = plymark::WriteLayerImage(staging.path(), layer,
                                       plymark::LayerPicture(state, layer, image, withAlpha));
    }
    progress.Update(layer + 1, state.LayerCount);
  });
  const std::string path = QFile::encodeName(file).toStdString();
  if (const auto failure =
          plymark::OpenDocument(path, state, files, messages, tiles, nullptr, false)) {
    progress.Clear();
    PrintLine(file + ": " + QString::fromStdString(failure->Problem));
    return kExitFailure;
  }
  progress.Clear();
  // A merged image that is damaged or was never saved costs only itself.
  plymark::CompositeExport composite;
  if (error.isEmpty()) error = plymark::WriteComposite(state, staging.path(), composite);
  if (!composite.Problem.isEmpty() && !parser.isSet(quiet)) {
    PrintLine(file + ": no merged image: " + composite.Problem);
  }
  if (error.isEmpty()) error = plymark::WriteMaskImages(state, staging.path());
  if (error.isEmpty()) error = plymark::WriteExport(state, composite, staging.path());
  if (error.isEmpty()) {
    if (!QFileInfo::exists(outputFolder)) {
      if (QDir().rename(staging.path(), outputFolder)) return 0;
      error = QStringLiteral("cannot create %1").arg(outputFolder);
    } else if (!QFileInfo(outputFolder).isDir()) {
      error = QStringLiteral("%1 is not a folder").arg(outputFolder);
    } else {
      error = MoveInto(staging.path(), outputFolder);
    }
  }
  if (!error.isEmpty()) {
    PrintLine(error);
    return kExitFailure;
  }
  return 0;
}
