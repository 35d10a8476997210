#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ChannelTables.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/BinaryAdjustments.h"

namespace plymark::adjustments {
namespace {

// Hue in degrees, saturation and lightness in -100..100 (colourise: 0..100).
struct HueShift {
  float Hue = 0;
  float Saturation = 0;
  float Lightness = 0;
};

// One of the six colour ranges (reds, yellows, greens, cyans, blues,
// magentas): full strength from Begin to End, fading to nothing towards
// FadeIn and FadeOut, all in degrees of hue and wrapping round the circle.
struct HueRange {
  float FadeIn = 0;
  float Begin = 0;
  float End = 0;
  float FadeOut = 0;
  HueShift Shift;
};

struct HueSaturationSettings {
  bool Colorize = false;
  HueShift Colorization;
  HueShift Master;
  std::array<HueRange, 6> Ranges;
};

float Wrap360(float degrees) {
  const float wrapped = std::fmod(degrees, 360.0f);
  return wrapped < 0.0f ? wrapped + 360.0f : wrapped;
}

// A range's limits laid out in increasing order from its FadeIn, for a
// weight per pixel with one wrap.
struct UnwrappedRange {
  float FadeIn = 0;
  float Begin = 0;
  float End = 0;
  float FadeOut = 0;
  HueShift Shift;

  explicit UnwrappedRange(const HueRange& range)
      : FadeIn(range.FadeIn),
        Begin(FadeIn + Wrap360(range.Begin - range.FadeIn)),
        End(Begin + Wrap360(range.End - range.Begin)),
        FadeOut(End + Wrap360(range.FadeOut - range.End)),
        Shift(range.Shift) {}

  // How much of the range's shift a hue takes, 0 to 1.
  float Weight(float hue) const {
    const float x = FadeIn + Wrap360(hue - FadeIn);
    if (x < Begin) return (x - FadeIn) / (Begin - FadeIn);
    if (x <= End) return 1.0f;
    if (x < FadeOut) return (FadeOut - x) / (FadeOut - End);
    return 0.0f;
  }
};

// Lightness mixes towards white (above 0) or black (below), as the maker's
// -100 and 100 give black and white.
float Lighten(float value, float lightness) {
  return lightness >= 0.0f ? value + (1.0f - value) * lightness / 100.0f
                           : value * (1.0f + lightness / 100.0f);
}

// Saturation scaled about the pixel's HSL lightness: a reduction by s % keeps
// (100 - s) %, a rise divides by (100 - s) % (measured: 100 saturates every
// colour fully, -100 leaves the lightness (max + min) / 2).
float Saturate(float saturation, float change) {
  if (change <= 0.0f) return saturation * (1.0f + change / 100.0f);
  if (change >= 100.0f) return saturation > 0.0f ? 1.0f : 0.0f;
  return std::min(1.0f, saturation / (1.0f - change / 100.0f));
}

// The colour of HSL hue (degrees), saturation and lightness.
void FromHsl(float hue, float saturation, float lightness, float* rgb) {
  const float chroma = (1.0f - std::abs(2.0f * lightness - 1.0f)) * saturation;
  const float sector = Wrap360(hue) / 60.0f;
  const float x = chroma * (1.0f - std::abs(std::fmod(sector, 2.0f) - 1.0f));
  const float m = lightness - chroma / 2.0f;
  const int index = std::min(static_cast<int>(sector), 5);
  constexpr int kOrder[6][3] = {{0, 1, 2}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}, {1, 2, 0}, {0, 2, 1}};
  const float parts[3] = {chroma, x, 0.0f};
  for (int c = 0; c < 3; ++c) rgb[c] = parts[kOrder[index][c]] + m;
}

// Measured on the maker's 8-bit merged images (master hue +-180, saturation
// +-100, lightness +-100, colourise): within 1/255 but for one value in 8000.
// The colour ranges have no measure: their shifts are added to the master's
// by each range's weight at the pixel's own hue.
class HueSaturation final : public Adjustment {
 public:
  explicit HueSaturation(const HueSaturationSettings& settings) : settings_(settings) {
    for (const HueRange& range : settings.Ranges) {
      const HueShift& shift = range.Shift;
      if (shift.Hue != 0.0f || shift.Saturation != 0.0f || shift.Lightness != 0.0f) {
        ranges_.emplace_back(range);
      }
    }
  }

