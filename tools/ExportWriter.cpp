#include "tools/ExportWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>

#include "app/OpenWorkflow.h"
#include "psd/CodePage.h"
#include "tools/LayerExtras.h"
#include "tools/LayerSettingsJson.h"
#include "tools/PngWriter.h"

namespace plymark {
namespace {

QString FromFileText(const std::string& bytes) {
  return QString::fromStdString(Windows1252ToUtf8(bytes));
}

QString ImageName(int layer) {
  return QStringLiteral("layer-%1.png").arg(layer);
}

std::int64_t Distance(std::int32_t a, std::int32_t b) {
  return std::llabs(static_cast<std::int64_t>(a) - b);
}

QJsonObject LayerJson(const DocumentState& state, int index) {
  const LayerRecord& layer = state.Layers[static_cast<std::size_t>(index)];
  const std::int64_t width = Distance(layer.Left, layer.Right);
  const std::int64_t height = Distance(layer.Top, layer.Bottom);
  QJsonArray channels;
  for (std::size_t m = 0; m < layer.ChannelInfo.size(); ++m) {
    const ChannelBlock& block = state.ChannelData[static_cast<std::size_t>(index)].Blocks[m];
    channels.append(
        QJsonObject{{"id", layer.ChannelInfo[m].ChannelId},
                    {"compression", block.Compression},
                    {"length", static_cast<qint64>(layer.ChannelInfo[m].ChannelLength)}});
  }
  QJsonValue image = width > 0 && height > 0 ? QJsonValue(ImageName(index)) : QJsonValue();
  QJsonValue skipped;
  for (const SkippedLayer& left : state.SkippedLayers) {
    if (left.Layer != index) continue;
    image = QJsonValue();
    skipped = QStringLiteral("wider or higher than the 30000 pixels a layer image can have");
  }
  QJsonObject json{
      {"index", index},
      {"name", QString::fromStdString(layer.Name)},
      {"top", layer.Top},
      {"left", layer.Left},
      {"bottom", layer.Bottom},
      {"right", layer.Right},
      {"width", static_cast<qint64>(width)},
      {"height", static_cast<qint64>(height)},
      {"blendSignature", FromFileText(layer.BlendSignature)},
      {"blendKey", FromFileText(layer.BlendKey)},
      {"channels", channels},
      {"image", image},
  };
  AddLayerExtras(state, index, json);
  if (!skipped.isNull()) json.insert("skipped", skipped);
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

QByteArray LayersJson(const DocumentState& state, const CompositeExport& composite,
                      const RenderExport& render, const DocumentSettings& settings) {
  const FileHeader& header = state.Header;
  QJsonArray layers;
  for (int i = 0; i < state.LayerCount; ++i) {
    QJsonObject layer = LayerJson(state, i);
    AddLayerSettings(settings, i, layer);
    layers.append(layer);
  }
  const QJsonValue profile = state.ColorProfile
                                 ? QJsonValue(QString::fromStdString(*state.ColorProfile))
                                 : QJsonValue(QJsonValue::Null);
  QJsonObject document{
      {"file", QFileInfo(QString::fromStdString(state.FileName)).fileName()},
      {"header", QJsonObject{{"signature", FromFileText(header.Signature)},
                             {"version", header.Version},
                             {"channels", header.Channels},
                             {"rows", header.Rows},
                             {"columns", header.Columns},
                             {"depth", header.Depth},
                             {"colorMode", header.ColorMode},
                             {"colorProfile", profile},
                             {"colorManaged", state.Colour != nullptr}}},
      {"composite", composite.Image.isEmpty() ? QJsonValue() : QJsonValue(composite.Image)},
      {"compositeError",
       composite.Problem.isEmpty() ? QJsonValue() : QJsonValue(composite.Problem)},
      {"layers", layers},
  };
  if (render.Asked) {
    document.insert("rendered", render.Image.isEmpty() ? QJsonValue() : QJsonValue(render.Image));
    document.insert("renderOmissions", QJsonArray::fromStringList(render.Omissions));
    document.insert("renderError",
                    render.Problem.isEmpty() ? QJsonValue() : QJsonValue(render.Problem));
  }
  AddDocumentSettings(state, document);
  return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QString WriteLayerImage(const QString& folder, int layer, const PngImage& picture, int threads) {
  return WritePng(QDir(folder).filePath(ImageName(layer)), picture, threads);
}

QString WriteExport(const DocumentState& state, const CompositeExport& composite,
                    const RenderExport& render, const QString& folder) {
  QByteArray summary;
  for (const std::string& line : SummaryItems(state)) {
    summary += QByteArray::fromStdString(line) + '\n';
  }
  if (QString error = WriteFile(QDir(folder).filePath("summary.txt"), summary); !error.isEmpty()) {
    return error;
  }
  const DocumentSettings settings = ReadDocumentSettings(state);
  if (QString error = WriteSettingsFiles(state, settings, folder); !error.isEmpty()) return error;
  if (QString error = WriteFile(QDir(folder).filePath("layers.json"),
                                LayersJson(state, composite, render, settings));
      !error.isEmpty()) {
    return error;
  }
  return {};
}

}  // namespace plymark
