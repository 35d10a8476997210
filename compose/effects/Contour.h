#pragma once

#include <array>
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
  float operator()(float value) const;

 private:
  static constexpr int kEntries = 256;
  bool linear_ = true;
  std::array<float, kEntries + 1> table_{};
};

}  // namespace plymark
