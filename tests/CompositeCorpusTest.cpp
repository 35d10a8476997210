// The merged image of third-party files against psd-tools' reading of the
// stored image data (tests/corpus/README.md): 8-bit exactly, 16-bit and
// partly transparent pixels within 1.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdlib>

#include "app/OpenWorkflow.h"
#include "app/ReadMergedImage.h"
#include "platform/MemoryTileSurface.h"
#include "platform/SystemFileSource.h"
#include "tests/support/Fakes.h"

namespace plymark {
namespace {

const std::string kCorpus = PLYMARK_CORPUS_DIR;

MergedImageResult MergedImageOf(const std::string& file) {
  SystemFileSource files;
  test::FakeMessageSink messages;
  MemoryTileSurface tiles(64);
  DocumentState state;
  const auto failure = OpenDocument(kCorpus + "/" + file, state, files, messages, tiles);
  if (failure) return {std::nullopt, failure->Problem};
  return ReadMergedImage(state);
}

// The stored colour, blended over white, as the merged image shows it.
int Unblended(int stored, int alpha) {
  if (alpha == 0 || alpha == 255) return stored;
  return std::clamp((stored + alpha - 255) * 255 / alpha, 0, 255);
}

class CompositeCorpus : public testing::TestWithParam<std::string> {};

TEST_P(CompositeCorpus, MergedImageMatchesTheReference) {
  const std::string file = GetParam();
  QFile json(QString::fromStdString(kCorpus + "/" + file + ".json"));
  ASSERT_TRUE(json.open(QIODevice::ReadOnly));
  const QJsonObject composite = QJsonDocument::fromJson(json.readAll())["composite"].toObject();
  const MergedImageResult merged = MergedImageOf(file);
  ASSERT_TRUE(merged.Image) << merged.Problem;
  const MergedImage& image = *merged.Image;
  const bool alpha = composite["hasAlpha"].toBool();
  EXPECT_EQ(image.HasAlpha, alpha);
  const std::string folder = file.substr(0, file.rfind('/') + 1);
  const QImage reference =
      QImage(QString::fromStdString(kCorpus + "/" + folder) + composite["reference"].toString())
          .convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(reference.width(), image.Width);
  ASSERT_EQ(reference.height(), image.Height);
  const int exact = composite["depth"].toInt() == 16 ? 1 : 0;
  int worst = 0;
  for (int y = 0; y < image.Height; ++y) {
    for (int x = 0; x < image.Width; ++x) {
      const std::uint32_t ours = image.Pixels[static_cast<std::size_t>(y * image.Width + x)];
      const QRgb theirs = reference.pixel(x, y);
      const int a = alpha ? qAlpha(theirs) : 255;
      ASSERT_EQ(static_cast<int>(ours >> 24), a) << x << "," << y;
      if (a == 0) continue;
      const int tolerance = a < 255 ? 1 : exact;
      for (const int shift : {16, 8, 0}) {
        const int difference = std::abs(static_cast<int>((ours >> shift) & 0xFF) -
                                        Unblended(static_cast<int>((theirs >> shift) & 0xFF), a));
        worst = std::max(worst, difference - tolerance);
      }
    }
  }
  EXPECT_LE(worst, 0) << file;
}

INSTANTIATE_TEST_SUITE_P(ThirdPartyFiles, CompositeCorpus,
                         testing::Values("document/ag-groups.psd", "document/ag-masks.psd",
                                         "document/ag-transparent.psd",
                                         "document/im-bitmap-layer.psd", "document/im-flat-16.psd",
                                         "document/im-flat-bitmap.psd", "document/im-flat-gray.psd",
                                         "document/im-flat-indexed.psd", "document/im-flat-rgb.psd",
                                         "document/im-flat-rgba.psd", "document/pt-flat-gray.psd",
                                         "document/pt-flat-rgb.psd", "document/pt-flat-rgba.psd",
                                         "psb/ag-layers.psb", "psb/im-gray.psb",
                                         "psb/im-rle-16.psb", "psb/im-rle-8.psb",
                                         "psb/im-zip-8.psb", "psb/pt-lr16.psb", "psb/pt-rle-8.psb"),
                         [](const testing::TestParamInfo<std::string>& param) {
                           std::string name = param.param;
                           for (char& c : name) {
                             if (c == '-' || c == '/' || c == '.') c = '_';
                           }
                           return name;
                         });

TEST(CompositeCorpus, ADamagedOrUnsavedMergedImageSaysWhy) {
  EXPECT_EQ(MergedImageOf("document/im-truncated-merged.psd").Problem,
            "the file ends at byte 5103 while reading the run-length data of row 14 of channel 1 "
            "of the merged image");
  EXPECT_EQ(MergedImageOf("document/pt-no-merged-data.psd").Problem,
            "the file was saved without its merged image");
}

}  // namespace
}  // namespace plymark
