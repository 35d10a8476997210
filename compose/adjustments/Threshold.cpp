#include <algorithm>

#include "compose/BlendFormulas.h"
#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/BinaryAdjustments.h"

namespace plymark::adjustments {
namespace {

// White where the pixel's luminance (0.30, 0.59, 0.11, as the blend modes
// weigh it; a grey document's tone) reaches the level, black below
// (measured: exact at 8 bits for levels 1, 128 and 255). The small margin
// keeps a level of 255 for white against float rounding.
class Threshold final : public Adjustment {
 public:
  explicit Threshold(int level) : level_(static_cast<float>(level) - 1e-3f) {}
  void Apply(std::span<float* const> channels, std::size_t count) const override {
    if (channels.empty()) return;
    const bool colour = channels.size() >= 3;
    for (std::size_t i = 0; i < count; ++i) {
      float tone = channels[0][i];
      if (colour) {
        const float rgb[3] = {channels[0][i], channels[1][i], channels[2][i]};
        tone = blend::Lum(rgb);
      }
      const float out = tone * 255.0f >= level_ ? 1.0f : 0.0f;
      for (float* plane : channels) plane[i] = out;
    }
  }

 private:
  float level_;
};

}  // namespace

AdjustmentRead ReadThreshold(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const int level = std::clamp<int>(ReadThresholdLevel(cursor), 1, 255);
  if (space.ColorMode != color_mode::kRgb && !IsOneTone(space.ColorMode)) {
    return NotDrawnIn("threshold", space);
  }
  return {std::make_unique<Threshold>(level), {}};
}

}  // namespace plymark::adjustments
