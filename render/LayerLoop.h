#pragma once

#include "platform/StageClock.h"
#include "platform/TileSurface.h"
#include "psd/DocumentState.h"
#include "render/ColourModes.h"
#include "render/LayerRows.h"

namespace plymark {

class SettingsBudget;  // psd/Descriptor.h

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

// A layer's size as the layer loop checks it before anything is decoded.
struct LayerSize {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  bool Skipped = false;  ///< a PSB layer wider or higher than a tile can show, left out
};

// Checks layer `layer`'s rectangle before any memory is taken for it: its
// sides, and its pixels against what its stored colour channels can fill.
// `unfilledSoFar` counts the pixels of the layers checked before that lie
// beyond what their channels fill; all layers of a file share an allowance.
// Throws PsdError for a layer that cannot be decoded.
LayerSize CheckLayerSize(const DocumentState& state, int layer, std::int64_t& unfilledSoFar);

// Reads the stored bytes of the layer's colour channels.
void LoadColourChannels(DocumentState& state, int layer, const ColourChannels& colour);

// Decodes layer `layer`, checked by CheckLayerSize and not skipped, into the
// pixel buffer or straight into tile `tile`, and paints it there when the
// surface has that tile. The colours go through state.Colour when it is set.
// `rows` is kept from layer to layer. Damaged planes throw PsdError. With a
// `textBudget`, a text layer's tile description adds the start of its text,
// read out of that budget.
void RenderLayer(DocumentState& state, int layer, const LayerSize& size, TileSurface& tiles,
                 int tile, LayerRows& rows, StageClock* clock = nullptr,
                 SettingsBudget* textBudget = nullptr);

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
