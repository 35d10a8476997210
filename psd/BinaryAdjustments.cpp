#include "psd/BinaryAdjustments.h"

#include <algorithm>
#include <cstring>

#include "psd/BlockCursor.h"

namespace plymark {
namespace {

// Levels: the composite and up to 28 channels, five fields each.
constexpr int kLevelRecords = 29;
constexpr int kMixerChannels = 4;

std::int16_t Short(BlockCursor& cursor, std::string_view field) {
  return static_cast<std::int16_t>(cursor.UInt16(field));
}

float Float(BlockCursor& cursor, std::string_view field) {
  const std::uint32_t bits = cursor.UInt32(field);
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

HueShiftFields ReadShift(BlockCursor& cursor) {
  HueShiftFields shift;
  shift.Hue = Short(cursor, "hue");
  shift.Saturation = Short(cursor, "saturation");
  shift.Lightness = Short(cursor, "lightness");
  return shift;
}

// The descriptor face of each kind's fields.
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
template <typename T, std::size_t N>
DescriptorValue Longs(const std::array<T, N>& values) {
  std::vector<DescriptorValue> list;
  for (const T value : values) list.push_back(Long(value));
  return List(std::move(list));
}
Descriptor Shift(const HueShiftFields& shift) {
  return {{},
          "HStL",
          {{"hue", Long(shift.Hue)},
           {"saturation", Long(shift.Saturation)},
           {"lightness", Long(shift.Lightness)}}};
}

void Describe(std::string_view key, BlockCursor& cursor, std::vector<DescriptorItem>& items) {
  const auto add = [&items](const char* name, DescriptorValue value) {
    items.push_back({name, std::move(value)});
  };
  if (key == "brit") {
    const BrightnessFields fields = ReadBrightnessFields(cursor);
    add("brightness", Long(fields.Brightness));
    add("contrast", Long(fields.Contrast));
    add("mean", Long(fields.Mean));
    add("labOnly", Flag(fields.LabOnly));
  } else if (key == "levl") {
    const LevelsFields fields = ReadLevelsFields(cursor);
    add("version", Long(fields.Version));
    std::vector<DescriptorValue> records;
    for (const LevelsRecord& record : fields.Records) {
      records.push_back(Object({{},
                                "LvlR",
                                {{"inputFloor", Long(record.InputFloor)},
                                 {"inputCeiling", Long(record.InputCeiling)},
                                 {"outputFloor", Long(record.OutputFloor)},
                                 {"outputCeiling", Long(record.OutputCeiling)},
                                 {"gamma", Long(record.Gamma)}}}));
    }
    add("records", List(std::move(records)));
  } else if (key == "hue2" || key == "hue ") {
    const HueSaturationFields fields = ReadHueSaturationFields(cursor);
    add("version", Long(fields.Version));
    add("colorize", Flag(fields.Colorize));
    add("colorization", Object(Shift(fields.Colorization)));
    add("master", Object(Shift(fields.Master)));
    std::vector<DescriptorValue> ranges;
    for (const HueRangeFields& range : fields.Ranges) {
      Descriptor object{{},
                        "HRng",
                        {{"begin", Long(range.Begin)},
                         {"beginRamp", Long(range.BeginRamp)},
                         {"endRamp", Long(range.EndRamp)},
                         {"end", Long(range.End)}}};
      for (DescriptorItem& item : Shift(range.Shift).Items) object.Items.push_back(std::move(item));
      ranges.push_back(Object(std::move(object)));
    }
    add("ranges", List(std::move(ranges)));
  } else if (key == "expA") {
    const ExposureFields fields = ReadExposureFields(cursor);
    add("version", Long(fields.Version));
    add("exposure", Double(fields.Exposure));
    add("offset", Double(fields.Offset));
    add("gamma", Double(fields.Gamma));
  } else if (key == "post") {
    add("levels", Long(ReadPosterizeLevels(cursor)));
  } else if (key == "thrs") {
    add("level", Long(ReadThresholdLevel(cursor)));
  } else if (key == "blnc") {
    const ColourBalanceFields fields = ReadColourBalanceFields(cursor);
    add("shadows", Longs(fields.Ranges[0]));
    add("midtones", Longs(fields.Ranges[1]));
    add("highlights", Longs(fields.Ranges[2]));
    add("preserveLuminosity", Flag(fields.PreserveLuminosity));
  } else if (key == "phfl") {
    const PhotoFilterFields fields = ReadPhotoFilterFields(cursor);
    add("version", Long(fields.Version));
    Descriptor colour;
    if (fields.Version == 3) {
      colour.ClassId = "XYZ ";
      colour.Items = {
          {"x", Long(fields.Xyz[0])}, {"y", Long(fields.Xyz[1])}, {"z", Long(fields.Xyz[2])}};
    } else {
      colour.ClassId = "space " + std::to_string(fields.ColourSpace);
      for (std::size_t k = 0; k < fields.Components.size(); ++k) {
        colour.Items.push_back({"component" + std::to_string(k), Long(fields.Components[k])});
      }
    }
    add("color", Object(std::move(colour)));
    add("density", Long(fields.Density));
    add("preserveLuminosity", Flag(fields.PreserveLuminosity));
  } else if (key == "mixr") {
    const ChannelMixerFields fields = ReadChannelMixerFields(cursor);
    add("version", Long(fields.Version));
    add("monochrome", Flag(fields.Monochrome));
    std::vector<DescriptorValue> channels;
    for (const MixerChannelFields& channel : fields.Channels) {
      channels.push_back(
          Object({{},
                  "ChMx",
                  {{"sources", Longs(channel.Sources)}, {"constant", Long(channel.Constant)}}}));
    }
    add("channels", List(std::move(channels)));
  } else if (key == "selc") {
    const SelectiveColourFields fields = ReadSelectiveColourFields(cursor);
    add("version", Long(fields.Version));
    add("method", Long(fields.Method));
    std::vector<DescriptorValue> colours;
    for (const auto& colour : fields.Colours) {
      colours.push_back(Object({{},
                                "SlcC",
                                {{"cyan", Long(colour[0])},
                                 {"magenta", Long(colour[1])},
                                 {"yellow", Long(colour[2])},
                                 {"black", Long(colour[3])}}}));
    }
    add("colors", List(std::move(colours)));
  }
}

}  // namespace

BrightnessFields ReadBrightnessFields(BlockCursor& cursor) {
  BrightnessFields fields;
  fields.Brightness = Short(cursor, "brightness");
  fields.Contrast = Short(cursor, "contrast");
  fields.Mean = Short(cursor, "mean");
  fields.LabOnly = cursor.UInt8("Lab only") != 0;
  return fields;
}

LevelsFields ReadLevelsFields(BlockCursor& cursor) {
  LevelsFields fields;
  fields.Version = Short(cursor, "version");
  for (int k = 0; k < kLevelRecords && cursor.Left() >= 10; ++k) {
    LevelsRecord record;
    record.InputFloor = Short(cursor, "inputFloor");
    record.InputCeiling = Short(cursor, "inputCeiling");
    record.OutputFloor = Short(cursor, "outputFloor");
    record.OutputCeiling = Short(cursor, "outputCeiling");
    record.Gamma = Short(cursor, "gamma");
    fields.Records.push_back(record);
  }
  return fields;
}

HueSaturationFields ReadHueSaturationFields(BlockCursor& cursor) {
  HueSaturationFields fields;
  fields.Version = Short(cursor, "version");
  fields.Colorize = cursor.UInt8("colorize") != 0;
  cursor.Skip(1, "padding");
  fields.Colorization = ReadShift(cursor);
  fields.Master = ReadShift(cursor);
  for (HueRangeFields& range : fields.Ranges) {
    range.Begin = Short(cursor, "begin");
    range.BeginRamp = Short(cursor, "beginRamp");
    range.EndRamp = Short(cursor, "endRamp");
    range.End = Short(cursor, "end");
    range.Shift = ReadShift(cursor);
  }
  return fields;
}

ExposureFields ReadExposureFields(BlockCursor& cursor) {
  ExposureFields fields;
  fields.Version = Short(cursor, "version");
  fields.Exposure = Float(cursor, "exposure");
  fields.Offset = Float(cursor, "offset");
  fields.Gamma = Float(cursor, "gamma");
  return fields;
}

std::int16_t ReadPosterizeLevels(BlockCursor& cursor) {
  return Short(cursor, "levels");
}

std::int16_t ReadThresholdLevel(BlockCursor& cursor) {
  return Short(cursor, "level");
}

ColourBalanceFields ReadColourBalanceFields(BlockCursor& cursor) {
  ColourBalanceFields fields;
  for (auto& range : fields.Ranges) {
    range[0] = Short(cursor, "cyanRed");
    range[1] = Short(cursor, "magentaGreen");
    range[2] = Short(cursor, "yellowBlue");
  }
  fields.PreserveLuminosity = cursor.UInt8("preserve luminosity") != 0;
  return fields;
}

PhotoFilterFields ReadPhotoFilterFields(BlockCursor& cursor) {
  PhotoFilterFields fields;
  fields.Version = Short(cursor, "version");
  if (fields.Version == 3) {
    fields.Xyz[0] = cursor.Int32("x");
    fields.Xyz[1] = cursor.Int32("y");
    fields.Xyz[2] = cursor.Int32("z");
  } else {
    fields.ColourSpace = Short(cursor, "colour space");
    for (std::size_t k = 0; k < fields.Components.size(); ++k) {
      fields.Components[k] = cursor.UInt16("component" + std::to_string(k));
    }
  }
  fields.Density = cursor.Int32("density");
  fields.PreserveLuminosity = cursor.UInt8("preserve luminosity") != 0;
  return fields;
}

ChannelMixerFields ReadChannelMixerFields(BlockCursor& cursor) {
  ChannelMixerFields fields;
  fields.Version = Short(cursor, "version");
  fields.Monochrome = Short(cursor, "monochrome") != 0;
  for (int k = 0; k < kMixerChannels && cursor.Left() >= 10; ++k) {
    MixerChannelFields channel;
    for (std::int16_t& source : channel.Sources) source = Short(cursor, "source");
    channel.Constant = Short(cursor, "constant");
    fields.Channels.push_back(channel);
  }
  return fields;
}

SelectiveColourFields ReadSelectiveColourFields(BlockCursor& cursor) {
  SelectiveColourFields fields;
  fields.Version = Short(cursor, "version");
  fields.Method = Short(cursor, "method");
  // A first record the maker leaves unused, then the nine colours.
  cursor.Skip(8, "unused record");
  for (auto& colour : fields.Colours) {
    colour[0] = Short(cursor, "cyan");
    colour[1] = Short(cursor, "magenta");
    colour[2] = Short(cursor, "yellow");
    colour[3] = Short(cursor, "black");
  }
  return fields;
}

std::optional<Descriptor> ReadBinaryAdjustment(std::string_view key, BlockCursor& cursor) {
  static constexpr std::array<std::string_view, 12> kKeys = {"brit", "levl", "hue2", "hue ",
                                                             "expA", "nvrt", "post", "thrs",
                                                             "blnc", "phfl", "mixr", "selc"};
  if (std::find(kKeys.begin(), kKeys.end(), key) == kKeys.end()) {
    return std::nullopt;
  }
  Descriptor settings{{}, std::string(key), {}};
  Describe(key, cursor, settings.Items);
  return settings;
}

}  // namespace plymark
