#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>

#include "psd/Descriptor.h"

namespace plymark {

// An effect's contour ('TrnS', 'MpgS', a 'ShpC' object): a curve that maps
// the effect's shape, 0..1, to its opacity. Linear (the default) changes
// nothing.
class Contour {
 public:
  Contour() = default;

  // The curve of a 'ShpC' object: its 'Crv ' points (each 'Hrzn' and 'Vrtc'
  // 0..255, 'Cnty' false for a corner), a smooth curve through them.
  // Nothing when the points cannot make a curve.
  static std::optional<Contour> Read(const Descriptor& shape);

  bool Linear() const { return linear_; }
  // Inline: effects call it once a pixel.
  float operator()(float value) const {
    if (linear_) return value;
    const float at = std::clamp(value, 0.0f, 1.0f) * 255.0f;
    const auto index = static_cast<std::size_t>(at);
    const float t = at - static_cast<float>(index);
    return table_[index] + t * (table_[index + 1] - table_[index]);
  }

 private:
  static constexpr int kEntries = 256;
  bool linear_ = true;
  std::array<float, kEntries + 1> table_{};
};

}  // namespace plymark
