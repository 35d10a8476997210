#include "tools/LayerExtras.h"

#include <QDir>
#include <QImageWriter>
#include <cstring>

#include "psd/PsdError.h"
#include "render/ChannelPlane.h"
#include "render/DeepSamples.h"

namespace plymark {
namespace {

// Bit 1 of a record's flags hides the layer.
constexpr std::uint8_t kHiddenFlag = 0x02;
constexpr std::int16_t kTransparencyChannel = -1;

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

}  // namespace

QImage LayerPicture(DocumentState& state, int layer, const QImage& painted, bool withAlpha) {
  // A depth that cannot be shown decodes no transparency either.
  if (!withAlpha || painted.isNull() || BytesPerSample(state.Header.Depth) == 0) return painted;
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
  if (!HasMaskPlane(state, layer)) return std::nullopt;
  return QStringLiteral("mask-%1.png").arg(layer);
}

QString WriteMaskImages(DocumentState& state, const QString& folder) {
  for (int i = 0; i < state.LayerCount; ++i) {
    std::optional<std::vector<std::uint8_t>> mask;
    try {
      mask = ReadMaskPlane(state, i);
    } catch (const PsdError& error) {
      return QString::fromStdString(state.FileName) + ": " + QString::fromUtf8(error.what());
    }
    if (!mask) continue;
    const LayerMask& rectangle = *state.Layers[static_cast<std::size_t>(i)].Mask;
    QImage image(rectangle.Right - rectangle.Left, rectangle.Bottom - rectangle.Top,
                 QImage::Format_Grayscale8);
    if (image.isNull()) return QStringLiteral("there is not enough memory for mask %1").arg(i);
    const auto rowBytes = static_cast<std::size_t>(image.width());
    for (int y = 0; y < image.height(); ++y) {
      std::memcpy(image.scanLine(y), mask->data() + static_cast<std::size_t>(y) * rowBytes,
                  rowBytes);
    }
    const QString path = QDir(folder).filePath(*MaskImageName(state, i));
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
