// plymark-export: the viewer's Open without a window. Reads PSD files
// through the same functions as the viewer and writes each one's summary, its
// layer table and every layer's pixels as PNG files.

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include "app/OpenWorkflow.h"
#include "platform/SystemFileSource.h"
#include "platform/qt/ImageTileSurface.h"
#include "tools/ExportConsole.h"
#include "tools/ExportWriter.h"
#include "tools/ImageWriteQueue.h"

namespace {

using plymark::ExportConsole;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "plymark-export";
// Pixels of layer images being painted, waiting for their PNG file or being
// written, over all files read at once: two 4000 x 3000 layers (48 MB each),
// so that one is written while the next is painted, which keeps the cores as
// busy as more did (measured), and the export of such a file stays near 150
// MiB, of two at once near 180 MiB.
constexpr std::size_t kImageBudgetBytes = std::size_t{100} << 20;

void PrintLine(const QString& text) {
  std::fprintf(stderr, "%s: %s\n", kProgram, text.toLocal8Bit().constData());
}

struct ExportSettings {
  bool Quiet = false;
  ExportConsole& Console;
  plymark::ImageWriteQueue& Writes;
  int Cores = 1;  ///< threads that deflate the bands of one image
};

// Why one file's export failed; an empty message when it did not.
struct Failure {
  QString Message;
  bool FromReader = false;  ///< the file could not be read, so the line names it
};

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

// Reads `file` and writes its export into `outputFolder`. Everything is
// written into a fresh folder beside it first, so that a failure leaves
// `outputFolder` as it was. With `severalFiles` the box texts name the file.
Failure ExportFile(const QString& file, const QString& outputFolder, const ExportSettings& settings,
                   bool severalFiles) {
  const QString parent = QFileInfo(outputFolder).absolutePath();
  if (!QDir().mkpath(parent)) return {QStringLiteral("cannot create %1").arg(parent)};
  QTemporaryDir staging(QDir(parent).filePath(".plymark-export-XXXXXX"));
  if (!staging.isValid()) {
    return {QStringLiteral("cannot create a folder in %1: %2").arg(parent, staging.errorString())};
  }

  plymark::SystemFileSource files;
  plymark::ConsoleMessageSink messages(settings.Console, severalFiles ? file + ": " : QString(),
                                       settings.Quiet);
  plymark::DocumentState state;
  std::vector<std::future<QString>> writes;
  std::atomic<int> written = 0;
  std::size_t reserved = 0;  // of the budget, for the image being painted
  // Each layer's image is handed to a writer thread as soon as it is painted
  // and let go once its PNG file is written, while the Open goes on.
  plymark::ImageTileSurface tiles(
      [&](int layer, const QImage& image) {
        const int layers = state.LayerCount;
        writes.push_back(settings.Writes.Submit(
            image,
            [&, layer, layers](const QImage& painted) {
              QString error =
                  plymark::WriteLayerImage(staging.path(), layer, painted, settings.Cores);
              if (!severalFiles) {
                settings.Console.ShowProgress(
                    QStringLiteral("%1 of %2 layers written").arg(++written).arg(layers));
              }
              return error;
            },
            std::exchange(reserved, 0)));
      },
      // An image counts against the budget from before it is made until it is written.
      [&](int, int width, int height) {
        settings.Writes.Release(std::exchange(reserved, 0));
        reserved = settings.Writes.Reserve(static_cast<std::size_t>(width) *
                                           static_cast<std::size_t>(height) * 4);
      });
  const std::string path = QFile::encodeName(file).toStdString();
  const auto failure = plymark::OpenDocument(path, state, files, messages, tiles);
  settings.Writes.Release(std::exchange(reserved, 0));
  QString error = plymark::FirstError(writes);
  settings.Console.ClearProgress();
  if (failure) return {QString::fromStdString(failure->Problem), true};
  // The merged image of the file is written here, once it is read.
  if (error.isEmpty()) error = plymark::WriteExport(state, staging.path());
  if (!error.isEmpty()) return {error};
  if (!QFileInfo::exists(outputFolder)) {
    if (QDir().rename(staging.path(), outputFolder)) return {};
    return {QStringLiteral("cannot create %1").arg(outputFolder)};
  }
  if (!QFileInfo(outputFolder).isDir()) {
    return {QStringLiteral("%1 is not a folder").arg(outputFolder)};
  }
  return {MoveInto(staging.path(), outputFolder)};
}

// Each file's folder: its name without the extension, with "-2", "-3", ...
// added where names would clash.
QStringList FolderNames(const QStringList& files) {
  QStringList names;
  QSet<QString> taken;
  for (const QString& file : files) {
    const QFileInfo info(file);
    const QString base =
        info.completeBaseName().isEmpty() ? info.fileName() : info.completeBaseName();
    QString name = base;
    for (int n = 2; taken.contains(name); ++n) name = QStringLiteral("%1-%2").arg(base).arg(n);
    taken.insert(name);
    names.push_back(name);
  }
  return names;
}

// Exports each of `files` into its own folder in `outputFolder`, up to
// `jobs` at once; a file that fails is reported on its own line and the
// others go on.
int ExportFiles(const QStringList& files, const QString& outputFolder,
                const ExportSettings& settings, int jobs) {
  if (!QDir().mkpath(outputFolder)) {
    PrintLine(QStringLiteral("cannot create %1").arg(outputFolder));
    return kExitFailure;
  }
  const QStringList names = FolderNames(files);
  std::atomic<int> next = 0;
  std::atomic<int> done = 0;
  std::atomic<bool> failed = false;
  const auto work = [&] {
    for (int i = next++; i < files.size(); i = next++) {
      const Failure failure =
          ExportFile(files[i], QDir(outputFolder).filePath(names[i]), settings, true);
      if (!failure.Message.isEmpty()) {
        settings.Console.PrintLine(files[i] + ": " + failure.Message);
        failed = true;
      }
      settings.Console.ShowProgress(
          QStringLiteral("%1 of %2 files exported").arg(++done).arg(files.size()));
    }
  };
  std::vector<std::thread> helpers;
  for (int i = 1; i < std::min<qsizetype>(jobs, files.size()); ++i) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  settings.Console.ClearProgress();
  return failed ? kExitFailure : 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(kProgram);
  QCoreApplication::setApplicationVersion(PLYMARK_VERSION);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Reads a layered PSD file as the Plymark viewer does and writes summary.txt, layers.json\n"
      "and layer-<i>.png for every layer with pixels into OUTDIR (created if missing). With\n"
      "several FILEs, each file's export goes into OUTDIR/<file name without extension>/, and\n"
      "a file that fails is reported and the others are exported all the same.");
  const QCommandLineOption quiet(QStringList{"q", "quiet"},
                                 "Print no notices or progress; failures are still reported.");
  const QCommandLineOption jobs(QStringList{"j", "jobs"},
                                "Export up to N files at once (default: one per core).", "N");
  parser.addOption(quiet);
  parser.addOption(jobs);
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("FILE", "The PSD file to read; several may be given.", "FILE...");
  parser.addPositionalArgument("OUTDIR", "The folder to write into.");
  const auto usageError = [&](const QString& text) {
    PrintLine(text);
    std::fprintf(stderr, "%s", parser.helpText().toLocal8Bit().constData());
    return kExitUsage;
  };
  if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
  if (parser.isSet("help")) parser.showHelp(0);
  if (parser.isSet("version")) parser.showVersion();
  QStringList files = parser.positionalArguments();
  if (files.size() < 2) return usageError(QStringLiteral("expected FILE and OUTDIR"));
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  int fileJobs = cores;
  if (parser.isSet(jobs)) {
    bool number = false;
    fileJobs = parser.value(jobs).toInt(&number);
    if (!number || fileJobs < 1)
      return usageError(QStringLiteral("--jobs needs a count of at least 1"));
  }
  const QString outputFolder = QDir::cleanPath(QFileInfo(files.takeLast()).absoluteFilePath());

  ExportConsole console(kProgram, !parser.isSet(quiet) && ::isatty(STDERR_FILENO) != 0);
  plymark::ImageWriteQueue writes(cores, kImageBudgetBytes);
  const ExportSettings settings{parser.isSet(quiet), console, writes, cores};
  if (files.size() == 1) {
    const Failure failure = ExportFile(files[0], outputFolder, settings, false);
    if (failure.Message.isEmpty()) return 0;
    console.PrintLine(failure.FromReader ? files[0] + ": " + failure.Message : failure.Message);
    return kExitFailure;
  }
  return ExportFiles(files, outputFolder, settings, fileJobs);
}
