#include <algorithm>
#include <cmath>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ChannelTables.h"
#include "compose/adjustments/NaturalSpline.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/BinaryAdjustments.h"
#include "psd/Descriptor.h"

namespace plymark::adjustments {
namespace {

// The dialog's ranges.
constexpr float kLargestBrightness = 150.0f;
constexpr float kLowestContrast = -50.0f;
constexpr float kLargestContrast = 100.0f;

bool Drawable(const AdjustmentSpace& space) {
  return space.ColorMode == color_mode::kRgb || space.ColorMode == color_mode::kCmyk ||
         IsOneTone(space.ColorMode);
}

AdjustmentRead SameTableForEach(std::vector<float> table, const AdjustmentSpace& space) {
  return {std::make_unique<ChannelTables>(std::vector<std::vector<float>>(
              static_cast<std::size_t>(space.ColourChannels), std::move(table))),
          {}};
}

// Before CS3 ("Use Legacy" since): brightness adds to every channel, contrast
// stretches about the mean level, by 1 / (1 - c) for a contrast c above 0 (a
// threshold at 100) and 1 + c below; a raised contrast acts after the
// brightness, a lowered one before it. No file of the development corpus
// holds legacy values other than zeros.
AdjustmentRead LegacyBrightnessContrast(int brightnessLevels, int contrastPercent, int meanLevel,
                                        const AdjustmentSpace& space) {
  if (!Drawable(space)) return NotDrawnIn("brightness/contrast", space);
  const float brightness = static_cast<float>(std::clamp(brightnessLevels, -150, 150)) / 255.0f;
  const float contrast = static_cast<float>(std::clamp(contrastPercent, -100, 100)) / 100.0f;
  const float mean = static_cast<float>(std::clamp(meanLevel, 0, 255)) / 255.0f;
  auto stretch = [&](float v) {
    if (contrast >= 1.0f) return v >= mean ? 1.0f : 0.0f;
    const float slope = contrast > 0.0f ? 1.0f / (1.0f - contrast) : 1.0f + contrast;
    return std::clamp(mean + (v - mean) * slope, 0.0f, 1.0f);
  };
  return SameTableForEach(
      SampleToneTable(ToneTableIntervals(space.Depth),
                      [&](float v) {
                        if (contrast > 0.0f) {
                          return stretch(std::clamp(v + brightness, 0.0f, 1.0f));
                        }
                        return std::clamp(stretch(v) + brightness, 0.0f, 1.0f);
                      }),
      space);
}

// Brightness +150 as the maker draws it since CS3, measured on its 8-bit
// merged images (within 2/255): a gain of 2.6 in the shadows that rolls off
// smoothly into white.
float FullBrightness(float x) {
  constexpr float kGain = 2.605f;
  constexpr float kRollOff = 4.117f;
  auto curve = [&](float v) {
    return kGain * v / std::pow(1.0f + std::pow(kGain * v, kRollOff), 1.0f / kRollOff);
  };
  return curve(x) / curve(1.0f);
}

// Brightness b (0..150) moves each level b / 150 of the way to
// FullBrightness. The maker's -150 is the exact inverse of its +150, so a
// lowered brightness is the inverse of the raised one.
float Brighten(float x, float amount) {
  return x + amount * (FullBrightness(x) - x);
}
float Darken(float y, float amount) {
  float low = 0.0f;
  float high = 1.0f;
  for (int step = 0; step < 24; ++step) {
    const float middle = (low + high) / 2.0f;
    (Brighten(middle, amount) < y ? low : high) = middle;
  }
  return (low + high) / 2.0f;
}

// Contrast as a curve through (64, 64 - c / 4) and (192, 192 + c / 4),
// measured on the maker's merged images within 2/255 for -50 and 100.
NaturalSpline ContrastCurve(float contrast) {
  const float shift = contrast / 4.0f;
  return NaturalSpline(
      {{0.0f, 0.0f}, {64.0f, 64.0f - shift}, {192.0f, 192.0f + shift}, {255.0f, 255.0f}});
}

}  // namespace

AdjustmentRead ReadLegacyBrightnessContrast(std::span<const std::uint8_t> data,
                                            const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const BrightnessFields fields = ReadBrightnessFields(cursor);
  return LegacyBrightnessContrast(fields.Brightness, fields.Contrast, fields.Mean, space);
}

// The `CgEd` descriptor: brightness 'Brgh' (-150..150), contrast 'Cntr'
// (-50..100, legacy -100..100), 'useLegacy' and the legacy mean 'means'.
// Brightness acts first, then contrast (the order has no measure).
AdjustmentRead ReadBrightnessContrast(std::span<const std::uint8_t> data,
                                      const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const Descriptor settings = ReadVersionedDescriptor(cursor);
  auto whole = [&](const char* key, double otherwise) {
    const double value = settings.Number(key).value_or(otherwise);
    return std::isfinite(value) ? static_cast<int>(std::clamp(value, -1000.0, 1000.0)) : 0;
  };
  const int brightness = whole("Brgh", 0);
  const int contrast = whole("Cntr", 0);
  if (settings.Boolean("useLegacy").value_or(false)) {
    return LegacyBrightnessContrast(brightness, contrast, whole("means", 127), space);
  }
  if (!Drawable(space)) return NotDrawnIn("brightness/contrast", space);

  const float amount =
      std::clamp(static_cast<float>(brightness), -kLargestBrightness, kLargestBrightness) /
      kLargestBrightness;
  const NaturalSpline contrastCurve =
      ContrastCurve(std::clamp(static_cast<float>(contrast), kLowestContrast, kLargestContrast));
  return SameTableForEach(SampleToneTable(ToneTableIntervals(space.Depth),
                                          [&](float v) {
                                            const float bright = amount >= 0.0f
                                                                     ? Brighten(v, amount)
                                                                     : Darken(v, -amount);
                                            return contrastCurve(bright * 255.0f) / 255.0f;
                                          }),
                          space);
}

}  // namespace plymark::adjustments
