#include "tools/LayerSettingsJson.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <algorithm>
#include <cmath>
#include <vector>

#include "psd/PsdError.h"

namespace plymark {
namespace {

// Raw data longer than this is given by its length alone.
constexpr std::size_t kLargestRawDataShown = 64 << 10;
// Embedded files are copied out in pieces of this size.
constexpr std::size_t kCopyPiece = std::size_t{4} << 20;
constexpr const char* kXmpFileName = "metadata.xmp";

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

QJsonValue Bytes(const char* name, const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() > kLargestRawDataShown) {
    return QJsonObject{{QString(name) + "Length", static_cast<qint64>(bytes.size())}};
  }
  const QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                        static_cast<qsizetype>(bytes.size()));
  return QJsonObject{{name, QString::fromLatin1(data.toBase64())}};
}

void AddItems(const std::vector<DescriptorItem>& items, QJsonObject& json) {
  for (const DescriptorItem& item : items) {
    const QString key = Text(item.Key);
    if (!json.contains(key)) json.insert(key, DescriptorValueJson(item.Value));
  }
}

QJsonValue ReferenceJson(const Reference& reference) {
  QJsonArray items;
  for (const ReferenceItem& item : reference.Items) {
    QJsonObject json{{"form", Text(item.Form)}, {"class", Text(item.ClassId)}};
    if (!item.Key.empty()) json.insert("key", Text(item.Key));
    if (!item.Value.empty()) json.insert("value", Text(item.Value));
    if (item.Form == "rele" || item.Form == "Idnt" || item.Form == "indx") {
      json.insert("number", item.Number);
    }
    items.append(json);
  }
  return QJsonObject{{"reference", items}};
}

QJsonValue NumbersJson(const std::vector<double>& numbers) {
  QJsonArray array;
  for (const double number : numbers) array.append(number);
  return array;
}

// A colour component of the engine data (0 to 1) as 0 to 255.
int EightBit(double component) {
  return static_cast<int>(std::lround(std::clamp(component, 0.0, 1.0) * 255));
}

QJsonValue TextJson(const LayerText& text) {
  QJsonArray runs;
  for (const TextRun& run : text.Runs) {
    QJsonValue colour;
    if (run.Colour) {
      const auto& argb = *run.Colour;
      colour = QJsonObject{{"red", EightBit(argb[1])},
                           {"green", EightBit(argb[2])},
                           {"blue", EightBit(argb[3])},
                           {"alpha", EightBit(argb[0])}};
    }
    runs.append(QJsonObject{{"start", static_cast<qint64>(run.Start)},
                            {"length", static_cast<qint64>(run.Length)},
                            {"font", run.Font.empty() ? QJsonValue() : QJsonValue(Text(run.Font))},
                            {"size", run.Size ? QJsonValue(*run.Size) : QJsonValue()},
                            {"color", colour}});
  }
  return QJsonObject{{"text", Text(text.Text)}, {"runs", runs}};
}

// Four characters as stored, without the spaces and zero bytes that pad them.
QJsonValue FourCharacters(const std::string& stored) {
  std::string text = stored;
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text.empty() ? QJsonValue() : QJsonValue(QString::fromLatin1(text.c_str()));
}

QString LinkKind(const std::string& type) {
  if (type == "liFD") return QStringLiteral("embedded");
  if (type == "liFE") return QStringLiteral("external");
  return QStringLiteral("alias");
}

QJsonValue SmartObjectJson(const DocumentSettings& settings, int layer) {
  const LayerSettings& own = settings.Layers[static_cast<std::size_t>(layer)];
  if (!own.SmartObjectId) return {};
  QJsonObject json{{"uniqueId", Text(*own.SmartObjectId)},
                   {"kind", QJsonValue()},
                   {"fileName", QJsonValue()},
                   {"fileType", QJsonValue()},
                   {"file", QJsonValue()}};
  if (const LinkedFile* linked = FindLinkedFile(settings.Linked, *own.SmartObjectId)) {
    json["kind"] = LinkKind(linked->Type);
    json["fileName"] = Text(linked->FileName);
    json["fileType"] = FourCharacters(linked->FileType);
    const QString file = SmartObjectFileName(settings, layer);
    if (!file.isEmpty()) json["file"] = file;
  }
  return json;
}

QJsonValue LegacyColourJson(const std::optional<LegacyColour>& colour) {
  if (!colour) return {};
  QJsonArray components;
  for (const std::uint16_t component : colour->Components) components.append(component);
  return QJsonObject{{"space", colour->Space}, {"components", components}};
}

