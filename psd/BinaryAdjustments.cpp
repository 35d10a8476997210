#include "psd/BinaryAdjustments.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "psd/BlockCursor.h"

namespace plymark {
namespace {

// Levels: the composite and up to 28 channels, five fields each.
constexpr int kLevelRecords = 29;
constexpr int kHueRanges = 6;
constexpr int kMixerChannels = 4;
// Selective colour: a first record the maker leaves unused, then nine colours.
constexpr int kSelectiveColours = 9;

DescriptorValue Long(std::int32_t value) {
  return {"long", value};
}
DescriptorValue Flag(bool value) {
  return {"bool", value};
}
DescriptorValue Double(double value) {
  return {"doub", value};
}
DescriptorValue Object(Descriptor object) {
  return {"Objc", std::move(object)};
}
DescriptorValue List(std::vector<DescriptorValue> values) {
  return {"VlLs", std::move(values)};
}

std::int32_t Short(BlockCursor& cursor, std::string_view field) {
  return static_cast<std::int16_t>(cursor.UInt16(field));
}

// `names.size()` signed 16-bit fields as an object of class `classId`.
template <std::size_t N>
Descriptor Shorts(BlockCursor& cursor, const char* classId,
                  const std::array<const char*, N>& names) {
  Descriptor object{{}, classId, {}};
  for (const char* name : names) object.Items.push_back({name, Long(Short(cursor, name))});
  return object;
}

double Float(BlockCursor& cursor, std::string_view field) {
  const std::uint32_t bits = cursor.UInt32(field);
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void ReadFields(std::string_view key, BlockCursor& cursor, std::vector<DescriptorItem>& items) {
  const auto add = [&items](const char* name, DescriptorValue value) {
    items.push_back({name, std::move(value)});
  };
  if (key == "brit") {
    add("brightness", Long(Short(cursor, "brightness")));
    add("contrast", Long(Short(cursor, "contrast")));
    add("mean", Long(Short(cursor, "mean")));
    add("labOnly", Flag(cursor.UInt8("Lab only") != 0));
  } else if (key == "levl") {
    add("version", Long(Short(cursor, "version")));
    std::vector<DescriptorValue> records;
    for (int k = 0; k < kLevelRecords && cursor.Left() >= 10; ++k) {
      records.push_back(Object(Shorts(
          cursor, "LvlR",
          std::array{"inputFloor", "inputCeiling", "outputFloor", "outputCeiling", "gamma"})));
    }
    add("records", List(std::move(records)));
  } else if (key == "hue2" || key == "hue ") {
    add("version", Long(Short(cursor, "version")));
    add("colorize", Flag(cursor.UInt8("colorize") != 0));
    cursor.Skip(1, "padding");
    const std::array<const char*, 3> hsl = {"hue", "saturation", "lightness"};
    add("colorization", Object(Shorts(cursor, "HStL", hsl)));
    add("master", Object(Shorts(cursor, "HStL", hsl)));
    std::vector<DescriptorValue> ranges;
    for (int k = 0; k < kHueRanges; ++k) {
      ranges.push_back(Object(Shorts(
          cursor, "HRng",
          std::array{"begin", "beginRamp", "endRamp", "end", "hue", "saturation", "lightness"})));
    }
    add("ranges", List(std::move(ranges)));
  } else if (key == "expA") {
    add("version", Long(Short(cursor, "version")));
    add("exposure", Double(Float(cursor, "exposure")));
    add("offset", Double(Float(cursor, "offset")));
    add("gamma", Double(Float(cursor, "gamma")));
  } else if (key == "post") {
    add("levels", Long(Short(cursor, "levels")));
  } else if (key == "thrs") {
    add("level", Long(Short(cursor, "level")));
  } else if (key == "blnc") {
    const std::array<const char*, 3> axes = {"cyanRed", "magentaGreen", "yellowBlue"};
    for (const char* range : {"shadows", "midtones", "highlights"}) {
      std::vector<DescriptorValue> values;
      for (const char* axis : axes) values.push_back(Long(Short(cursor, axis)));
      add(range, List(std::move(values)));
    }
    add("preserveLuminosity", Flag(cursor.UInt8("preserve luminosity") != 0));
  } else if (key == "phfl") {
    const std::int32_t version = Short(cursor, "version");
    add("version", Long(version));
    Descriptor colour;
    if (version == 3) {
      colour.ClassId = "XYZ ";
      for (const char* axis : {"x", "y", "z"}) {
        colour.Items.push_back({axis, Long(cursor.Int32(axis))});
      }
    } else {
      colour.ClassId = "space " + std::to_string(Short(cursor, "colour space"));
      for (const char* component : {"component0", "component1", "component2", "component3"}) {
        colour.Items.push_back({component, Long(cursor.UInt16(component))});
      }
    }
    add("color", Object(std::move(colour)));
    add("density", Long(cursor.Int32("density")));
    add("preserveLuminosity", Flag(cursor.UInt8("preserve luminosity") != 0));
  } else if (key == "mixr") {
    add("version", Long(Short(cursor, "version")));
    add("monochrome", Flag(Short(cursor, "monochrome") != 0));
    std::vector<DescriptorValue> channels;
    for (int k = 0; k < kMixerChannels && cursor.Left() >= 10; ++k) {
      Descriptor channel{{}, "ChMx", {}};
      std::vector<DescriptorValue> sources;
      for (int source = 0; source < 4; ++source) sources.push_back(Long(Short(cursor, "source")));
      channel.Items.push_back({"sources", List(std::move(sources))});
      channel.Items.push_back({"constant", Long(Short(cursor, "constant"))});
      channels.push_back(Object(std::move(channel)));
    }
    add("channels", List(std::move(channels)));
  } else if (key == "selc") {
    add("version", Long(Short(cursor, "version")));
    add("method", Long(Short(cursor, "method")));
    cursor.Skip(8, "unused record");
    std::vector<DescriptorValue> colours;
    for (int k = 0; k < kSelectiveColours; ++k) {
      colours.push_back(
          Object(Shorts(cursor, "SlcC", std::array{"cyan", "magenta", "yellow", "black"})));
    }
    add("colors", List(std::move(colours)));
  }
}

}  // namespace

std::optional<Descriptor> ReadBinaryAdjustment(std::string_view key, BlockCursor& cursor) {
  static constexpr std::array<std::string_view, 12> kKeys = {"brit", "levl", "hue2", "hue ",
                                                             "expA", "nvrt", "post", "thrs",
                                                             "blnc", "phfl", "mixr", "selc"};
  if (std::find(kKeys.begin(), kKeys.end(), key) == kKeys.end()) {
    return std::nullopt;
  }
  Descriptor settings{{}, std::string(key), {}};
  ReadFields(key, cursor, settings.Items);
  return settings;
}

}  // namespace plymark
