#include "tools/ExportWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

#include "tools/LayerExtras.h"
#include "tools/LayerSettingsJson.h"

namespace plymark {
namespace {

QString FromText(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

QString ImageName(int layer) {
  return QStringLiteral("layer-%1.png").arg(layer);
}

std::int64_t Distance(std::int32_t a, std::int32_t b) {
  return std::llabs(static_cast<std::int64_t>(a) - b);
}

QJsonObject LayerJson(const Layer& layer) {
  const Rect bounds = layer.Bounds();
  const std::int64_t width = Distance(bounds.Left, bounds.Right);
  const std::int64_t height = Distance(bounds.Top, bounds.Bottom);
  QJsonArray channels;
  for (const ChannelInfo& channel : layer.Channels()) {
    channels.append(QJsonObject{{"id", channel.Id},
                                {"compression", channel.Compression},
                                {"length", static_cast<qint64>(channel.Length)}});
  }
  const std::optional<std::string> skipped = layer.Skipped();
  const bool hasImage = width > 0 && height > 0 && !skipped;
  QJsonObject json{
      {"index", layer.Index()},
      {"name", FromText(layer.Name())},
      {"top", bounds.Top},
      {"left", bounds.Left},
      {"bottom", bounds.Bottom},
      {"right", bounds.Right},
      {"width", static_cast<qint64>(width)},
      {"height", static_cast<qint64>(height)},
      {"blendSignature", FromText(layer.BlendSignature())},
      {"blendKey", FromText(layer.BlendKey())},
      {"channels", channels},
      {"image", hasImage ? QJsonValue(ImageName(layer.Index())) : QJsonValue()},
  };
  AddLayerExtras(layer, json);
  if (skipped) json.insert("skipped", FromText(*skipped));
  return json;
}

QString WriteFile(const QString& path, const QByteArray& content) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(content) != content.size() || !file.flush()) {
    return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
  }
  return {};
}

}  // namespace

QByteArray LayersJson(const Document& document, const CompositeExport& composite,
                      const RenderExport& render, bool xmp) {
  QJsonArray layers;
  for (const Layer& layer : document.Layers()) {
    QJsonObject json = LayerJson(layer);
    AddLayerSettings(layer, json);
    layers.append(json);
  }
  const std::optional<std::string> profile = document.ColorProfile();
  QJsonObject json{
      {"file", QFileInfo(FromText(document.FileName())).fileName()},
      {"header",
       QJsonObject{{"signature", FromText(document.Signature())},
                   {"version", document.Version()},
                   {"channels", document.Channels()},
                   {"rows", document.Height()},
                   {"columns", document.Width()},
                   {"depth", document.Depth()},
                   {"colorMode", document.ColorMode()},
                   {"colorProfile", profile ? QJsonValue(FromText(*profile)) : QJsonValue()},
                   {"colorManaged", document.ColorManaged()}}},
      {"composite", composite.Image.isEmpty() ? QJsonValue() : QJsonValue(composite.Image)},
      {"compositeError",
       composite.Problem.isEmpty() ? QJsonValue() : QJsonValue(composite.Problem)},
      {"layers", layers},
  };
  if (render.Asked) {
    json.insert("rendered", render.Image.isEmpty() ? QJsonValue() : QJsonValue(render.Image));
    json.insert("renderOmissions", QJsonArray::fromStringList(render.Omissions));
    json.insert("renderError",
                render.Problem.isEmpty() ? QJsonValue() : QJsonValue(render.Problem));
  }
  AddDocumentSettings(document, xmp, json);
  return QJsonDocument(json).toJson(QJsonDocument::Indented);
}

QString WriteLayerImage(const QString& folder, int layer, const PngImage& picture, int threads) {
  return WritePng(QDir(folder).filePath(ImageName(layer)), picture, threads);
}

QString WriteExport(const Document& document, const CompositeExport& composite,
                    const RenderExport& render, const QString& folder) {
  QByteArray summary;
  for (const std::string& line : document.Summary()) {
    summary += QByteArray::fromStdString(line) + '\n';
  }
  if (QString error = WriteFile(QDir(folder).filePath("summary.txt"), summary); !error.isEmpty()) {
    return error;
  }
  bool xmp = false;
  if (QString error = WriteSettingsFiles(document, folder, xmp); !error.isEmpty()) return error;
  return WriteFile(QDir(folder).filePath("layers.json"),
                   LayersJson(document, composite, render, xmp));
}

}  // namespace plymark