QJsonObject LegacyEffectJson(const LegacyEffect& effect) {
  QJsonObject json{{"key", Text(effect.Key)},
                   {"version", static_cast<qint64>(effect.Version)},
                   {"enabled", effect.Enabled}};
  const auto number = [&json](const char* name, const std::optional<double>& value) {
    if (value) json.insert(name, *value);
  };
  const auto byte = [&json](const char* name, const std::optional<std::uint8_t>& value) {
    if (value) json.insert(name, *value);
  };
  const auto flag = [&json](const char* name, const std::optional<bool>& value) {
    if (value) json.insert(name, *value);
  };
  const auto colour = [&json](const char* name, const std::optional<LegacyColour>& value) {
    if (value) json.insert(name, LegacyColourJson(value));
  };
  const auto blend = [&json](const char* name, const std::string& key) {
    if (!key.empty()) json.insert(name, Text(key));
  };
  number("blur", effect.Blur);
  number("intensity", effect.Intensity);
  number("angle", effect.Angle);
  number("distance", effect.Distance);
  number("strength", effect.Strength);
  colour("color", effect.Colour);
  colour("shadowColor", effect.ShadowColour);
  colour("nativeColor", effect.NativeColour);
  colour("shadowNativeColor", effect.ShadowNativeColour);
  blend("blendMode", effect.BlendMode);
  blend("shadowBlendMode", effect.ShadowBlendMode);
  byte("opacity", effect.Opacity);
  byte("shadowOpacity", effect.ShadowOpacity);
  flag("useGlobalAngle", effect.UseGlobalAngle);
  flag("invert", effect.Invert);
  flag("up", effect.Up);
  byte("bevelStyle", effect.BevelStyle);
  return json;
}

QJsonValue EffectsJson(const LayerSettings& settings) {
  if (settings.Effects) {
    return QJsonObject{{"block", Text(settings.Effects->Key)},
                       {"settings", DescriptorJson(*settings.Effects->Settings)}};
  }
  if (!settings.OldEffects) return {};
  QJsonArray effects;
  for (const LegacyEffect& effect : settings.OldEffects->Effects) {
    effects.append(LegacyEffectJson(effect));
  }
  return QJsonObject{
      {"block", "lrFX"},
      {"settings", QJsonObject{{"version", settings.OldEffects->Version}, {"effects", effects}}}};
}

QJsonValue KindJson(const std::optional<SettingsBlock>& block) {
  if (!block) return {};
  return QJsonObject{
      {"kind", Text(block->Key)},
      {"settings", block->Settings ? QJsonValue(DescriptorJson(*block->Settings)) : QJsonValue()}};
}

QString UnitName(std::int16_t unit, bool resolution) {
  static const char* const kResolutionUnits[] = {"pixelsPerInch", "pixelsPerCentimeter"};
  static const char* const kSideUnits[] = {"inches", "centimeters", "points", "picas", "columns"};
  if (resolution && unit >= 1 && unit <= 2) return kResolutionUnits[unit - 1];
  if (!resolution && unit >= 1 && unit <= 5) return kSideUnits[unit - 1];
  return QString::number(unit);
}

// Copies `length` bytes at `offset` of the document's file into `path`.
QString CopyOut(const DocumentState& state, std::int64_t offset, std::int64_t length,
                const QString& path) {
  QFile out(path);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return QStringLiteral("cannot write %1: %2").arg(path, out.errorString());
  }
  std::vector<std::uint8_t> piece(static_cast<std::size_t>(
      std::min<std::int64_t>(length, static_cast<std::int64_t>(kCopyPiece))));
  for (std::int64_t done = 0; done < length;) {
    const auto count = static_cast<std::size_t>(
        std::min<std::int64_t>(length - done, static_cast<std::int64_t>(piece.size())));
    try {
      state.File.ReadInto(offset + done, std::span(piece.data(), count), "embedded file");
    } catch (const PsdError& error) {
      return QString::fromStdString(state.FileName) + ": " + QString::fromUtf8(error.what());
    }
    if (out.write(reinterpret_cast<const char*>(piece.data()), static_cast<qint64>(count)) !=
        static_cast<qint64>(count)) {
      return QStringLiteral("cannot write %1: %2").arg(path, out.errorString());
    }
    done += static_cast<std::int64_t>(count);
  }
  return out.flush() ? QString()
                     : QStringLiteral("cannot write %1: %2").arg(path, out.errorString());
}

// The extension of the embedded file's name, else of its type, else "bin":
// letters and digits only.
QString Extension(const LinkedFile& linked) {
  const auto clean = [](QString text) {
    text = text.toLower();
    text.removeIf([](QChar c) { return !(c.isLetterOrNumber() && c.unicode() < 128); });
    return text.left(8);
  };
  const QString name = Text(linked.FileName);
  const qsizetype dot = name.lastIndexOf('.');
  QString extension = dot >= 0 ? clean(name.mid(dot + 1)) : QString();
  if (extension.isEmpty()) extension = clean(QString::fromLatin1(linked.FileType.c_str(), 4));
  return extension.isEmpty() ? QStringLiteral("bin") : extension;
}

}  // namespace

QJsonObject DescriptorJson(const Descriptor& descriptor) {
  QJsonObject json{{"_class", Text(descriptor.ClassId)}};
  if (!descriptor.ClassName.empty()) json.insert("_name", Text(descriptor.ClassName));
  AddItems(descriptor.Items, json);
  return json;
}

