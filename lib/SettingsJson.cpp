#include "lib/SettingsJson.h"

#include <set>
#include <type_traits>

#include "lib/JsonWriter.h"

namespace plymark {
inline namespace v0 {
namespace {

// Raw data longer than this is given by its length alone.
constexpr std::size_t kLargestRawDataShown = 64 << 10;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at the start of `bytes`, or 0.
std::size_t SequenceLength(std::string_view bytes) {
  const auto byte = [&bytes](std::size_t k) { return static_cast<std::uint8_t>(bytes[k]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  // The second byte's range excludes overlong forms, surrogates and code
  // points beyond U+10FFFF.
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if (byte(k) < 0x80 || byte(k) > 0xBF) return 0;
  }
  return length;
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t k = 0; k < bytes.size(); k += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - k);
    std::uint32_t group = std::uint32_t{bytes[k]} << 16;
    if (count > 1) group |= std::uint32_t{bytes[k + 1]} << 8;
    if (count > 2) group |= bytes[k + 2];
    for (std::size_t d = 0; d < 4; ++d) {
      out += d <= count ? kDigits[(group >> (18 - 6 * d)) & 0x3f] : '=';
    }
  }
  return out;
}

class DescriptorWriter {
 public:
  explicit DescriptorWriter(JsonWriter& json) : json_(json) {}

  void Object(const Descriptor& descriptor) {
    json_.BeginObject();
    std::set<std::string> keys;
    Member(keys, "_class").Text(descriptor.ClassId);
    if (!descriptor.ClassName.empty()) Member(keys, "_name").Text(descriptor.ClassName);
    Items(descriptor.Items, keys);
    json_.EndObject();
  }

  void Value(const DescriptorValue& value) {
    std::visit([this](const auto& held) { Held(held); }, value.Value);
  }

 private:
  // Opens member `key`, taken now.
  JsonWriter& Member(std::set<std::string>& keys, const std::string& key) {
    keys.insert(key);
    return json_.Key(key);
  }

  // Items under their keys; an item whose key (as UTF-8) is taken is left out.
  void Items(const std::vector<DescriptorItem>& items, std::set<std::string>& keys) {
    for (const DescriptorItem& item : items) {
      std::string key = ValidUtf8(item.Key);
      if (keys.contains(key)) continue;
      Member(keys, key);
      Value(item.Value);
    }
  }

  void Bytes(const char* name, const std::vector<std::uint8_t>& bytes) {
    json_.BeginObject();
    if (bytes.size() > kLargestRawDataShown) {
      json_.Key(std::string(name) + "Length").Integer(static_cast<std::int64_t>(bytes.size()));
    } else {
      json_.Key(name).Text(Base64(bytes));
    }
    json_.EndObject();
  }

  void Held(const Descriptor& held) { Object(held); }
  void Held(const std::vector<DescriptorValue>& held) {
    json_.BeginArray();
    for (const DescriptorValue& element : held) Value(element);
    json_.EndArray();
  }
  void Held(double held) { json_.Number(held); }
  void Held(bool held) { json_.Boolean(held); }
  void Held(std::int32_t held) { json_.Integer(held); }
  void Held(std::int64_t held) { json_.Integer(held); }
  void Held(const std::string& held) { json_.Text(held); }
  void Held(const UnitFloat& held) {
    json_.BeginObject().Key("unit").Text(held.Unit).Key("value").Number(held.Value).EndObject();
  }
  void Held(const UnitFloats& held) {
    json_.BeginObject().Key("unit").Text(held.Unit).Key("values").BeginArray();
    for (const double number : held.Values) json_.Number(number);
    json_.EndArray().EndObject();
  }
  void Held(const Enumerated& held) {
    json_.BeginObject().Key("type").Text(held.Type).Key("value").Text(held.Value).EndObject();
  }
  void Held(const ClassReference& held) {
    json_.BeginObject().Key("class").Text(held.ClassId).EndObject();
  }
  void Held(const Reference& held) {
    json_.BeginObject().Key("reference").BeginArray();
    for (const ReferenceItem& item : held.Items) {
      json_.BeginObject().Key("form").Text(item.Form).Key("class").Text(item.ClassId);
      if (!item.Key.empty()) json_.Key("key").Text(item.Key);
      if (!item.Value.empty()) json_.Key("value").Text(item.Value);
      if (item.Form == "rele" || item.Form == "Idnt" || item.Form == "indx") {
        json_.Key("number").Integer(item.Number);
      }
      json_.EndObject();
    }
    json_.EndArray().EndObject();
  }
  void Held(const Alias& held) { Bytes("alias", held.Bytes); }
  void Held(const RawData& held) { Bytes("rawData", held.Bytes); }
  void Held(const ObjectArray& held) {
    json_.BeginObject();
    std::set<std::string> keys;
    Member(keys, "_class").Text(held.ClassId);
    Member(keys, "_count").Integer(held.Count);
    Items(held.Items, keys);
    json_.EndObject();
  }
  void Held(const FilePath& held) { json_.BeginObject().Key("path").Text(held.Path).EndObject(); }

  JsonWriter& json_;
};

void LegacyColourJson(JsonWriter& json, const LegacyColour& colour) {
  json.BeginObject().Key("space").Integer(colour.Space).Key("components").BeginArray();
  for (const std::uint16_t component : colour.Components) json.Integer(component);
  json.EndArray().EndObject();
}

void LegacyEffectJson(JsonWriter& json, const LegacyEffect& effect) {
  json.BeginObject();
  json.Key("key").Text(effect.Key);
  json.Key("version").Integer(effect.Version);
  json.Key("enabled").Boolean(effect.Enabled);
  const auto number = [&json](const char* name, const std::optional<double>& value) {
    if (value) json.Key(name).Number(*value);
  };
  const auto byte = [&json](const char* name, const std::optional<std::uint8_t>& value) {
    if (value) json.Key(name).Integer(*value);
  };
  const auto flag = [&json](const char* name, const std::optional<bool>& value) {
    if (value) json.Key(name).Boolean(*value);
  };
  const auto colour = [&json](const char* name, const std::optional<LegacyColour>& value) {
    if (value) LegacyColourJson(json.Key(name), *value);
  };
  const auto blend = [&json](const char* name, const std::string& key) {
    if (!key.empty()) json.Key(name).Text(key);
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
  json.EndObject();
}

}  // namespace

std::string ValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t length = SequenceLength(bytes);
    if (length == 0) {
      out += kReplacement;
      bytes.remove_prefix(1);
    } else {
      out += bytes.substr(0, length);
      bytes.remove_prefix(length);
    }
  }
  return out;
}

std::string DescriptorJsonText(const Descriptor& descriptor) {
  JsonWriter json;
  DescriptorWriter(json).Object(descriptor);
  return json.Take();
}

std::string LegacyEffectsJsonText(const LegacyEffects& effects) {
  JsonWriter json;
  json.BeginObject().Key("version").Integer(effects.Version).Key("effects").BeginArray();
  for (const LegacyEffect& effect : effects.Effects) LegacyEffectJson(json, effect);
  json.EndArray().EndObject();
  return json.Take();
}

}  // namespace v0
}  // namespace plymark
