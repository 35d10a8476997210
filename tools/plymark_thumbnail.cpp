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
#include <vector>

#include "app/ThumbnailSource.h"
#include "platform/SystemFileSource.h"
#include "psd/PsdError.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "plymark-thumbnail";
constexpr int kDefaultSize = 256;
// The thumbnail resource of an older writer (1033) holds its JPEG's colours
// in blue, green, red order.
constexpr std::int16_t kOldThumbnailResource = 1033;

int Fail(const QString& input, const QString& problem) {
  std::fprintf(stderr, "%s: %s: %s\n", kProgram, QFile::encodeName(input).constData(),
               problem.toLocal8Bit().constData());
  return kExitFailure;
}

// A view of the decoded words, which must outlive it: no copy of a large
// picture is made before it is scaled down.
template <typename Picture>
QImage PictureOf(const Picture& picture) {
  if (picture.Width <= 0 || picture.Height <= 0) return {};
  return QImage(reinterpret_cast<const uchar*>(picture.Pixels.data()), picture.Width,
                picture.Height, static_cast<qsizetype>(picture.Width) * 4,
                picture.HasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

// The JPEG thumbnail of the image resources, or a null image.
QImage StoredThumbnail(const plymark::DocumentState& state) {
  const auto& thumbnail = state.Resources.Thumbnail;
  if (!thumbnail || thumbnail->Format != 1 || thumbnail->Jpeg.Length <= 0) return {};
  std::vector<std::uint8_t> jpeg(static_cast<std::size_t>(thumbnail->Jpeg.Length));
  try {
    state.File.ReadInto(thumbnail->Jpeg.Offset, jpeg, "thumbnail");
  } catch (const plymark::PsdError&) {
    return {};
  }
  QImage image = QImage::fromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPEG");
  if (thumbnail->Id == kOldThumbnailResource) image = image.rgbSwapped();
  return image;
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

  plymark::SystemFileSource files;
  plymark::DocumentState state;
  const plymark::ThumbnailSource source =
      plymark::ReadThumbnailSource(QFile::encodeName(input).toStdString(), files, state, size);
  QImage picture;
  if (source.Merged) {
    picture = PictureOf(*source.Merged);
  } else {
    // A drawing that left something out gives way to the stored thumbnail,
    // which the maker made from the whole document (see the README).
    const QImage stored = state.File.size() > 0 ? StoredThumbnail(state) : QImage();
    if (source.Drawn && (source.Omissions.empty() || stored.isNull())) {
      picture = PictureOf(*source.Drawn);
    }
    if (picture.isNull()) picture = stored;
  }
  if (picture.isNull()) return Fail(input, QString::fromStdString(source.Problem));

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
