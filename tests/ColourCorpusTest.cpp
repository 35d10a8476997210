#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "app/OpenWorkflow.h"
#include "platform/MemoryTileSurface.h"
#include "platform/SystemFileSource.h"
#include "psd/CodePage.h"
#include "tests/support/Fakes.h"
#include "tests/support/ReferenceDifferences.h"

// Files written by ImageMagick and ag-psd, opened the way the window opens
// them, against psd-tools' per-channel decoding and the colour formulas.

namespace plymark {
namespace {

const std::filesystem::path kCorpus = PLYMARK_CORPUS_DIR;

QByteArray ReadAll(const std::filesystem::path& path) {
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

struct OpenedCorpusFile {
  QJsonObject sidecar;
  SystemFileSource files;
  test::FakeMessageSink messages;
  MemoryTileSurface tiles{64};
  DocumentState state;

  explicit OpenedCorpusFile(const std::filesystem::path& psd) {
    sidecar = QJsonDocument::fromJson(ReadAll(psd.string() + ".json")).object();
    const auto failure = OpenDocument(psd.string(), state, files, messages, tiles);
    EXPECT_FALSE(failure) << psd << ": " << (failure ? failure->Problem : "");
  }

  QJsonArray Layers() const { return sidecar["layers"].toArray(); }

  std::uint32_t Pixel(int tile, int x, int y) const {
    const auto& t = tiles.At(tile);
    return t.Image.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(t.Width) +
                      static_cast<std::size_t>(x));
  }
};

// Compares every layer's tile with the PNG named by `key` in its sidecar entry;
// returns the number of pixels compared.
std::int64_t ExpectTilesMatch(const OpenedCorpusFile& opened, const std::filesystem::path& folder,
                              const char* key) {
  std::int64_t compared = 0;
  for (const QJsonValue value : opened.Layers()) {
    const QJsonObject layer = value.toObject();
    if (!layer[key].isString()) continue;
    const int index = layer["index"].toInt();
    const QImage reference =
        QImage(QString::fromStdString((folder / layer[key].toString().toStdString()).string()))
            .convertToFormat(QImage::Format_RGB32);
    EXPECT_FALSE(reference.isNull()) << layer[key].toString().toStdString();
    EXPECT_EQ(opened.tiles.At(index).Width, reference.width());
    EXPECT_EQ(opened.tiles.At(index).Height, reference.height());
    if (opened.tiles.At(index).Width != reference.width() ||
        opened.tiles.At(index).Height != reference.height()) {
      continue;
    }
    int mismatches = 0;
    for (int y = 0; y < reference.height(); ++y) {
      for (int x = 0; x < reference.width(); ++x) {
        mismatches += opened.Pixel(index, x, y) != (reference.pixel(x, y) | 0xff000000u);
        ++compared;
      }
    }
    EXPECT_EQ(mismatches, 0) << "layer " << index << " against "
                             << layer[key].toString().toStdString();
  }
  return compared;
}

TEST(ColourCorpus, IndexedLayersMatchTheirPaletteReferencesExactly) {
  for (const char* name : {"colour/im-remap.psd", "im-indexed.psd"}) {
    const std::filesystem::path psd = kCorpus / name;
    const OpenedCorpusFile opened(psd);
    EXPECT_EQ(opened.state.ColorTable.size(), 768u);
    const std::int64_t compared = ExpectTilesMatch(opened, psd.parent_path(), "paletteReference");
    EXPECT_GT(compared, 0) << name;
    ::testing::Test::RecordProperty(std::string(name) + " pixels", std::to_string(compared));
  }
}

// Without a profile of their own, CMYK layers go through the default press
// profile (Ghostscript's "Artifex CMYK SWOP"); they no longer follow the ink
// formula, which scaled each inverted ink by black.
TEST(ColourCorpus, CmykLayersWithoutAProfileFollowTheDefaultPressProfile) {
  for (const char* name : {"colour/im-cmyk.psd", "psb/im-cmyk.psb"}) {
    const std::filesystem::path psd = kCorpus / name;
    DocumentState state;
    const test::Differences differences =
        test::CompareWithReferences(psd, test::ReadJson(psd.string() + ".swop.json"), state);
    test::Report(name, differences);
    EXPECT_GT(differences.Pixels, 0u) << name;
    EXPECT_LE(differences.Mean, 1.0) << name;
    EXPECT_LE(differences.Percentile99, 3.0) << name;
    EXPECT_FALSE(state.ColorProfile) << name;
    EXPECT_NE(state.Colour, nullptr) << name;
  }
}

TEST(ColourCorpus, RgbLayersWithUnicodeNamesStillMatchTheirReferences) {
  const std::filesystem::path psd = kCorpus / "colour/ag-unicode-names.psd";
  const OpenedCorpusFile opened(psd);
  EXPECT_GT(ExpectTilesMatch(opened, psd.parent_path(), "reference"), 0);
}

// The name the reference gives, with psd-tools' reading of a Pascal name
// replaced by the UTF-8 one where the bytes are UTF-8 (psd-tools reads them
// as Mac Roman).
std::string ExpectedName(const QJsonObject& layer) {
  if (layer["unicodeName"].isString()) return layer["unicodeName"].toString().toStdString();
  // Sidecars of layers kept in Lr16/Lr32 blocks give psd-tools' name alone.
  if (!layer["pascalNameHex"].isString()) return layer["name"].toString().toStdString();
  const QByteArray pascal = QByteArray::fromHex(layer["pascalNameHex"].toString().toLatin1());
  const std::string bytes(pascal.constData(), static_cast<std::size_t>(pascal.size()));
  return IsValidUtf8(bytes) ? bytes : layer["name"].toString().toStdString();
}

TEST(ColourCorpus, LayerNamesMatchTheReferenceNames) {
  int checked = 0;
  for (const std::filesystem::path& folder : {kCorpus, kCorpus / "colour", kCorpus / "deep"}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() != ".psd") continue;
      const OpenedCorpusFile opened(entry.path());
      const QJsonArray layers = opened.Layers();
      ASSERT_EQ(opened.state.Layers.size(), static_cast<std::size_t>(layers.size()))
          << entry.path();
      for (const QJsonValue value : layers) {
        const QJsonObject layer = value.toObject();
        const auto index = static_cast<std::size_t>(layer["index"].toInt());
        EXPECT_EQ(opened.state.Layers[index].Name, ExpectedName(layer))
            << entry.path().filename() << " layer " << index;
        ++checked;
      }
    }
  }
  EXPECT_GE(checked, 60);
  ::testing::Test::RecordProperty("names", checked);
}

TEST(ColourCorpus, NamesBeyondTheBasicPlaneComeFromLuni) {
  const OpenedCorpusFile opened(kCorpus / "colour/ag-unicode-names.psd");
  ASSERT_EQ(opened.state.Layers.size(), 4u);
  EXPECT_EQ(opened.state.Layers[2].Name, "Emoji \xf0\x9f\x98\x80 outside the BMP");
  EXPECT_EQ(opened.tiles.At(2).Description,
            "Emoji \xf0\x9f\x98\x80 outside the BMP\n10 \u00d7 10 pixels at (18, 10)");
}

}  // namespace
}  // namespace plymark
