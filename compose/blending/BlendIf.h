#pragma once

#include <array>

#include "compose/BlendRows.h"
#include "compose/blending/BlendingOptions.h"

namespace plymark {

// How a document's colours give the grey that the composite blend-if range
// reads: RGB's luminosity, CMYK's through its inks, the first channel of the
// others (grey, Lab's lightness).
enum class GreyOf { Luminosity, Inks, FirstChannel };

GreyOf GreyOfColorMode(std::int16_t colorMode);

// Multiplies `coverage` over `area` by what the ranges let through: each
// range of "this layer" weighs the source's value, each "underlying" range
// the backdrop's, and the weights multiply. Values are compared in the
// record's 0..255 steps (32-bit samples clamped to 0..1 first).
void ApplyBlendIf(const BlendIfRanges& ranges, GreyOf grey, int channels,
                  const std::array<const float*, 4>& source,
                  const std::array<const float*, 4>& underlying, float* coverage,
                  const BandArea& area);

}  // namespace plymark
