#pragma once

#include <array>
#include <cstdint>

#include "compose/effects/LayerStyle.h"

namespace plymark {

// Where an effect moves the layer's shape: shadows and satin follow the
// light's angle by their distance, in whole pixels.
struct ShapeOffset {
  std::int32_t X = 0;
  std::int32_t Y = 0;
};
ShapeOffset OffsetOf(const Effect& effect);

// The maker's softer edges, measured on its drop shadows and glows: close to
// three box blurs, each about 0.82 times the blurred size wide.
struct BoxBlur {
  std::array<std::int32_t, 3> Widths{};  ///< odd widths, 1 for none
  std::int32_t Radius = 0;               ///< how far the three reach together
};
BoxBlur BlurOf(float size);

// How many pixels of shape on each side of a pixel its effect reads, around
// the shape's offset.
std::int32_t InputRadiusOf(const Effect& effect);

// How far the effect paints beyond the layer's shape.
std::int32_t ReachOf(const Effect& effect);

}  // namespace plymark
