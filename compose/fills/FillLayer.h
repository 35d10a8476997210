#pragma once

#include <optional>
#include <string>

#include "compose/Paint.h"
#include "psd/Descriptor.h"
#include "psd/DocumentState.h"
#include "psd/VectorPaths.h"

namespace plymark {

// A layer's vector mask ('vmsk' or 'vsms'), when it has one.
struct LayerVectorMask {
  std::optional<VectorMask> Mask;
  std::string Problem;  ///< why a block that is there cannot be read
};
LayerVectorMask ReadLayerVectorMask(const DocumentState& state, int record);

// Where a layer's fill is laid out: the bounds of its vector mask's path,
// else its record's rectangle, else (a fill without pixels) the document;
// and its reference point ('fxrp'; 0, 0 without one or when damaged).
PaintFrame FrameOfLayer(const DocumentState& state, int record, const VectorMask* mask);

// True when the maker stored the layer's pixels: a rectangle and data in
// each of its colour channels.
bool HoldsPixels(const DocumentState& state, int record);

// What a fill layer ('SoCo', 'GdFl', 'PtFl') or a shape ('vscg') paints.
// Present is false for a layer without such a block.
struct LayerFill {
  bool Present = false;
  PaintRead Paint;
};
LayerFill ReadLayerFill(const DocumentState& state, int record, const PaintFrame& frame,
                        const AdjustmentSpace& space, SettingsBudget& budget);

}  // namespace plymark
