// Files written by other programs, exported by plymark-export and compared
// with per-channel references that psd-tools decoded (see tests/corpus/).

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <array>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ExportRun.h"

namespace plymark {
namespace {

const QString kCorpus = QStringLiteral(PLYMARK_CORPUS_DIR);

constexpr int kGrayscale = 1;
constexpr int kIndexed = 2;

QJsonObject ReadJson(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

// The stored channel that feeds red, green or blue, if any.
std::optional<QJsonObject> ChannelFeeding(const QJsonArray& channels, int colorMode,
                                          int component) {
  const int id = (colorMode == kGrayscale || colorMode == kIndexed) ? 0 : component;
  for (const QJsonValue& channel : channels) {
    if (channel.toObject()["id"].toInt() == id) return channel.toObject();
  }
  return std::nullopt;
}

// What plymark shows for one component: the reference's value where the
// channel is raw, run-length or ZIP coded (with or without prediction); 0 for
// other codes. Indexed documents show the index looked up in the colour table.
std::array<bool, 3> ComponentsShown(const QJsonArray& channels, int colorMode) {
  std::array<bool, 3> shown{};
  for (int c = 0; c < 3; ++c) {
    const auto channel = ChannelFeeding(channels, colorMode, c);
    const int compression = channel ? channel->value("compression").toInt() : -1;
    shown[static_cast<std::size_t>(c)] = compression >= 0 && compression <= 3;
  }
  return shown;
}

int Component(QRgb rgb, int c) {
  return c == 0 ? qRed(rgb) : c == 1 ? qGreen(rgb) : qBlue(rgb);
}

class CorpusTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusTest, EveryLayerMatchesItsReference) {
  const QString psd = QDir(kCorpus).filePath(QString::fromStdString(GetParam()));
  const QJsonObject expected = ReadJson(psd + ".json");
  ASSERT_FALSE(expected.isEmpty()) << "no sidecar for " << GetParam();
  QTemporaryDir out;
  const auto run = test::RunExport({"--quiet", psd, out.filePath("export")});
  ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
  const QDir exported(out.filePath("export"));

  const QJsonArray layers = expected["layers"].toArray();
  const QJsonObject ours = ReadJson(exported.filePath("layers.json"));
  ASSERT_EQ(ours["layers"].toArray().size(), layers.size());
  const int colorMode = expected["header"].toObject()["colorMode"].toInt();

  for (const QJsonValue& value : layers) {
    const QJsonObject layer = value.toObject();
    const int index = layer["index"].toInt();
    const QString ourImage = exported.filePath(QStringLiteral("layer-%1.png").arg(index));
    if (layer["reference"].isNull()) {
      EXPECT_FALSE(QFile::exists(ourImage)) << "layer " << index << " has no pixels";
      continue;
    }
    const QString referenceKey =
        colorMode == kIndexed ? QStringLiteral("paletteReference") : QStringLiteral("reference");
    const QImage reference = QImage(QDir(kCorpus).filePath(layer[referenceKey].toString()))
                                 .convertToFormat(QImage::Format_RGB32);
    const QImage image = QImage(ourImage).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(image.size(), reference.size()) << "layer " << index;
    const auto shown = ComponentsShown(layer["channels"].toArray(), colorMode);
    int mismatches = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        for (int c = 0; c < 3; ++c) {
          const int want =
              shown[static_cast<std::size_t>(c)] ? Component(reference.pixel(x, y), c) : 0;
          if (Component(image.pixel(x, y), c) != want && ++mismatches <= 3) {
            ADD_FAILURE() << GetParam() << " layer " << index << " (" << x << ", " << y
                          << ") component " << c << ": " << Component(image.pixel(x, y), c)
                          << " instead of " << want;
          }
        }
      }
    }
    EXPECT_EQ(mismatches, 0) << "layer " << index;
  }
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  for (const QString& name :
       QDir(kCorpus).entryList({QStringLiteral("*.psd")}, QDir::Files, QDir::Name)) {
    files.push_back(name.toStdString());
  }
  return files;
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name;
  for (const char c : info.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(ThirdPartyFiles, CorpusTest, ::testing::ValuesIn(CorpusFiles()), TestName);

}  // namespace
}  // namespace plymark
