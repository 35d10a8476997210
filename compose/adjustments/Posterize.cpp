#include <algorithm>
#include <cmath>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/BinaryAdjustments.h"

namespace plymark::adjustments {
namespace {

// Each channel cut into `levels` equal bands, each drawn at its own level
// spread evenly over 0..1 (measured: exact at 8 bits, where level k of n
// holds inputs from 256 k / n on).
class Posterize final : public Adjustment {
 public:
  explicit Posterize(int levels) : levels_(static_cast<float>(levels)) {}
  void Apply(std::span<float* const> channels, std::size_t count) const override {
    for (float* plane : channels) {
      for (std::size_t i = 0; i < count; ++i) {
        const float value = plane[i] > 0.0f ? std::min(plane[i], 1.0f) : 0.0f;  // NaN as 0
        const float band = std::floor(value * levels_);
        plane[i] = std::min(band, levels_ - 1.0f) / (levels_ - 1.0f);
      }
    }
  }

 private:
  float levels_;
};

}  // namespace

AdjustmentRead ReadPosterize(std::span<const std::uint8_t> data, const AdjustmentSpace&) {
  BlockCursor cursor = SettingsCursor(data);
  const int levels = std::clamp<int>(ReadPosterizeLevels(cursor), 2, 255);
  return {std::make_unique<Posterize>(levels), {}};
}

}  // namespace plymark::adjustments
