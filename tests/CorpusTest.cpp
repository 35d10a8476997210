// Files written by other programs, exported by plymark-export and compared
// with per-channel references that psd-tools decoded (see tests/corpus/).

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
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

// Pixels of `ours` whose `value` differs from the grey of `reference`.
template <typename Value>
int GreyMismatches(const QImage& ours, const QString& referencePath, Value value) {
  const QImage reference = QImage(referencePath).convertToFormat(QImage::Format_Grayscale8);
  if (ours.size() != reference.size()) return -1;
  int mismatches = 0;
  for (int y = 0; y < ours.height(); ++y) {
    for (int x = 0; x < ours.width(); ++x) {
      if (value(ours.pixel(x, y)) != qGray(reference.pixel(x, y))) ++mismatches;
    }
  }
  return mismatches;
}

// A JSON value as its text, for comparing and for messages.
std::string Text(const QJsonValue& value) {
  return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}

bool HasChannel(const QJsonObject& layer, int id) {
  for (const QJsonValue& channel : layer["channels"].toArray()) {
    if (channel.toObject()["id"].toInt() == id) return true;
  }
  return false;
}

// Every third-party file, PSB files and those in subfolders included, against
// what psd-tools reads of each record: tree place, visibility, opacity,
// clipping, blend key and mask wherever the reference says, and the alpha and
// mask pictures against channels -1 and -2.
class DocumentCorpusTest : public ::testing::TestWithParam<std::string> {};

TEST_P(DocumentCorpusTest, EveryRecordMatchesPsdTools) {
  const QString psd = QDir(kCorpus).filePath(QString::fromStdString(GetParam()));
  const QDir referenceFolder = QFileInfo(psd).dir();
  const QJsonObject expected = ReadJson(psd + ".json");
  ASSERT_FALSE(expected.isEmpty()) << "no sidecar for " << GetParam();
  QTemporaryDir out;
  const auto run = test::RunExport({"--quiet", psd, out.filePath("export")});
  ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
  const QDir exported(out.filePath("export"));
  const QJsonArray ours = ReadJson(exported.filePath("layers.json"))["layers"].toArray();
  const QJsonArray layers = expected["layers"].toArray();
  ASSERT_EQ(ours.size(), layers.size());

  for (const QJsonValue& value : layers) {
    const QJsonObject layer = value.toObject();
    const int index = layer["index"].toInt();
    const QJsonObject our = ours[index].toObject();
    const std::string where = GetParam() + " layer " + std::to_string(index);
    for (const char* key : {"kind", "parent", "visible", "opacity", "clipping", "blendKey"}) {
      if (layer.contains(key)) {
        EXPECT_EQ(Text(our[key]), Text(layer[key])) << where << " " << key;
      }
    }
    if (layer.contains("mask")) {
      const QJsonObject mask = layer["mask"].toObject();
      const QJsonObject ourMask = our["mask"].toObject();
      EXPECT_EQ(our["mask"].isNull(), layer["mask"].isNull()) << where;
      for (const char* key : {"top", "left", "bottom", "right", "defaultColor"}) {
        EXPECT_EQ(Text(ourMask[key]), Text(mask[key])) << where << " mask " << key;
      }
    }
    if (layer.contains("maskReference")) {
      const QImage mask(exported.filePath(QStringLiteral("mask-%1.png").arg(index)));
      EXPECT_EQ(mask.format(), QImage::Format_Grayscale8) << where;
      EXPECT_EQ(GreyMismatches(mask, referenceFolder.filePath(layer["maskReference"].toString()),
                               [](QRgb grey) { return qGray(grey); }),
                0)
          << where << " mask";
    }
    if (layer["reference"].isNull()) continue;
    const QImage image(exported.filePath(QStringLiteral("layer-%1.png").arg(index)));
    EXPECT_EQ(image.hasAlphaChannel(), HasChannel(layer, -1)) << where;
    if (layer.contains("alphaReference")) {
      EXPECT_EQ(GreyMismatches(image, referenceFolder.filePath(layer["alphaReference"].toString()),
                               [](QRgb rgba) { return qAlpha(rgba); }),
                0)
          << where << " alpha";
    }
  }
}

// Every corpus file in the corpus folder and below it.
std::vector<std::string> AllCorpusFiles() {
  std::vector<std::string> files;
  QDirIterator it(kCorpus, {QStringLiteral("*.psd"), QStringLiteral("*.psb")}, QDir::Files,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) files.push_back(QDir(kCorpus).relativeFilePath(it.next()).toStdString());
  std::sort(files.begin(), files.end());
  return files;
}

INSTANTIATE_TEST_SUITE_P(ThirdPartyFiles, DocumentCorpusTest, ::testing::ValuesIn(AllCorpusFiles()),
                         TestName);

}  // namespace
}  // namespace plymark