QJsonValue DescriptorValueJson(const DescriptorValue& value) {
  return std::visit(
      [](const auto& held) -> QJsonValue {
        using Held = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<Held, Descriptor>) {
          return DescriptorJson(held);
        } else if constexpr (std::is_same_v<Held, std::vector<DescriptorValue>>) {
          QJsonArray array;
          for (const DescriptorValue& element : held) array.append(DescriptorValueJson(element));
          return array;
        } else if constexpr (std::is_same_v<Held, double> || std::is_same_v<Held, bool> ||
                             std::is_same_v<Held, std::int32_t>) {
          return held;
        } else if constexpr (std::is_same_v<Held, std::int64_t>) {
          return static_cast<qint64>(held);
        } else if constexpr (std::is_same_v<Held, std::string>) {
          return Text(held);
        } else if constexpr (std::is_same_v<Held, UnitFloat>) {
          return QJsonObject{{"unit", Text(held.Unit)}, {"value", held.Value}};
        } else if constexpr (std::is_same_v<Held, UnitFloats>) {
          return QJsonObject{{"unit", Text(held.Unit)}, {"values", NumbersJson(held.Values)}};
        } else if constexpr (std::is_same_v<Held, Enumerated>) {
          return QJsonObject{{"type", Text(held.Type)}, {"value", Text(held.Value)}};
        } else if constexpr (std::is_same_v<Held, ClassReference>) {
          return QJsonObject{{"class", Text(held.ClassId)}};
        } else if constexpr (std::is_same_v<Held, Reference>) {
          return ReferenceJson(held);
        } else if constexpr (std::is_same_v<Held, Alias>) {
          return Bytes("alias", held.Bytes);
        } else if constexpr (std::is_same_v<Held, RawData>) {
          return Bytes("rawData", held.Bytes);
        } else if constexpr (std::is_same_v<Held, ObjectArray>) {
          QJsonObject json{{"_class", Text(held.ClassId)},
                           {"_count", static_cast<qint64>(held.Count)}};
          AddItems(held.Items, json);
          return json;
        } else {
          static_assert(std::is_same_v<Held, FilePath>);
          return QJsonObject{{"path", Text(held.Path)}};
        }
      },
      value.Value);
}

void AddLayerSettings(const DocumentSettings& settings, int layer, QJsonObject& json) {
  const LayerSettings& own = settings.Layers[static_cast<std::size_t>(layer)];
  json.insert("id", own.Id ? QJsonValue(*own.Id) : QJsonValue());
  json.insert("text", own.Text ? TextJson(*own.Text) : QJsonValue());
  json.insert("smartObject", SmartObjectJson(settings, layer));
  json.insert("effects", EffectsJson(own));
  json.insert("adjustment", KindJson(own.Adjustment));
  json.insert("fill", KindJson(own.Fill));
  QJsonArray problems;
  for (const std::string& problem : own.Problems) problems.append(Text(problem));
  if (own.Text && !own.Text->RunsProblem.empty())
    problems.append(Text("TySh: " + own.Text->RunsProblem));
  if (!problems.isEmpty()) json.insert("blockProblems", problems);
}

void AddDocumentSettings(const DocumentState& state, QJsonObject& document) {
  QJsonValue resolution;
  if (const auto& info = state.Resources.Resolution) {
    resolution = QJsonObject{{"horizontal", info->Horizontal},
                             {"horizontalUnit", UnitName(info->HorizontalUnit, true)},
                             {"widthUnit", UnitName(info->WidthUnit, false)},
                             {"vertical", info->Vertical},
                             {"verticalUnit", UnitName(info->VerticalUnit, true)},
                             {"heightUnit", UnitName(info->HeightUnit, false)}};
  }
  document.insert("resolution", resolution);
  document.insert("xmp", state.Resources.Xmp ? QJsonValue(kXmpFileName) : QJsonValue());
}

QString SmartObjectFileName(const DocumentSettings& settings, int layer) {
  const LayerSettings& own = settings.Layers[static_cast<std::size_t>(layer)];
  if (!own.SmartObjectId) return {};
  const LinkedFile* linked = FindLinkedFile(settings.Linked, *own.SmartObjectId);
  if (linked == nullptr || linked->Type != "liFD") return {};
  return QStringLiteral("smart-%1.%2").arg(layer).arg(Extension(*linked));
}

QString WriteSettingsFiles(const DocumentState& state, const DocumentSettings& settings,
                           const QString& folder) {
  for (int i = 0; i < static_cast<int>(settings.Layers.size()); ++i) {
    const QString name = SmartObjectFileName(settings, i);
    if (name.isEmpty()) continue;
    const LinkedFile& linked = *FindLinkedFile(
        settings.Linked, *settings.Layers[static_cast<std::size_t>(i)].SmartObjectId);
    if (QString error =
            CopyOut(state, linked.DataOffset, linked.DataLength, QDir(folder).filePath(name));
        !error.isEmpty()) {
      return error;
    }
  }
  if (const auto& xmp = state.Resources.Xmp) {
    return CopyOut(state, xmp->Offset, xmp->Length, QDir(folder).filePath(kXmpFileName));
  }
  return {};
}

}  // namespace plymark
