#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

namespace plymark::adjustments {

// Pixel `i` of the first three planes, clamped to 0..1 with NaN as 0, for the
// adjustments whose formulas need an RGB colour in range.
inline void ClampedRgb(std::span<float* const> channels, std::size_t i, float (&rgb)[3]) {
  for (std::size_t c = 0; c < 3; ++c) {
    const float v = channels[c][i];
    rgb[c] = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
  }
}

}  // namespace plymark::adjustments
