#include "tools/LayerExtras.h"

#include <QDir>
#include <QImageWriter>
#include <cstring>

#include "psd/PsdError.h"
#include "render/ChannelPlane.h"
#include "render/LayerLoop.h"

namespace plymark {
namespace {

// Bit 1 of a record's flags hides the layer.
constexpr std::uint8_t kHiddenFlag = 0x02;
constexpr std::int16_t kTransparencyChannel = -1;
constexpr std::int16_t kUserMaskChannel = -2;

QString KindName(LayerKind kind) {
  switch (kind) {
    case LayerKind::Group:
      return QStringLiteral("group");
    case LayerKind::GroupEnd:
      return QStringLiteral("groupEnd");
    case LayerKind::Layer:
      break;
  }
  return QStringLiteral("layer");
}

// The mask rectangle's width and height; zero or negative when it has no pixels.
std::pair<std::int64_t, std::int64_t> MaskSize(const LayerMask& mask) {
  return {static_cast<std::int64_t>(mask.Right) - mask.Left,
          static_cast<std::int64_t>(mask.Bottom) - mask.Top};
}

}  // namespace

QImage LayerPicture(DocumentState& state, int layer, const QImage& painted, bool withAlpha) {
  if (!withAlpha || painted.isNull()) return painted;
  const auto alpha = ReadGreyChannel(state, layer, kTransparencyChannel, painted.width(),
                                     painted.height(), "rectangle");
  if (!alpha) return painted;
  QImage picture = painted.convertToFormat(QImage::Format_ARGB32);
  const auto width = static_cast<std::size_t>(picture.width());
  for (int y = 0; y < picture.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
    const std::uint8_t* alphaRow = alpha->data() + static_cast<std::size_t>(y) * width;
    for (std::size_t x = 0; x < width; ++x) {
      row[x] = (static_cast<QRgb>(alphaRow[x]) << 24) | (row[x] & 0x00ffffffu);
    }
  }
  return picture;
}

std::optional<QString> MaskImageName(const DocumentState& state, int layer) {
  const LayerRecord& record = state.Layers[static_cast<std::size_t>(layer)];
  if (!record.Mask) return std::nullopt;
  bool hasChannel = false;
  for (const ChannelInfoRecord& info : record.ChannelInfo) {
    hasChannel = hasChannel || info.ChannelId == kUserMaskChannel;
  }
  const auto [width, height] = MaskSize(*record.Mask);
  if (!hasChannel || width <= 0 || height <= 0 || width > kLargestLayerSide ||
      height > kLargestLayerSide) {
    return std::nullopt;
  }
  return QStringLiteral("mask-%1.png").arg(layer);
}

QString WriteMaskImages(DocumentState& state, const QString& folder) {
  for (int i = 0; i < state.LayerCount; ++i) {
    const auto name = MaskImageName(state, i);
    if (!name) continue;
    const auto [width, height] = MaskSize(*state.Layers[static_cast<std::size_t>(i)].Mask);
    std::optional<std::vector<std::uint8_t>> mask;
    try {
      mask = ReadGreyChannel(state, i, kUserMaskChannel, static_cast<std::int32_t>(width),
                             static_cast<std::int32_t>(height), "mask rectangle");
    } catch (const PsdError& error) {
      return QString::fromStdString(state.FileName) + ": " + QString::fromUtf8(error.what());
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_Grayscale8);
    if (image.isNull()) return QStringLiteral("there is not enough memory for %1").arg(*name);
    for (int y = 0; y < image.height(); ++y) {
      const auto rowBytes = static_cast<std::size_t>(width);
      std::memcpy(image.scanLine(y), mask->data() + static_cast<std::size_t>(y) * rowBytes,
                  rowBytes);
    }
    const QString path = QDir(folder).filePath(*name);
    QImageWriter writer(path, "png");
    if (!writer.write(image)) {
      return QStringLiteral("cannot write %1: %2").arg(path, writer.errorString());
    }
  }
  return {};
}

void AddLayerExtras(const DocumentState& state, int layer, QJsonObject& json) {
  const auto index = static_cast<std::size_t>(layer);
  const LayerRecord& record = state.Layers[index];
  const LayerPlace place = index < state.Places.size() ? state.Places[index] : LayerPlace{};
  json.insert("kind", KindName(place.Kind));
  json.insert("parent", place.Parent < 0 ? QJsonValue() : QJsonValue(place.Parent));
  json.insert("visible", (record.Flags & kHiddenFlag) == 0);
  json.insert("opacity", record.Opacity);
  json.insert("clipping", record.Clipping != 0);
  if (!record.Mask) {
    json.insert("mask", QJsonValue());
    return;
  }
  const auto image = MaskImageName(state, layer);
  json.insert("mask", QJsonObject{{"top", record.Mask->Top},
                                  {"left", record.Mask->Left},
                                  {"bottom", record.Mask->Bottom},
                                  {"right", record.Mask->Right},
                                  {"defaultColor", record.Mask->DefaultColor},
                                  {"image", image ? QJsonValue(*image) : QJsonValue()}});
}

}  // namespace plymark
