#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "compose/effects/EffectGeometry.h"

namespace plymark {

// A rectangle of floats: Height rows of Width values, Stride apart.
struct PlaneView {
  float* Data = nullptr;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::size_t Stride = 0;
  float* Row(std::int32_t y) const { return Data + static_cast<std::size_t>(y) * Stride; }
};

class HelperThread;  // compose/HelperThread.h

// Buffers the filters take, reused from call to call.
struct FilterScratch {
  std::vector<float> Around, Field;  ///< an effect's shape and its distances or heights
  std::vector<float> Floats, Squared, Parabolas, Bounds, Distance, Low, High;
  std::vector<float> Sums[2];  ///< one per half of a blur's columns
  std::vector<std::int32_t> Nearest, Last, Vertices, Rows;
  /// The band drawer's second thread, which blurs half of each plane; none:
  /// all on the calling thread.
  HelperThread* Helper = nullptr;
};

// Runs work(firstRow, endRow) over rows [0, rows), half on the helper thread
// when there is one.
void SplitRows(const FilterScratch& scratch, std::int32_t rows,
               const std::function<void(std::int32_t, std::int32_t)>& work);

// Blurs `plane` in place with three box blurs across and three down. Only
// values at least blur.Radius inside the plane's edges come out right: the
// caller gives that much shape around what it needs.
void BlurPlane(const PlaneView& plane, const BoxBlur& blur, FilterScratch& scratch);

// The signed distance of each pixel's centre from the edge of the shape in
// `plane` (alpha 0..1, anti-aliased), in pixels: positive outside, negative
// inside. Edge pixels take it from their alpha; the others from the nearest
// edge pixel. Distances beyond `limit` come out as `limit` or more (or
// -limit or less); `outside` and `inside` say which side is wanted (the other
// comes out as 2 limit, or -2 limit, when not asked for).
void SignedDistance(const PlaneView& shape, const PlaneView& distance, float limit, bool outside,
                    bool inside, FilterScratch& scratch);

// `shape` grown by `radius` pixels: max(shape, coverage of the shape's edge
// moved out by radius). Needs the plane's signed distance outside.
void Dilate(const PlaneView& shape, float radius, FilterScratch& scratch);

}  // namespace plymark
