// plymark-export: the viewer's Open without a window. Reads PSD files through
// libplymark's public API, which opens them as the viewer does, and writes
// each one's summary, its layer table and every layer's pixels as PNG files.

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
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "plymark/plymark.h"
#include "tools/ExportConsole.h"
#include "tools/ExportWriter.h"
#include "tools/ImageViews.h"
#include "tools/ImageWriteQueue.h"
#include "tools/LayerExtras.h"

namespace {

using plymark::ExportConsole;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "plymark-export";
// Pixels of layer images being painted, waiting for their PNG file or being
// written, with their transparency, over all files read at once: two 4000 x
// 3000 layers (60 MB each), so that one is written while the next is
// painted, which keeps the cores as busy as more did (measured), and the
// export of such a file stays under 200 MiB, also with several files at once.
constexpr std::size_t kImageBudgetBytes = std::size_t{120} << 20;

void PrintLine(const QString& text) {
  std::fprintf(stderr, "%s: %s\n", kProgram, text.toLocal8Bit().constData());
}

struct ExportSettings {
  bool Quiet = false;
  bool WithAlpha = true;  ///< layers with a transparency channel as RGBA
  bool Render = false;  ///< rendered.png for every document, not only those without a merged image
  ExportConsole& Console;
  plymark::ImageWriteQueue& Writes;
  int Cores = 1;  ///< threads that deflate the bands of one image
};

// Takes each layer's painted picture while the file is read, reads its
// transparency on the reading thread and hands both to a writer thread, which
// writes layer-<i>.png and lets them go. A picture and its transparency count
// against the budget from before they are made until they are written.
class ExportReceiver final : public plymark::LayerReceiver {
 public:
  ExportReceiver(const ExportSettings& settings, const plymark::ConsoleNotices& notices,
                 QString folder, bool severalFiles)
      : settings_(settings),
        notices_(notices),
        folder_(std::move(folder)),
        severalFiles_(severalFiles) {}

  void Sizing(const plymark::Layer&, int width, int height) override {
    settings_.Writes.Release(std::exchange(reserved_, 0));
    reserved_ =
        settings_.Writes.Reserve(static_cast<std::size_t>(width) *
                                 static_cast<std::size_t>(height) * (settings_.WithAlpha ? 5 : 4));
  }

  void Painted(const plymark::Layer& layer, plymark::Image picture) override {
    const int index = layer.Index();
    const int layers = layer.Owner().LayerCount();
    const QImage alpha = plymark::LayerAlpha(layer, settings_.WithAlpha, notices_);
    writes_.push_back(settings_.Writes.Submit(
        plymark::ImageView(picture),
        [this, index, layers, alpha](const QImage& painted) {
          const plymark::PngImage png =
              alpha.isNull() ? plymark::PngImageOf(painted) : plymark::PngImageOf(painted, alpha);
          QString error = plymark::WriteLayerImage(folder_, index, png, settings_.Cores);
          if (!severalFiles_) {
            settings_.Console.ShowProgress(
                QStringLiteral("%1 of %2 layers written").arg(++written_).arg(layers));
          }
          return error;
        },
        std::exchange(reserved_, 0)));
  }

  // After the Open: gives back what is reserved, waits for every layer's
  // file and returns the first error text, empty when all were written.
  QString Finish() {
    settings_.Writes.Release(std::exchange(reserved_, 0));
    return plymark::FirstError(writes_);
  }

