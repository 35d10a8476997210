// Third-party files (ImageMagick, ag-psd, psd-tools) of 16 and 32 bits, with
// ZIP channels, and PSB documents, opened through the real Open path and compared with
// psd-tools' per-channel decoding (tests/corpus/README.md).

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdlib>
#include <string>

#include "app/OpenWorkflow.h"
#include "platform/MemoryTileSurface.h"
#include "platform/SystemFileSource.h"
#include "tests/support/Fakes.h"

namespace plymark {
namespace {

const std::string kCorpus = PLYMARK_CORPUS_DIR;

QJsonObject Sidecar(const std::string& file) {
  QFile json(QString::fromStdString(kCorpus + "/" + file + ".json"));
  if (!json.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(json.readAll()).object();
}

// The linear value, in 8-bit steps, that an sRGB-encoded component stands for.
double LinearSteps(int component) {
  const double encoded = component / 255.0;
  const double linear =
      encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
  return linear * 255.0;
}

// How far a component of ours may lie from the reference's: 8-bit samples
// exactly; 16-bit within 1; 32-bit floats, whose reference is linear and ours
// sRGB-encoded, within 2 linear steps once ours is decoded back (half an sRGB
// step near white is 1.14 linear steps, plus the reference's own rounding).
double Difference(int depth, int ours, int reference) {
  if (depth == 32) return std::abs(LinearSteps(ours) - reference);
  return std::abs(ours - reference);
}

double Tolerance(int depth) {
  switch (depth) {
    case 16:
      return 1;
    case 32:
      return 2;
    default:
      return 0;
  }
}

class DeepCorpus : public testing::TestWithParam<std::string> {};

TEST_P(DeepCorpus, LayersMatchTheThirdPartyReference) {
  const std::string file = GetParam();
  const QJsonObject sidecar = Sidecar(file);
  ASSERT_FALSE(sidecar.isEmpty()) << "no sidecar for " << file;
  const int depth = sidecar["header"].toObject()["depth"].toInt();
  const QJsonArray layers = sidecar["layers"].toArray();

  SystemFileSource files;
  test::FakeMessageSink messages;
  MemoryTileSurface tiles(64);
  DocumentState state;
  const auto failure = OpenDocument(kCorpus + "/" + file, state, files, messages, tiles);
  ASSERT_FALSE(failure) << failure->Problem;
  EXPECT_EQ(state.Header.Depth, depth);
  ASSERT_EQ(state.LayerCount, layers.size());

  const std::string folder = file.substr(0, file.rfind('/') + 1);
  int compared = 0;
  for (int i = 0; i < layers.size(); ++i) {
    const QJsonObject layer = layers[i].toObject();
    const MemoryTileSurface::Tile& tile = tiles.At(i);
    ASSERT_EQ(tile.Width, layer["width"].toInt()) << file << " layer " << i;
    ASSERT_EQ(tile.Height, layer["height"].toInt()) << file << " layer " << i;
    if (layer["reference"].isNull()) continue;
    const QImage reference =
        QImage(QString::fromStdString(kCorpus + "/" + folder) + layer["reference"].toString())
            .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(reference.width(), tile.Width) << file << " layer " << i;
    ASSERT_EQ(reference.height(), tile.Height) << file << " layer " << i;

    double worst = 0;
    for (int y = 0; y < tile.Height; ++y) {
      for (int x = 0; x < tile.Width; ++x) {
        const std::uint32_t ours = tile.Image[static_cast<std::size_t>(y * tile.Width + x)];
        const QRgb theirs = reference.pixel(x, y);
        for (const int shift : {16, 8, 0}) {
          const int mine = static_cast<int>((ours >> shift) & 0xFF);
          const int expected = static_cast<int>((theirs >> shift) & 0xFF);
          worst = std::max(worst, Difference(depth, mine, expected));
        }
      }
    }
    EXPECT_LE(worst, Tolerance(depth)) << file << " layer " << i;
    ++compared;
  }
  EXPECT_GT(compared, 0) << file;
}

INSTANTIATE_TEST_SUITE_P(ThirdPartyFiles, DeepCorpus,
                         testing::Values("deep/ag-zip.psd", "deep/im-rle-16.psd",
                                         "deep/im-zip-16.psd", "deep/im-zip-8.psd",
                                         "deep/pt-zip-pred-8.psd", "deep/pt-zip-pred-16.psd",
                                         "deep/pt-zip-pred-16-plain.psd", "deep/pt-zip-pred-32.psd",
                                         "pt-channel-order.psd", "psb/im-rle-8.psb",
                                         "psb/im-rle-16.psb", "psb/im-zip-8.psb", "psb/im-gray.psb",
                                         "psb/ag-layers.psb", "psb/pt-rle-8.psb",
                                         "psb/pt-lr16.psb"),
                         [](const testing::TestParamInfo<std::string>& param) {
                           std::string name = param.param;
                           for (char& c : name) {
                             if (c == '-' || c == '/' || c == '.') c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace plymark
