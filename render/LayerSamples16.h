#pragma once

#include <cstdint>
#include <span>

#include "psd/DocumentState.h"
#include "render/ColourManagement.h"
#include "render/LayerLoop.h"

namespace plymark {

// Layer `layer`, checked by CheckLayerSize and not skipped, decoded into
// `rgba`: size.Width x size.Height pixels of red, green, blue and alpha, 16
// bits each, row-major. The colours go through `conversion` when it is given
// (the document's profile to sRGB); without it the stored numbers become red,
// green and blue as they do for the window without a profile. 8-bit samples
// are widened by 257, 16-bit ones kept whole, 32-bit floats go through the
// sRGB curve. Alpha is the transparency channel (-1), 65535 without one. A
// colour mode or depth that cannot be shown gives black. Damaged planes throw
// PsdError.
void DecodeLayer16(DocumentState& state, int layer, const LayerSize& size,
                   const DocumentColour* conversion, std::span<std::uint16_t> rgba);

}  // namespace plymark
