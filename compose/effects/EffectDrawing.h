#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "compose/BlendRows.h"
#include "compose/RenderTree.h"
#include "compose/StoredRows.h"
#include "compose/effects/EffectCoverage.h"
#include "compose/effects/ShapeWindow.h"
#include "psd/DocumentState.h"

namespace plymark {

// What drawing layer effects keeps from band to band: each styled layer's
// shape window, which holds the rows all its effects read (each around its
// own offset), and the band-sized planes effects are painted in.
class EffectDrawing {
 public:
  EffectDrawing(const DocumentState& state, std::int32_t width, std::int32_t bandRows,
                int channels);

  // Readies the node's window for the band of rows [top, top + rows).
  void BeginBand(const RenderNode& node, std::int32_t top, std::int32_t rows);

  // The inputs of the node's effects over `area` (document rows within the
  // band starting at `bandTop`), its shape copied into Shape.
  EffectInputs Inputs(const RenderNode& node, const Extent& area, std::int32_t bandTop,
                      std::vector<std::string>& omissions);

  // Lets go of the windows of nodes drawn to their last row.
  void Release(std::int32_t drawnTo);

  // Band planes (the band's layout: document width apart).
  BandPlanes Paint;             ///< an effect's colours and its coverage
  float* Shape = nullptr;       ///< the layer's shape
  float* Second = nullptr;      ///< a bevel's shadow
  float* PaintAlpha = nullptr;  ///< the paint's own opacity
  FilterScratch Filters;

 private:
  struct NodeWindow {
    std::unique_ptr<ShapeWindow> Rows;
    std::int32_t Above = 0;  ///< rows above a band its effects read
  };
  NodeWindow& WindowOf(const RenderNode& node);

  const DocumentState& state_;
  std::size_t stride_;
  std::int32_t bandRows_;
  std::vector<float> storage_;
  RowScratch rowScratch_;
  std::map<const RenderNode*, NodeWindow> nodes_;
};

// The masks of a styled node that shape its effects (the others hide them).
std::vector<MaskPlan> ShapingMasks(const RenderNode& node);
bool HidesEffects(const RenderNode& node, const MaskPlan& mask);

// How far a styled node's effects read the shape beyond what they paint, across.
std::int32_t ColumnsAround(const LayerStyle& style);

// The band planes effects are painted in, beside the levels': none when no
// layer of the tree has effects.
std::size_t EffectPlanes(const RenderTree& tree, int channels);

// Leaves out the effects of styled layers, last first, while their shape
// windows for bands of `rows` rows of a document `width` wide would take more
// than `budget` bytes together, naming each in `omissions`.
void FitEffectsToBudget(RenderTree& tree, const DocumentState& state, std::int32_t width,
                        std::int32_t rows, std::size_t budget, std::vector<std::string>& omissions);

}  // namespace plymark
