#pragma once

#include "platform/StageClock.h"
#include "platform/TileSurface.h"
#include "psd/DocumentState.h"

namespace plymark {

// The largest side of a layer that the PSD format allows, and the largest a
// tile shows.
constexpr std::int32_t kLargestLayerSide = 30000;
// The largest side of a layer in a PSB; layers beyond 30000 are left out.
constexpr std::int32_t kLargestPsbLayerSide = 300000;

// A layer (or mask) may have this many pixels whatever its channels hold.
constexpr std::int64_t kPixelAllowance = 65536;

// The most plane bytes one stored byte can give under a compression code: raw
// 1, run-length 64, ZIP 1032; 0 for codes that decode nothing.
std::int64_t GreatestExpansion(std::int16_t compression);

// For every layer of the layer table: sizes its tile and describes it (name,
// size, position), makes a fresh pixel buffer, decodes the colour channels of
// the document's colour mode into it as red, green and blue, and paints it
// into tile i. Layers beyond the surface's tiles are decoded but not shown. A
// colour mode that cannot be shown leaves every layer black. Damaged layers
// throw PsdError; the tiles painted before keep their pictures. A PSB layer
// wider or higher than a tile can show is left out, its tile emptied, and
// listed in SkippedLayers. Each layer's channels are read from the file when
// the layer is decoded. A clock, when given, receives the time of reading,
// set-up, decoding and painting.
void RenderLayers(DocumentState& state, TileSurface& tiles, StageClock* clock = nullptr);

}  // namespace plymark
