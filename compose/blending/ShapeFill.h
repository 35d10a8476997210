#pragma once

#include "compose/BlendRows.h"

namespace plymark {

// Blends a layer whose transparency does not shape it ('tsly' off) in a mode
// whose fill acts inside the formula: `source.Coverage` (its masks x opacity,
// or null for 1) is where the formula replaces the backdrop, and the
// transparency, per pixel, joins the fill opacity in moving the source's
// colour from the mode's neutral colour. With coverage a, fill f =
// transparency x rule.Fill and backdrop alpha b, alpha becomes b + a f (1 - b)
// and the colour a f (1 - b) Cs + a b B(Cb, N + f (Cs - N)) + (1 - a) b Cb.
void BlendWithPixelFill(const BlendRule& rule, const SourcePlanes& source,
                        const float* transparency, const BandPlanes& backdrop,
                        const BandArea& area);

}  // namespace plymark
