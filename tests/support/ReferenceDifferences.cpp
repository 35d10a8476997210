#include "tests/support/ReferenceDifferences.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/OpenWorkflow.h"
#include "platform/MemoryTileSurface.h"
#include "platform/SystemFileSource.h"
#include "tests/support/Ciede2000.h"
#include "tests/support/Fakes.h"

namespace plymark::test {

QJsonObject ReadJson(const std::filesystem::path& path) {
  QFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

Differences CompareWithReferences(const std::filesystem::path& psd, const QJsonObject& sidecar,
                                  DocumentState& state) {
  SystemFileSource files;
  FakeMessageSink messages;
  MemoryTileSurface tiles{64};
  const auto failure = OpenDocument(psd.string(), state, files, messages, tiles);
  EXPECT_FALSE(failure) << psd << ": " << (failure ? failure->Problem : "");
  std::vector<double> all;
  for (const QJsonValue value : sidecar["layers"].toArray()) {
    const QJsonObject layer = value.toObject();
    if (!layer["reference"].isString()) continue;
    const auto load = [&psd](const QJsonValue& name) {
      return QImage(
          QString::fromStdString((psd.parent_path() / name.toString().toStdString()).string()));
    };
    const QImage reference = load(layer["reference"]).convertToFormat(QImage::Format_RGB32);
    const QImage alpha = layer["alpha"].isString()
                             ? load(layer["alpha"]).convertToFormat(QImage::Format_Grayscale8)
                             : QImage();
    const auto& tile = tiles.At(layer["index"].toInt());
    EXPECT_EQ(tile.Width, reference.width()) << psd;
    EXPECT_EQ(tile.Height, reference.height()) << psd;
    if (tile.Width != reference.width() || tile.Height != reference.height()) continue;
    for (int y = 0; y < reference.height(); ++y) {
      for (int x = 0; x < reference.width(); ++x) {
        if (!alpha.isNull() && qGray(alpha.pixel(x, y)) == 0) continue;
        const std::uint32_t shown = tile.Image[static_cast<std::size_t>(y * tile.Width + x)];
        all.push_back(Ciede2000(LabOfSrgb(shown), LabOfSrgb(reference.pixel(x, y))));
      }
    }
  }
  return Summarise(std::move(all));
}

void Report(const std::string& name, const Differences& differences) {
  ::testing::Test::RecordProperty(
      name, std::to_string(differences.Mean) + " / " + std::to_string(differences.Percentile99));
  std::printf("%-28s dE00 mean %.3f, 99th percentile %.3f over %zu pixels\n", name.c_str(),
              differences.Mean, differences.Percentile99, differences.Pixels);
}

}  // namespace plymark::test
