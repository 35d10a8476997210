// plymark-thumbnail run as a file manager runs it.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "tests/support/ExportRun.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::TestDocument;

class Thumbnailer : public ::testing::Test {
 protected:
  QString Write(const QString& name, const Bytes& bytes) {
    const QString path = folder_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
  }
  test::ExportRun Run(const QStringList& arguments) {
    return test::RunProgram(QStringLiteral(PLYMARK_THUMBNAIL_PATH), arguments);
  }
  QString Output() const { return folder_.filePath("thumb.out"); }

  QTemporaryDir folder_;
};

TestDocument FlatDocument(std::int32_t columns, std::int32_t rows) {
  TestDocument document;
  document.Columns = columns;
  document.Rows = rows;
  document.WithLayerSection = false;
  return document;
}

// A thumbnail resource (1036) holding a JPEG of `width` x `height`.
Bytes ThumbnailResource(int width, int height) {
  QImage picture(width, height, QImage::Format_RGB32);
  picture.fill(QColor(200, 30, 40));
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  EXPECT_TRUE(picture.save(&buffer, "JPEG"));
  test::ByteWriter data;
  data.I32(1).I32(width).I32(height).I32((width * 24 + 31) / 32 * 4).I32(0).I32(jpeg.size());
  data.I16(24).I16(1).Append(Bytes(jpeg.begin(), jpeg.end()));
  if (data.Size() % 2 != 0) data.U8(0);
  test::ByteWriter resource;
  resource.Text("8BIM").I16(1036).I16(0).I32(static_cast<std::int64_t>(data.Size()));
  return resource.Append(data.Data()).Data();
}

TEST_F(Thumbnailer, TheMergedImageFitsTheSizeAndSmallerOnesKeepTheirs) {
  const struct {
    std::int32_t Columns, Rows;
    const char* Size;
    int Width, Height;
  } cases[] = {{300, 150, "100", 100, 50}, {150, 300, "64", 32, 64}, {40, 20, "256", 40, 20}};
  for (const auto& c : cases) {
    const QString input = Write("flat.psd", test::BuildPsd(FlatDocument(c.Columns, c.Rows)));
    QFile::remove(Output());
    const auto run = Run({"-s", c.Size, input, Output()});
    ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
    QImage written;
    ASSERT_TRUE(written.load(Output(), "PNG")) << "written as PNG whatever its name";
    EXPECT_EQ(written.size(), QSize(c.Width, c.Height)) << c.Columns << " x " << c.Rows;
  }
}

TEST_F(Thumbnailer, ADamagedMergedImageFallsBackToTheStoredThumbnail) {
  TestDocument document = FlatDocument(64, 32);
  document.ImageResources = ThumbnailResource(16, 8);
  Bytes bytes = test::BuildPsd(document);
  bytes.resize(bytes.size() - 100);  // cut short inside the merged image
  const auto run = Run({Write("cut.psd", bytes), Output()});
  ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
  const QImage written(Output(), "PNG");
  EXPECT_EQ(written.size(), QSize(16, 8));
  EXPECT_NEAR(qRed(written.pixel(8, 4)), 200, 8);
}

// A layered document saved without its merged image is drawn from its
// layers, reduced as it is drawn, even where the drawing left something out
// (here dissolve's noise) and the file stores a thumbnail.
TEST_F(Thumbnailer, ADocumentWithoutItsMergedImageIsDrawnFromItsLayers) {
  const struct {
    std::int32_t Columns, Rows;
    const char* BlendKey;
    bool StoredThumbnail;
    QSize Expected;
  } cases[] = {{600, 300, "norm", false, {100, 50}},
               {40, 20, "norm", false, {40, 20}},
               {600, 300, "diss", true, {100, 50}}};
  for (const auto& c : cases) {
    TestDocument document;
    document.Columns = c.Columns;
    document.Rows = c.Rows;
    document.Layers = {test::SolidLayer(0, 0, 10, 10, 200, 30, 40)};
    document.Layers[0].BlendKey = c.BlendKey;
    // Resource 1057: no real merged data.
    document.ImageResources =
        test::ByteWriter().Text("8BIM").I16(1057).I16(0).I32(5).I32(1).U8(0).U8(0).Data();
    if (c.StoredThumbnail) {
      const Bytes thumbnail = ThumbnailResource(16, 8);
      document.ImageResources.insert(document.ImageResources.end(), thumbnail.begin(),
                                     thumbnail.end());
    }
    QFile::remove(Output());
    const auto run = Run({"-s", "100", Write("layered.psd", test::BuildPsd(document)), Output()});
    ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
    EXPECT_EQ(QImage(Output(), "PNG").size(), c.Expected) << c.Columns << " " << c.BlendKey;
  }
}

TEST_F(Thumbnailer, AFileItCannotReadLeavesNoOutputAndOneLine) {
  Bytes cut = test::BuildPsd(FlatDocument(64, 32));
  cut.resize(cut.size() - 100);
  const Bytes png = {0x89, 'P', 'N', 'G',  0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D',
                     'R',  0,   0,   0x01, 0,    0,    0,    0x01, 0, 8, 6, 0,    0,   0,   0};
  for (const auto& [name, bytes] : {std::pair{"cut.psd", cut}, std::pair{"png.psd", png}}) {
    const auto run = Run({Write(name, bytes), Output()});
    EXPECT_EQ(run.ExitCode, 1) << name;
    EXPECT_EQ(run.Errors.count('\n'), 1) << run.Errors.toStdString();
    EXPECT_EQ(QDir(folder_.path()).entryList(QDir::Files).size(), 1) << "only the input";
    QFile::remove(folder_.filePath(name));
  }
}

TEST_F(Thumbnailer, ThirdPartyThumbnailsAreTheirMergedImagesScaled) {
  // Opaque files whose reference is psd-tools' reading of the merged image.
  for (const char* name :
       {"document/ag-groups.psd", "document/im-flat-indexed.psd", "document/im-flat-16.psd",
        "document/pt-flat-gray.psd", "psb/im-rle-8.psb", "psb/pt-lr16.psb"}) {
    const QString psd = QStringLiteral(PLYMARK_CORPUS_DIR "/") + name;
    QFile::remove(Output());
    ASSERT_EQ(Run({"-s", "24", psd, Output()}).ExitCode, 0) << name;
    const QImage ours = QImage(Output(), "PNG").convertToFormat(QImage::Format_RGB32);
    const QImage reference = QImage(psd + ".composite.png")
                                 .convertToFormat(QImage::Format_RGB32)
                                 .scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    ASSERT_EQ(ours.size(), reference.size()) << name;
    double difference = 0;
    for (int y = 0; y < ours.height(); ++y) {
      for (int x = 0; x < ours.width(); ++x) {
        const QRgb a = ours.pixel(x, y), b = reference.pixel(x, y);
        difference += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                      std::abs(qBlue(a) - qBlue(b));
      }
    }
    EXPECT_LE(difference / (3.0 * ours.width() * ours.height()), 6.0) << name;
  }
}

}  // namespace
}  // namespace plymark
