// plymark-thumbnail: a freedesktop thumbnailer for PSD and PSB files. Writes
// the document's merged image, scaled to fit SIZE x SIZE, as a PNG; where the
// merged image is missing, damaged or was never saved, the document drawn
// from its layers, or the thumbnail that the file's image resources hold. It
// needs no display.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <cstdio>
#include <optional>
#include <string>

#include "plymark/plymark.h"
#include "tools/ImageViews.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "plymark-thumbnail";
constexpr int kDefaultSize = 256;

int Fail(const QString& input, const QString& problem) {
  std::fprintf(stderr, "%s: %s: %s\n", kProgram, QFile::encodeName(input).constData(),
               problem.toLocal8Bit().constData());
  return kExitFailure;
}

// The JPEG thumbnail of the image resources, or a null image.
QImage StoredThumbnail(const plymark::Document& document) {
  const std::optional<plymark::StoredThumbnail> thumbnail = document.Thumbnail();
  if (!thumbnail) return {};
  QImage image =
      QImage::fromData(thumbnail->Jpeg.data(), static_cast<int>(thumbnail->Jpeg.size()), "JPEG");
  return thumbnail->BlueFirst ? image.rgbSwapped() : image;
}

// The picture of a document without a usable merged image: drawn from its
// layers, reduced toward `size` as it is drawn, or, where it cannot be drawn,
// the thumbnail the file stores. A drawing that left something out is still
// kept: measured on real files it comes closer to the merged image than the
// maker's small JPEG (see the README). `problem` gains why the layers cannot
// be drawn.
QImage PictureWithoutMergedImage(const plymark::Document& document, int size,
                                 std::string& problem) {
  std::optional<plymark::Drawing> drawn;
  // A document whose front sections are damaged has no layers to draw, and
  // one without layers would give its merged image again.
  if (document.Width() > 0 && document.Height() > 0) {
    try {
      document.ReadLayers();
      if (document.LayerCount() > 0) {
        drawn = document.Render({plymark::CompositeLayout::Words, size});
      }
    } catch (const plymark::Error& error) {
      problem += "; the layers cannot be drawn: " + std::string(error.what());
    }
  }
  if (drawn) return plymark::ImageView(drawn->Picture, drawn->HasAlpha);
  return StoredThumbnail(document);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(kProgram);
  QCoreApplication::setApplicationVersion(PLYMARK_VERSION);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Writes a PNG thumbnail of a PSD or PSB file: its merged image scaled to fit SIZE x SIZE,\n"
      "or the document drawn from its layers, or the thumbnail the file stores. For file\n"
      "managers (freedesktop thumbnailer).");
  const QCommandLineOption sizeOption(QStringList{"s", "size"},
                                      "The largest width and height (default 256).", "SIZE",
                                      QString::number(kDefaultSize));
  parser.addOption(sizeOption);
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("INPUT", "The PSD or PSB file.");
  parser.addPositionalArgument("OUTPUT", "The PNG file to write.");
  if (!parser.parse(QCoreApplication::arguments())) {
    std::fprintf(stderr, "%s: %s\n", kProgram, parser.errorText().toLocal8Bit().constData());
    return kExitUsage;
  }
  if (parser.isSet("help")) parser.showHelp(0);
  if (parser.isSet("version")) parser.showVersion();
  bool sizeIsNumber = false;
  const int size = parser.value(sizeOption).toInt(&sizeIsNumber);
  if (parser.positionalArguments().size() != 2 || !sizeIsNumber || size < 1) {
    std::fprintf(stderr, "%s: expected [-s SIZE] INPUT OUTPUT, SIZE at least 1\n", kProgram);
    return kExitUsage;
  }
  const QString input = parser.positionalArguments()[0];
  const QString output = parser.positionalArguments()[1];

  plymark::OpenOptions options;
  options.Read = plymark::Reading::MergedImageOnly;
  std::optional<plymark::Document> document;
  try {
    document = plymark::Document::Open(QFile::encodeName(input).toStdString(), options);
  } catch (const plymark::Error& error) {
    return Fail(input, QString::fromUtf8(error.what()));
  }
  const plymark::Composite merged = document->MergedImage(plymark::CompositeLayout::Words);
  QImage picture;
  if (merged.Picture) {
    picture = plymark::ImageView(*merged.Picture, merged.HasAlpha);
  } else {
    std::string problem = merged.Problem;
    picture = PictureWithoutMergedImage(*document, size, problem);
    if (picture.isNull()) return Fail(input, QString::fromStdString(problem));
  }

  // Smaller pictures keep their size; larger ones fit SIZE x SIZE.
  if (picture.width() > size || picture.height() > size) {
    picture = picture.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  // Written beside OUTPUT and renamed into place: a failure leaves nothing.
  QSaveFile file(output);
  if (!file.open(QIODevice::WriteOnly)) return Fail(output, file.errorString());
  QImageWriter writer(&file, "png");
  if (!writer.write(picture)) {
    file.cancelWriting();
    return Fail(output, writer.errorString());
  }
  if (!file.commit()) return Fail(output, file.errorString());
  return 0;
}
