#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "compose/Adjustments.h"
#include "compose/RenderTree.h"
#include "psd/Descriptor.h"
#include "psd/DescriptorColour.h"
#include "psd/DocumentState.h"

namespace plymark {

// A colour of the maker's settings in the document's own space: one value
// per colour channel, as stored scaled to 0..1 (CMYK's inks inverted, 1 is no
// ink; Lab's a and b at 0.5 for neutral).
struct SpaceColour {
  std::array<float, 4> Values{};
};

// `colour` in the document's space; nothing when its model cannot be brought
// there. Colours of the document's own model are exact; others go through
// plain formulas (sRGB for RGB and Lab, inks without a profile).
std::optional<SpaceColour> ColourInSpace(const DescriptorColour& colour,
                                         const AdjustmentSpace& space);

// What a fill layer, an overlay or a stroke paints: a colour and its own
// opacity (a gradient's transparency stops, a pattern's transparency) at
// every pixel of the document.
class Paint {
 public:
  virtual ~Paint() = default;
  // The colour planes (the space's colour channels) and the opacity, 0..1,
  // of `count` pixels of document row `y` from column `x` on.
  virtual void FillRow(std::int32_t y, std::int32_t x, std::int32_t count,
                       std::span<float* const> colour, float* alpha) const = 0;
  // The memory the paint holds while the document is drawn (a gradient's
  // table, a pattern's samples), for the render's budget.
  virtual std::uint64_t HeldBytes() const { return 0; }
};

struct PaintRead {
  std::unique_ptr<const Paint> Source;  ///< null when it cannot be painted
  std::string Problem;                  ///< why not, for the render's omissions
};

// Where a paint is laid out: the layer's bounds (a fill layer's, or the
// shape an effect follows) and the document's. A gradient or pattern that
// is aligned with the layer spans Layer, otherwise Document.
// A pattern is laid from the layer's reference point ('fxrp', where the
// layer's top-left corner was when its fill or effect was made) moved by its
// phase.
struct PaintFrame {
  Extent Layer;
  Extent Document;
  double ReferenceX = 0;
  double ReferenceY = 0;
};

// A solid colour: settings that hold a 'Clr ' object ('SoCo', a colour
// overlay, a stroke, a shadow or glow).
PaintRead ReadColourPaint(const Descriptor& settings, const AdjustmentSpace& space);

// A gradient: settings that hold 'Grad' (its stops) and its layout ('Type',
// 'Angl', 'Scl ', 'Rvrs', 'Algn', 'Ofst', 'Dthr', the interpolation
// method): 'GdFl', a gradient overlay, a stroke's gradient.
PaintRead ReadGradientPaint(const Descriptor& settings, const PaintFrame& frame,
                            const AdjustmentSpace& space);

// A pattern: settings that hold 'Ptrn' (whose 'Idnt' names one of the
// document's patterns, kept in its 'Patt', 'Pat2' or 'Pat3' blocks), 'Scl '
// and 'phase': 'PtFl', a pattern overlay, a stroke's pattern.
PaintRead ReadPatternPaint(const Descriptor& settings, const DocumentState& state,
                           const PaintFrame& frame, const AdjustmentSpace& space);

}  // namespace plymark
