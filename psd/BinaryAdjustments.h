#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "psd/Descriptor.h"

namespace plymark {

class BlockCursor;

// The adjustments stored as fixed fields rather than as a descriptor, each
// read once into a plain struct: the compositor draws from these, and
// layers.json gives them a descriptor's face (ReadBinaryAdjustment). Values
// are as stored; what they mean is the drawing's business. Each reader
// throws PsdError when the data is shorter than its fields.

// "brit": brightness/contrast before CS3 (and zeros beside a "CgEd" since).
struct BrightnessFields {
  std::int16_t Brightness = 0;
  std::int16_t Contrast = 0;
  std::int16_t Mean = 0;  ///< the mean level contrast pivots on
  bool LabOnly = false;
};
BrightnessFields ReadBrightnessFields(BlockCursor& cursor);

// "levl": the composite's record, then one per channel.
struct LevelsRecord {
  std::int16_t InputFloor = 0;
  std::int16_t InputCeiling = 255;
  std::int16_t OutputFloor = 0;
  std::int16_t OutputCeiling = 255;
  std::int16_t Gamma = 100;  ///< gamma x 100
};
struct LevelsFields {
  std::int16_t Version = 0;
  std::vector<LevelsRecord> Records;  ///< as many of the 29 as the block holds
};
LevelsFields ReadLevelsFields(BlockCursor& cursor);

// "hue2", "hue ": hue, saturation and lightness shifts.
struct HueShiftFields {
  std::int16_t Hue = 0;
  std::int16_t Saturation = 0;
  std::int16_t Lightness = 0;
};
struct HueRangeFields {
  std::int16_t Begin = 0;      ///< where the fade in starts
  std::int16_t BeginRamp = 0;  ///< where the range proper starts
  std::int16_t EndRamp = 0;    ///< where it ends
  std::int16_t End = 0;        ///< where the fade out ends
  HueShiftFields Shift;
};
struct HueSaturationFields {
  std::int16_t Version = 0;
  bool Colorize = false;
  HueShiftFields Colorization;
  HueShiftFields Master;
  std::array<HueRangeFields, 6> Ranges;
};
HueSaturationFields ReadHueSaturationFields(BlockCursor& cursor);

// "expA": single-precision floats as stored (not checked for finiteness).
struct ExposureFields {
  std::int16_t Version = 0;
  float Exposure = 0;
  float Offset = 0;
  float Gamma = 1;
};
ExposureFields ReadExposureFields(BlockCursor& cursor);

// "post" levels and "thrs" level: one 16-bit number each.
std::int16_t ReadPosterizeLevels(BlockCursor& cursor);
std::int16_t ReadThresholdLevel(BlockCursor& cursor);

// "blnc": for shadows, midtones and highlights, the cyan-red,
// magenta-green and yellow-blue sliders (-100..100).
struct ColourBalanceFields {
  std::array<std::array<std::int16_t, 3>, 3> Ranges{};
  bool PreserveLuminosity = false;
};
ColourBalanceFields ReadColourBalanceFields(BlockCursor& cursor);

// "phfl": version 3 holds the filter colour as XYZ, version 2 as a colour
// space id and four 16-bit components.
struct PhotoFilterFields {
  std::int16_t Version = 0;
  std::array<std::int32_t, 3> Xyz{};  ///< version 3
  std::int16_t ColourSpace = 0;       ///< version 2
  std::array<std::uint16_t, 4> Components{};
  std::int32_t Density = 0;  ///< percent
  bool PreserveLuminosity = false;
};
PhotoFilterFields ReadPhotoFilterFields(BlockCursor& cursor);

// "mixr": per output channel the percentages of the four colour channels it
// takes and a constant (percent).
struct MixerChannelFields {
  std::array<std::int16_t, 4> Sources{};
  std::int16_t Constant = 0;
};
struct ChannelMixerFields {
  std::int16_t Version = 0;
  bool Monochrome = false;
  std::vector<MixerChannelFields> Channels;  ///< as many of the four as the block holds
};
ChannelMixerFields ReadChannelMixerFields(BlockCursor& cursor);

// "selc": cyan, magenta, yellow and black (-100..100) for reds, yellows,
// greens, cyans, blues, magentas, whites, neutrals and blacks.
struct SelectiveColourFields {
  std::int16_t Version = 0;
  std::int16_t Method = 0;  ///< 0 relative, 1 absolute
  std::array<std::array<std::int16_t, 4>, 9> Colours{};
};
SelectiveColourFields ReadSelectiveColourFields(BlockCursor& cursor);

// The fields of adjustment `key` in a descriptor's shape: an object whose
// class is the key and whose items are the fields, named as the format
// describes them:
//   "brit" brightness, contrast, mean (long), labOnly (bool);
//   "levl" version (long), records (list of objects "LvlR": inputFloor,
//     inputCeiling, outputFloor, outputCeiling, gamma (long, gamma x 100));
//   "hue2", "hue " version, colorize (bool), colorization and master (objects
//     "HStL": hue, saturation, lightness), ranges (list of six objects
//     "HRng": begin, beginRamp, endRamp, end, hue, saturation, lightness);
//   "expA" version, exposure, offset, gamma (doub);
//   "nvrt" nothing; "post" levels; "thrs" level (long);
//   "blnc" shadows, midtones, highlights (lists of three: cyan-red,
//     magenta-green, yellow-blue), preserveLuminosity (bool);
//   "phfl" version, colour ("XYZ " object x, y, z; or an object of its
//     colour space and four components), density (long, percent),
//     preserveLuminosity (bool);
//   "mixr" version, monochrome (bool), channels (list of objects "ChMx":
//     sources, the percentages of the four colour channels, and constant);
//   "selc" version, method (long: 0 relative, 1 absolute), colors (list of
//     nine objects "SlcC": cyan, magenta, yellow, black).
// Other keys ("curv", "grdm") give nothing. Throws PsdError when the data is
// shorter than its fields.
std::optional<Descriptor> ReadBinaryAdjustment(std::string_view key, BlockCursor& cursor);

}  // namespace plymark
