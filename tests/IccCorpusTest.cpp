#include <gtest/gtest.h>

#include <QImage>
#include <QJsonObject>
#include <filesystem>
#include <vector>

#include "app/OpenWorkflow.h"
#include "app/ReadMergedImage.h"
#include "platform/MemoryTileSurface.h"
#include "platform/SystemFileSource.h"
#include "tests/support/Ciede2000.h"
#include "tests/support/Fakes.h"
#include "tests/support/ReferenceDifferences.h"

// Files with embedded colour profiles (tests/corpus/icc, written by
// ImageMagick) opened the way the window opens them, against Little CMS's
// tificc conversion of psd-tools' channels to sRGB, in CIEDE2000.

namespace plymark {
namespace {

const std::filesystem::path kCorpus = PLYMARK_CORPUS_DIR;

// The published test pairs of Sharma, Wu and Dalal (2005), Lab in, dE00 out.
struct SharmaPair {
  test::Lab First;
  test::Lab Second;
  double Expected;
};
const SharmaPair kSharmaPairs[] = {
    {{50, 2.6772, -79.7751}, {50, 0, -82.7485}, 2.0425},
    {{50, 3.1571, -77.2803}, {50, 0, -82.7485}, 2.8615},
    {{50, 2.8361, -74.0200}, {50, 0, -82.7485}, 3.4412},
    {{50, -1.3802, -84.2814}, {50, 0, -82.7485}, 1.0000},
    {{50, 0, 0}, {50, -1, 2}, 2.3669},
    {{50, 2.4900, -0.0010}, {50, -2.4900, 0.0009}, 7.1792},
    {{50, 2.4900, -0.0010}, {50, -2.4900, 0.0011}, 7.2195},
    {{50, 2.4900, -0.0010}, {50, -2.4900, 0.0012}, 7.2195},
    {{50, -0.0010, 2.4900}, {50, 0.0009, -2.4900}, 4.8045},
    {{50, 2.5, 0}, {50, 0, -2.5}, 4.3065},
    {{50, 2.5, 0}, {73, 25, -18}, 27.1492},
    {{50, 2.5, 0}, {56, -27, -3}, 31.9030},
    {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
    {{22.7233, 20.0904, -46.6940}, {23.0331, 14.9730, -42.5619}, 2.0373},
    {{2.0776, 0.0795, -1.1350}, {0.9033, -0.0636, -0.5514}, 0.9082},
    {{90.8027, -2.0831, 1.4410}, {91.1528, -1.6435, 0.0447}, 1.4441},
};

TEST(Ciede2000, MatchesThePublishedTestPairsBothWays) {
  for (const SharmaPair& pair : kSharmaPairs) {
    EXPECT_NEAR(test::Ciede2000(pair.First, pair.Second), pair.Expected, 1e-4);
    EXPECT_NEAR(test::Ciede2000(pair.Second, pair.First), pair.Expected, 1e-4);
  }
}

TEST(IccCorpus, LayersMatchTheirEmbeddedProfilesConversionToSrgb) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus / "icc")) {
    if (entry.path().extension() != ".psd") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    const QJsonObject sidecar = test::ReadJson(entry.path().string() + ".json");
    DocumentState state;
    const test::Differences differences = test::CompareWithReferences(entry.path(), sidecar, state);
    test::Report(name, differences);
    EXPECT_GT(differences.Pixels, 0u) << name;
    EXPECT_LE(differences.Mean, 1.0) << name;
    EXPECT_LE(differences.Percentile99, 3.0) << name;
    // The description is reported for every embedded profile; only sRGB
    // costs no conversion.
    EXPECT_EQ(state.ColorProfile.has_value(), sidecar["profile"].isString()) << name;
    const bool srgb = sidecar["profile"].toString() == "sRGB.icc";
    EXPECT_EQ(state.Colour == nullptr, srgb) << name;
  }
  EXPECT_EQ(files, 8);
}

// The merged image goes through the same conversion as the layers. Pixels
// that are not opaque are left out: the merged image is un-blended from
// white, which the reference, made from the stored samples, is not.
TEST(IccCorpus, MergedImagesMatchTheirEmbeddedProfilesConversionToSrgb) {
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus / "icc")) {
    if (entry.path().extension() != ".psd") continue;
    const std::string name = entry.path().filename().string();
    const QJsonObject composite =
        test::ReadJson(entry.path().string() + ".json")["composite"].toObject();
    DocumentState state;
    SystemFileSource files;
    test::FakeMessageSink messages;
    MemoryTileSurface tiles{64};
    ASSERT_FALSE(OpenDocument(entry.path().string(), state, files, messages, tiles)) << name;
    const MergedImageResult merged = ReadMergedImage(state);
    // ImageMagick cuts its grey merged images short; psd-tools says so too.
    if (composite["reference"].isNull()) {
      EXPECT_FALSE(merged.Image) << name;
      continue;
    }
    ASSERT_TRUE(merged.Image) << name << ": " << merged.Problem;
    const auto load = [&](const char* key) {
      return QImage(QString::fromStdString(
          (kCorpus / "icc" / composite[key].toString().toStdString()).string()));
    };
    const QImage reference = load("reference").convertToFormat(QImage::Format_RGB32);
    const QImage alpha = composite["alpha"].isString()
                             ? load("alpha").convertToFormat(QImage::Format_Grayscale8)
                             : QImage();
    ASSERT_EQ(reference.width(), merged.Image->Width) << name;
    ASSERT_EQ(reference.height(), merged.Image->Height) << name;
    std::vector<double> differences;
    for (int y = 0; y < reference.height(); ++y) {
      for (int x = 0; x < reference.width(); ++x) {
        if (!alpha.isNull() && qGray(alpha.pixel(x, y)) != 255) continue;
        const std::uint32_t shown =
            merged.Image->Pixels[static_cast<std::size_t>(y * merged.Image->Width + x)];
        differences.push_back(test::Ciede2000(test::LabOfSrgb(shown & 0xffffffu),
                                              test::LabOfSrgb(reference.pixel(x, y))));
      }
    }
    const test::Differences summary = test::Summarise(differences);
    test::Report(name + " merged image", summary);
    EXPECT_GT(summary.Pixels, 0u) << name;
    EXPECT_LE(summary.Mean, 1.0) << name;
    EXPECT_LE(summary.Percentile99, 3.0) << name;
  }
}

}  // namespace
}  // namespace plymark
