#pragma once

#include "platform/StageClock.h"
#include "platform/TileSurface.h"
#include "psd/DocumentState.h"

namespace plymark {

// The largest side of a layer that the PSD format allows.
constexpr std::int32_t kLargestLayerSide = 30000;

// For every layer of the layer table: sizes its tile and describes it (name,
// size, position), makes a fresh pixel buffer, decodes the colour channels of
// the document's colour mode into it as red, green and blue, and paints it
// into tile i. Layers beyond the surface's tiles are decoded but not shown. A
// colour mode that cannot be shown leaves every layer black. Damaged layers
// throw PsdError; the tiles painted before keep their pictures. A clock, when
// given, receives the time of set-up, decoding and painting.
void RenderLayers(DocumentState& state, TileSurface& tiles, StageClock* clock = nullptr);

}  // namespace plymark