  void Apply(std::span<float* const> channels, std::size_t count) const override {
    if (channels.size() < 3) return;
    for (std::size_t i = 0; i < count; ++i) {
      float rgb[3];
      for (int c = 0; c < 3; ++c) {
        const float v = channels[static_cast<std::size_t>(c)][i];
        rgb[c] = std::isnan(v) ? 0.0f : v;
      }
      Map(rgb);
      for (int c = 0; c < 3; ++c) channels[static_cast<std::size_t>(c)][i] = rgb[c];
    }
  }

 private:
  void Map(float* rgb) const {
    const float high = std::max({rgb[0], rgb[1], rgb[2]});
    const float low = std::min({rgb[0], rgb[1], rgb[2]});
    const float lightness = (high + low) / 2.0f;
    const float chroma = high - low;
    const float room = 1.0f - std::abs(2.0f * lightness - 1.0f);
    HueShift shift = settings_.Colorize ? settings_.Colorization : settings_.Master;
    if (settings_.Colorize && room > 0.0f) {
      FromHsl(shift.Hue, shift.Saturation / 100.0f, lightness, rgb);
    } else if (!settings_.Colorize && chroma > 0.0f && room > 0.0f) {
      float hue = 0.0f;
      if (high == rgb[0]) {
        hue = Wrap360(60.0f * (rgb[1] - rgb[2]) / chroma);
      } else if (high == rgb[1]) {
        hue = 60.0f * ((rgb[2] - rgb[0]) / chroma + 2.0f);
      } else {
        hue = 60.0f * ((rgb[0] - rgb[1]) / chroma + 4.0f);
      }
      for (const UnwrappedRange& range : ranges_) {
        const float weight = range.Weight(hue);
        shift.Hue += weight * range.Shift.Hue;
        shift.Saturation += weight * range.Shift.Saturation;
        shift.Lightness += weight * range.Shift.Lightness;
      }
      if (shift.Hue != 0.0f || shift.Saturation != 0.0f) {
        const float saturation =
            Saturate(std::min(1.0f, chroma / room), std::clamp(shift.Saturation, -100.0f, 100.0f));
        FromHsl(hue + shift.Hue, saturation, lightness, rgb);
      }
    }
    const float light = std::clamp(shift.Lightness, -100.0f, 100.0f);
    if (light != 0.0f) {
      for (int c = 0; c < 3; ++c) rgb[c] = Lighten(rgb[c], light);
    }
  }

  HueSaturationSettings settings_;
  std::vector<UnwrappedRange> ranges_;  ///< those that shift anything
};

HueShift ToShift(const HueShiftFields& stored) {
  return {static_cast<float>(stored.Hue), static_cast<float>(stored.Saturation),
          static_cast<float>(stored.Lightness)};
}

}  // namespace

// The version 2 block (since Photoshop 5): version, colourise flag and a pad
// byte, the colourisation's and the master's hue, saturation and lightness,
// then the six ranges, each four limits and its shift. Some writers add six
// more values behind; they are not needed.
AdjustmentRead ReadHueSaturation(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const HueSaturationFields fields = ReadHueSaturationFields(cursor);
  if (fields.Version != 2) return UnknownVersion("hue/saturation", fields.Version);
  HueSaturationSettings settings;
  settings.Colorize = fields.Colorize;
  settings.Colorization = ToShift(fields.Colorization);
  settings.Master = ToShift(fields.Master);
  for (std::size_t k = 0; k < settings.Ranges.size(); ++k) {
    const HueRangeFields& stored = fields.Ranges[k];
    settings.Ranges[k] = {static_cast<float>(stored.Begin), static_cast<float>(stored.BeginRamp),
                          static_cast<float>(stored.EndRamp), static_cast<float>(stored.End),
                          ToShift(stored.Shift)};
  }

  // CMYK's stored (inverted) inks act as red, green and blue; black stays.
  if (space.ColorMode == color_mode::kRgb || space.ColorMode == color_mode::kCmyk) {
    return {std::make_unique<HueSaturation>(settings), {}};
  }
  // A grey document has no hue: only the lightness acts.
  if (IsOneTone(space.ColorMode)) {
    const float light = std::clamp(
        (settings.Colorize ? settings.Colorization : settings.Master).Lightness, -100.0f, 100.0f);
    return {std::make_unique<ChannelTables>(std::vector<std::vector<float>>{SampleToneTable(
                ToneTableIntervals(space.Depth), [&](float v) { return Lighten(v, light); })}),
            {}};
  }
  return NotDrawnIn("hue/saturation", space);
}

}  // namespace plymark::adjustments