 private:
  const ExportSettings& settings_;
  const plymark::ConsoleNotices& notices_;
  const QString folder_;
  const bool severalFiles_;
  std::vector<std::future<QString>> writes_;
  std::atomic<int> written_ = 0;
  std::size_t reserved_ = 0;  ///< of the budget, for the picture being painted
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
// Returns the line that says why the export failed, naming the file where
// the file itself is at fault; empty on success.
QString ExportFile(const QString& file, const QString& outputFolder, const ExportSettings& settings,
                   bool severalFiles) {
  const QString parent = QFileInfo(outputFolder).absolutePath();
  if (!QDir().mkpath(parent)) return QStringLiteral("cannot create %1").arg(parent);
  QTemporaryDir staging(QDir(parent).filePath(".plymark-export-XXXXXX"));
  if (!staging.isValid()) {
    return QStringLiteral("cannot create a folder in %1: %2").arg(parent, staging.errorString());
  }

  const plymark::ConsoleNotices notices(settings.Console, severalFiles ? file + ": " : QString(),
                                        settings.Quiet);
  ExportReceiver layers(settings, notices, staging.path(), severalFiles);
  plymark::OpenOptions options;
  options.OnNotice = [&notices](const std::string& text) { notices.Show(text); };
  options.Layers = &layers;
  std::optional<plymark::Document> document;
  QString failure;
  try {
    document = plymark::Document::Open(QFile::encodeName(file).toStdString(), options);
  } catch (const plymark::Error& error) {
    failure = file + ": " + QString::fromUtf8(error.what());
  }
  QString error = layers.Finish();
  settings.Console.ClearProgress();
  if (!failure.isEmpty()) return failure;
  // A merged image that is damaged or was never saved costs only itself. Its
  // pixels count against the budget too, as the layers' do.
  plymark::CompositeExport composite;
  if (error.isEmpty()) {
    const std::size_t compositeBytes = settings.Writes.Reserve(
        static_cast<std::size_t>(document->Width()) * document->Height() * 4);
    error = plymark::WriteComposite(*document, staging.path(), composite);
    settings.Writes.Release(compositeBytes);
  }
  if (!composite.Problem.isEmpty() && !settings.Quiet) {
    settings.Console.PrintLine(file + ": no merged image: " + composite.Problem);
  }
  if (error.isEmpty()) error = plymark::WriteMaskImages(*document, staging.path());
  // Every export has a picture of the document: a layered one without its
  // merged image is drawn from its layers. A render costs only itself.
  plymark::RenderExport render;
  if (error.isEmpty() &&
      (settings.Render || (document->LayerCount() > 0 && composite.Image.isEmpty()))) {
    plymark::WriteRendered(*document, staging.path(), render, settings.Cores);
    if (!render.Problem.isEmpty() && !settings.Quiet) {
      settings.Console.PrintLine(file + ": no rendered image: " + render.Problem);
    }
  }
  if (error.isEmpty()) error = plymark::WriteExport(*document, composite, render, staging.path());
  if (!error.isEmpty()) return error;
  if (!QFileInfo::exists(outputFolder)) {
    if (QDir().rename(staging.path(), outputFolder)) return {};
    return QStringLiteral("cannot create %1").arg(outputFolder);
  }
  if (!QFileInfo(outputFolder).isDir())
    return QStringLiteral("%1 is not a folder").arg(outputFolder);
  return MoveInto(staging.path(), outputFolder);
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
      const QString failure =
          ExportFile(files[i], QDir(outputFolder).filePath(names[i]), settings, true);
      if (!failure.isEmpty()) {
        // Every line names its file; a damaged file's line does already.
        const QString named = files[i] + ": ";
        settings.Console.PrintLine(failure.startsWith(named) ? failure : named + failure);
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
      "Reads a layered PSD file as the Plymark viewer does and writes summary.txt, layers.json,\n"
      "layer-<i>.png for every layer with pixels (RGBA when the layer has a transparency\n"
      "channel), mask-<i>.png for every user mask and composite.png, the merged image, into\n"
      "OUTDIR (created if missing); rendered.png, the document drawn from its layers, with\n"
      "--render or where a layered document has no merged image. With several FILEs, each\n"
      "file's export goes into OUTDIR/<file name without extension>/, and a file that fails\n"
      "is reported and the others are exported all the same.");
  const QCommandLineOption quiet(QStringList{"q", "quiet"},
                                 "Print no notices or progress; failures are still reported.");
  const QCommandLineOption jobs(QStringList{"j", "jobs"},
                                "Export up to N files at once (default: one per core).", "N");
  parser.addOption(quiet);
  const QCommandLineOption noAlpha(
      "no-alpha", "Write every layer as the opaque picture the window shows, without alpha.");
  parser.addOption(noAlpha);
  const QCommandLineOption render(
      "render",
      "Also write rendered.png, the document drawn from its layers, and say in\n"
      "layers.json what the drawing left out.");
  parser.addOption(render);
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
  const ExportSettings settings{
      parser.isSet(quiet), !parser.isSet(noAlpha), parser.isSet(render), console, writes, cores};
  if (files.size() == 1) {
    const QString failure = ExportFile(files[0], outputFolder, settings, false);
    if (failure.isEmpty()) return 0;
    console.PrintLine(failure);
    return kExitFailure;
  }
  return ExportFiles(files, outputFolder, settings, fileJobs);
}
