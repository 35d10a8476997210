#pragma once

#include <cstddef>
#include <functional>

#include "compose/RenderTree.h"
#include "compose/effects/LayerStyle.h"
#include "compose/effects/ShapeFilters.h"

namespace plymark {

// What an effect's coverage is made from: the layer's shape where the effect
// paints, and a way to read the shape anywhere around it.
struct EffectInputs {
  Extent Area;                   ///< document rows and columns painted
  const float* Shape = nullptr;  ///< the layer's shape over Area
  std::size_t Stride = 0;        ///< of Shape and of the coverage written
  /// Copies the shape over a rectangle of the document into a buffer of the
  /// rectangle's width (0 outside the layer): rows of the band, or as far
  /// around it as the layer's effects reach with their offsets.
  std::function<void(const Extent& rect, float* out)> ReadShape;
};

// Where each effect paints and how strongly, 0..1 before its opacity, over
// inputs.Area into `coverage` (inputs.Stride apart). Content and the overlays
// cover the shape itself.
void EffectCoverage(const Effect& effect, const EffectInputs& inputs, float* coverage,
                    FilterScratch& scratch);

// A bevel's highlight and shadow coverage over inputs.Area.
void BevelCoverage(const Effect& effect, const EffectInputs& inputs, float* highlight,
                   float* shadow, FilterScratch& scratch);

}  // namespace plymark
