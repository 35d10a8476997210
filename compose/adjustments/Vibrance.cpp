#include <algorithm>
#include <cmath>

#include "compose/BlendFormulas.h"
#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ReaderSupport.h"
#include "compose/adjustments/RgbPixel.h"
#include "psd/Descriptor.h"

namespace plymark::adjustments {
namespace {

// Each colour's distance from its luminance (0.30, 0.59, 0.11) scaled, the
// luminance kept. Saturation scales every colour alike; vibrance scales the
// dull colours most and leaves the fully saturated ones (saturation (max -
// min) / max) where they are. The development corpus holds vibrance only at
// zero, so the curves are not measured.
class Vibrance final : public Adjustment {
 public:
  Vibrance(float vibrance, float saturation) : vibrance_(vibrance), saturation_(saturation) {}

  void Apply(std::span<float* const> channels, std::size_t count) const override {
    if (channels.size() < 3) return;
    for (std::size_t i = 0; i < count; ++i) {
      float rgb[3];
      ClampedRgb(channels, i, rgb);
      const float high = std::max({rgb[0], rgb[1], rgb[2]});
      const float low = std::min({rgb[0], rgb[1], rgb[2]});
      const float dullness = high > 0.0f ? 1.0f - (high - low) / high : 1.0f;
      const float scale = (1.0f + saturation_) * (1.0f + vibrance_ * dullness);
      const float lum = blend::Lum(rgb);
      for (float& v : rgb) v = lum + (v - lum) * scale;
      blend::ClipColor(rgb);
      for (std::size_t c = 0; c < 3; ++c) channels[c][i] = std::clamp(rgb[c], 0.0f, 1.0f);
    }
  }

 private:
  float vibrance_;    ///< -1..1
  float saturation_;  ///< -1..1
};

}  // namespace

// The `vibA` descriptor: 'vibrance' and 'Strt' (saturation), -100..100,
// absent when zero.
AdjustmentRead ReadVibrance(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const Descriptor settings = ReadVersionedDescriptor(cursor);
  auto percent = [&](const char* key) {
    const double value = settings.Number(key).value_or(0.0);
    return std::isfinite(value) ? static_cast<float>(std::clamp(value, -100.0, 100.0)) / 100.0f
                                : 0.0f;
  };
  const float vibrance = percent("vibrance");
  const float saturation = percent("Strt");
  if (vibrance == 0.0f && saturation == 0.0f) return LeavesAsIs();
  if (space.ColorMode != color_mode::kRgb) return NotDrawnIn("vibrance", space);
  return {std::make_unique<Vibrance>(vibrance, saturation), {}};
}

}  // namespace plymark::adjustments
