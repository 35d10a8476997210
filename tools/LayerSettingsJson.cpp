#include "tools/LayerSettingsJson.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace plymark {
namespace {

constexpr const char* kXmpFileName = "metadata.xmp";

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

QJsonValue TextJson(const LayerTextContent& text) {
  QJsonArray runs;
  for (const TextStyleRun& run : text.Runs) {
    QJsonValue colour;
    if (run.Color) {
      colour = QJsonObject{{"red", run.Color->Red},
                           {"green", run.Color->Green},
                           {"blue", run.Color->Blue},
                           {"alpha", run.Color->Alpha}};
    }
    runs.append(QJsonObject{{"start", static_cast<qint64>(run.Start)},
                            {"length", static_cast<qint64>(run.Length)},
                            {"font", run.Font.empty() ? QJsonValue() : QJsonValue(Text(run.Font))},
                            {"size", run.Size ? QJsonValue(*run.Size) : QJsonValue()},
                            {"color", colour}});
  }
  return QJsonObject{{"text", Text(text.Text)}, {"runs", runs}};
}

QJsonValue OptionalText(const std::optional<std::string>& text) {
  return text ? QJsonValue(Text(*text)) : QJsonValue();
}

QJsonValue SmartObjectJson(const Layer& layer) {
  const std::optional<SmartObjectInfo> info = layer.SmartObject();
  if (!info) return {};
  // The type as layers.json has always given it: up to a zero byte.
  const QJsonValue fileType =
      info->FileType ? QJsonValue(Text(info->FileType->c_str())) : QJsonValue();
  const QString file = SmartObjectFileName(layer);
  return QJsonObject{{"uniqueId", Text(info->UniqueId)},
                     {"kind", OptionalText(info->LinkKind)},
                     {"fileName", OptionalText(info->FileName)},
                     {"fileType", fileType},
                     {"file", file.isEmpty() ? QJsonValue() : QJsonValue(file)}};
}

// A settings block as {KEYNAME: key, "settings": its JSON}.
QJsonValue SettingsJsonValue(const std::optional<SettingsJson>& block, const char* keyName) {
  if (!block) return {};
  QJsonValue settings;
  if (block->Json) {
    settings = QJsonDocument::fromJson(QByteArray::fromStdString(*block->Json)).object();
  }
  return QJsonObject{{keyName, Text(block->Key)}, {"settings", settings}};
}

// The extension of the embedded file's name, else of its type, else "bin":
// letters and digits only.
QString Extension(const SmartObjectInfo& info) {
  const auto clean = [](QString text) {
    text = text.toLower();
    text.removeIf([](QChar c) { return !(c.isLetterOrNumber() && c.unicode() < 128); });
    return text.left(8);
  };
  const QString name = Text(info.FileName.value_or(""));
  const qsizetype dot = name.lastIndexOf('.');
  QString extension = dot >= 0 ? clean(name.mid(dot + 1)) : QString();
  if (extension.isEmpty()) extension = clean(Text(info.FileType.value_or("")));
  return extension.isEmpty() ? QStringLiteral("bin") : extension;
}

// Writes what `read` hands over into `path`; the reader's failure names the
// document's file.
template <typename Read>
QString WriteOut(const Document& document, const QString& path, const Read& read) {
  QFile out(path);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return QStringLiteral("cannot write %1: %2").arg(path, out.errorString());
  }
  bool written = true;
  try {
    read([&](const std::uint8_t* bytes, std::size_t count) {
      written = written && out.write(reinterpret_cast<const char*>(bytes),
                                     static_cast<qint64>(count)) == static_cast<qint64>(count);
    });
  } catch (const Error& error) {
    return QString::fromStdString(document.FileName()) + ": " + QString::fromUtf8(error.what());
  }
  return written && out.flush()
             ? QString()
             : QStringLiteral("cannot write %1: %2").arg(path, out.errorString());
}

}  // namespace

void AddLayerSettings(const Layer& layer, QJsonObject& json) {
  const std::optional<std::int32_t> id = layer.Id();
  json.insert("id", id ? QJsonValue(*id) : QJsonValue());
  const std::optional<LayerTextContent> text = layer.Text();
  json.insert("text", text ? TextJson(*text) : QJsonValue());
  json.insert("smartObject", SmartObjectJson(layer));
  json.insert("effects", SettingsJsonValue(layer.Effects(), "block"));
  json.insert("adjustment", SettingsJsonValue(layer.Adjustment(), "kind"));
  json.insert("fill", SettingsJsonValue(layer.Fill(), "kind"));
  QJsonArray problems;
  for (const std::string& problem : layer.BlockProblems()) problems.append(Text(problem));
  if (!problems.isEmpty()) json.insert("blockProblems", problems);
}

void AddDocumentSettings(const Document& document, bool xmp, QJsonObject& json) {
  QJsonValue resolution;
  if (const std::optional<PrintResolution> info = document.Resolution()) {
    resolution = QJsonObject{
        {"horizontal", info->Horizontal},           {"horizontalUnit", Text(info->HorizontalUnit)},
        {"widthUnit", Text(info->WidthUnit)},       {"vertical", info->Vertical},
        {"verticalUnit", Text(info->VerticalUnit)}, {"heightUnit", Text(info->HeightUnit)}};
  }
  json.insert("resolution", resolution);
  json.insert("xmp", xmp ? QJsonValue(kXmpFileName) : QJsonValue());
}

QString SmartObjectFileName(const Layer& layer) {
  const std::optional<SmartObjectInfo> info = layer.SmartObject();
  if (!info || !info->Embedded) return {};
  return QStringLiteral("smart-%1.%2").arg(layer.Index()).arg(Extension(*info));
}

QString WriteSettingsFiles(const Document& document, const QString& folder, bool& xmp) {
  xmp = false;
  for (const Layer& layer : document.Layers()) {
    const QString name = SmartObjectFileName(layer);
    if (name.isEmpty()) continue;
    if (QString error = WriteOut(document, QDir(folder).filePath(name),
                                 [&layer](const auto& take) { layer.ReadEmbeddedFile(take); });
        !error.isEmpty()) {
      return error;
    }
  }
  std::optional<std::string> packet;
  try {
    packet = document.Xmp();
  } catch (const Error& error) {
    return QString::fromStdString(document.FileName()) + ": " + QString::fromUtf8(error.what());
  }
  if (!packet) return {};
  xmp = true;
  return WriteOut(document, QDir(folder).filePath(kXmpFileName), [&packet](const auto& take) {
    take(reinterpret_cast<const std::uint8_t*>(packet->data()), packet->size());
  });
}

}  // namespace plymark
