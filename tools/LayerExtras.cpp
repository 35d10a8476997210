#include "tools/LayerExtras.h"

#include <QDir>
#include <cstring>
#include <string>

#include "psd/PsdError.h"
#include "render/ChannelPlane.h"
#include "render/DeepSamples.h"
#include "tools/PngWriter.h"

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

std::optional<std::vector<std::uint8_t>> LayerAlpha(DocumentState& state, int layer,
                                                    const QImage& painted, bool withAlpha,
                                                    MessageSink& messages) {
  // A depth that cannot be shown decodes no transparency either.
  if (!withAlpha || painted.isNull() || BytesPerSample(state.Header.Depth) == 0) return {};
  try {
    return ReadGreyChannel(state, layer, kTransparencyChannel, painted.width(), painted.height(),
                           "rectangle");
  } catch (const PsdError& error) {
    // The colours are whole, as the window shows them.
    messages.ShowMessage("Layer " + std::to_string(layer) + " \"" +
                         state.Layers[static_cast<std::size_t>(layer)].Name +
                         "\": its transparency channel (-1) cannot be read, so the layer is "
                         "exported opaque: " +
                         error.what() + ".");
    return {};
  }
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
    PngImage image;
    image.Width = rectangle.Right - rectangle.Left;
    image.Height = rectangle.Bottom - rectangle.Top;
    image.Channels = 1;
    image.Row = [&mask, width = static_cast<std::size_t>(image.Width)](int y, std::uint8_t*) {
      return mask->data() + static_cast<std::size_t>(y) * width;
    };
    const QString path = QDir(folder).filePath(*MaskImageName(state, i));
    if (QString error = WritePng(path, image); !error.isEmpty()) return error;
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
