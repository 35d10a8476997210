#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "compose/Adjustments.h"
#include "compose/Paint.h"
#include "psd/Descriptor.h"

namespace plymark {

// How a gradient mixes the colours between its stops
// ('gradientsInterpolationMethod'; older files name none and mean Classic).
enum class GradientMethod {
  Classic,     ///< 'Gcls': the document's values, eased by the smoothness
  Perceptual,  ///< 'Perc': Oklab, eased by the smoothness
  Linear,      ///< 'Lnr ': linear light, eased by the smoothness
  Smooth,      ///< 'Smoo': Oklab along a gentler curve of its own
  Stripes,     ///< 'GIMs': each stop's colour up to the next stop
};

// One stop of a gradient: where it lies (0..1), where between the stop
// before it and itself the mix is even (0..1 of the way), and its colour in
// the document's space or, for a transparency stop, its opacity in Values[0].
struct GradientStop {
  double Location = 0;
  double Midpoint = 0.5;
  SpaceColour Values;
};

struct GradientStops {
  std::vector<GradientStop> Colours;    ///< sorted by location
  std::vector<GradientStop> Opacities;  ///< sorted by location
  double Smoothness = 1;                ///< 'Intr' / 4096
  GradientMethod Method = GradientMethod::Classic;
};

struct GradientStopsRead {
  std::optional<GradientStops> Stops;
  std::string Problem;  ///< why not, when there are none
};

// The method a settings descriptor names in 'gradientsInterpolationMethod'
// (a layer effect's in 'gs99').
GradientMethod GradientMethodOf(const Descriptor& settings);

// Reads a 'Grdn' gradient object: its colour stops ('Clrs'), transparency
// stops ('Trns') and smoothness ('Intr'). A noise gradient ('ClNs') or one
// without colour stops is not read.
GradientStopsRead ReadGradientStops(const Descriptor& gradient, GradientMethod method,
                                    const AdjustmentSpace& space);

// A gradient sampled once into a table of colours and opacities, looked up
// by the position along it.
class GradientRamp {
 public:
  static constexpr int kEntries = 4096;

  GradientRamp(const GradientStops& stops, const AdjustmentSpace& space);

  // The entry of position `t` (clamped to 0..1).
  static int Index(float t) {
    const float scaled = t * (kEntries - 1) + 0.5f;
    return scaled <= 0.0f ? 0 : (scaled >= kEntries - 1 ? kEntries - 1 : static_cast<int>(scaled));
  }
  float Colour(int entry, int channel) const {
    return colours_[static_cast<std::size_t>(entry * channels_ + channel)];
  }
  float Opacity(int entry) const { return opacities_[static_cast<std::size_t>(entry)]; }
  int Channels() const { return channels_; }

 private:
  int channels_;
  std::vector<float> colours_;
  std::vector<float> opacities_;
};

}  // namespace plymark
