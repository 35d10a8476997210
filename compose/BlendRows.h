#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "compose/BlendModes.h"

namespace plymark {

// How the document's colour channels take the non-separable modes (hue,
// saturation, colour, luminosity, darker and lighter colour).
enum class NonSeparable {
  ThreeComponents,  ///< RGB, Lab: the formula on channels 0, 1, 2
  Cmyk,             ///< C, M, Y as stored (the complements of the inks); K kept or taken
  AsNormal,         ///< grey, duotone, multichannel
};

// Band-sized planes of one drawing level, row-major with the document's
// width as stride: colours not premultiplied, and the coverage.
struct BandPlanes {
  std::array<float*, 4> Colour{};
  float* Alpha = nullptr;
};

// What one source brings to a blend: its colours and its coverage, with the
// same stride as the backdrop.
struct SourcePlanes {
  std::array<const float*, 4> Colour{};
  const float* Coverage = nullptr;
};

// Where a blend works: rows [FirstRow, EndRow) and columns [Left, Right) of
// the band, and the band's stride.
struct BandArea {
  std::int32_t FirstRow = 0;
  std::int32_t EndRow = 0;
  std::int32_t Left = 0;
  std::int32_t Right = 0;
  std::size_t Stride = 0;
};

struct BlendRule {
  BlendMode Mode = BlendMode::Normal;
  float Fill = 1.0f;  ///< fill opacity 0..1
  int Channels = 3;
  NonSeparable Kind = NonSeparable::ThreeComponents;
};

// Row-sized weights a thread reuses from blend to blend.
struct BlendScratch {
  std::vector<float> Source, Blended, Backdrop;
};

// Blends `source` into `backdrop` over `area`. With the source's coverage a
// (transparency x masks x opacity), fill f, backdrop colour Cb and alpha b:
// alpha becomes b + a f (1 - b), and the colour, premultiplied,
// a f (1 - b) Cs + k b B(Cb, Cs') + (1 - k) b Cb, where k = a f and Cs' = Cs
// for most modes, and k = a and Cs' = N + f (Cs - N) for the modes whose
// fill acts inside the formula.
void BlendSource(const BlendRule& rule, const SourcePlanes& source, const BandPlanes& backdrop,
                 const BandArea& area, BlendScratch& scratch);

// An adjustment layer's colours `adjusted` (the backdrop's colours mapped)
// blended into the backdrop with the layer's mode under `coverage` (its mask
// x opacity x fill); the backdrop's alpha is kept.
void BlendAdjusted(const BlendRule& rule, const SourcePlanes& adjusted, const BandPlanes& backdrop,
                   const BandArea& area, BlendScratch& scratch);

// A pass-through group's opacity and mask: `drawn` (the backdrop with the
// group's members blended in) mixed with `saved` (the backdrop as it was) by
// `amount` 0..1, in premultiplied form, into `drawn`.
void MixWithSaved(const BandPlanes& drawn, const BandPlanes& saved, int channels,
                  const float* amount, const BandArea& area);

}  // namespace plymark
