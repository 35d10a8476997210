#include "tools/LayerExtras.h"

#include <QDir>
#include <string>

#include "tools/ImageViews.h"
#include "tools/PngWriter.h"

namespace plymark {
namespace {

QString KindName(RecordKind kind) {
  switch (kind) {
    case RecordKind::Group:
      return QStringLiteral("group");
    case RecordKind::GroupEnd:
      return QStringLiteral("groupEnd");
    case RecordKind::Layer:
      break;
  }
  return QStringLiteral("layer");
}

}  // namespace

QImage LayerAlpha(const Layer& layer, bool withAlpha, const ConsoleNotices& notices) {
  if (!withAlpha) return {};
  try {
    const std::optional<Image> alpha = layer.Transparency();
    return alpha ? ImageView(*alpha) : QImage();
  } catch (const Error& error) {
    // The colours are whole, as the window shows them.
    notices.Show("Layer " + std::to_string(layer.Index()) + " \"" + layer.Name() +
                 "\": its transparency channel (-1) cannot be read, so the layer is exported "
                 "opaque: " +
                 error.what() + ".");
    return {};
  }
}

std::optional<QString> MaskImageName(const Layer& layer) {
  const std::optional<MaskInfo> mask = layer.Mask();
  if (!mask || !mask->HasPicture) return std::nullopt;
  return QStringLiteral("mask-%1.png").arg(layer.Index());
}

QString WriteMaskImages(const Document& document, const QString& folder) {
  for (const Layer& layer : document.Layers()) {
    const std::optional<QString> name = MaskImageName(layer);
    if (!name) continue;
    std::optional<Image> mask;
    try {
      mask = layer.MaskPixels();
    } catch (const Error& failure) {
      return QString::fromStdString(document.FileName()) + ": " + QString::fromUtf8(failure.what());
    }
    if (!mask) continue;
    const QString path = QDir(folder).filePath(*name);
    if (QString error = WritePng(path, ImageView(*mask)); !error.isEmpty()) return error;
  }
  return {};
}

void AddLayerExtras(const Layer& layer, QJsonObject& json) {
  json.insert("kind", KindName(layer.Kind()));
  json.insert("parent", layer.Parent() < 0 ? QJsonValue() : QJsonValue(layer.Parent()));
  json.insert("visible", layer.Visible());
  json.insert("opacity", layer.Opacity());
  json.insert("clipping", layer.Clipping());
  const std::optional<MaskInfo> mask = layer.Mask();
  if (!mask) {
    json.insert("mask", QJsonValue());
    return;
  }
  const auto image = MaskImageName(layer);
  json.insert("mask", QJsonObject{{"top", mask->Bounds.Top},
                                  {"left", mask->Bounds.Left},
                                  {"bottom", mask->Bounds.Bottom},
                                  {"right", mask->Bounds.Right},
                                  {"defaultColor", mask->DefaultColor},
                                  {"image", image ? QJsonValue(*image) : QJsonValue()}});
}

}  // namespace plymark
