#include "compose/effects/EffectDrawing.h"

#include <algorithm>
#include <cstdlib>

#include "compose/effects/EffectGeometry.h"
#include "compose/effects/LayerStyle.h"

namespace plymark {
namespace {

// The rows above and below a band its effects read the shape at: each reads
// around its own vertical offset; the content reads the band itself.
struct RowsAround {
  std::int32_t Above = 0;
  std::int32_t Below = 0;
  std::int32_t Radius = 0;  ///< the largest effect's
};
RowsAround RowsAroundOf(const LayerStyle& style) {
  RowsAround rows;
  for (const Effect& effect : style.Effects) {
    // Satin reads on both sides of its offset, within its radius.
    const std::int32_t offset = effect.Kind == EffectKind::Satin ? 0 : OffsetOf(effect).Y;
    const std::int32_t radius = InputRadiusOf(effect);
    rows.Above = std::max(rows.Above, offset + radius);
    rows.Below = std::max(rows.Below, radius - offset);
    rows.Radius = std::max(rows.Radius, radius);
  }
  return rows;
}

std::size_t WindowBytes(std::int32_t rows, std::int32_t radius, std::int32_t columns) {
  return (static_cast<std::size_t>(rows) + 2 * static_cast<std::size_t>(radius) + 1) *
         static_cast<std::size_t>(std::max(0, columns)) * sizeof(float);
}

// The work planes of the largest effect: its shape around, a blur's two
// planes, a distance field with its nearest pixels and squared distances.
constexpr std::size_t kWorkPlanes = 7;

}  // namespace

bool HidesEffects(const RenderNode& node, const MaskPlan& mask) {
  return mask.Vector ? node.VectorMaskHidesEffects : node.UserMaskHidesEffects;
}

std::vector<MaskPlan> ShapingMasks(const RenderNode& node) {
  std::vector<MaskPlan> masks;
  for (const MaskPlan& mask : node.Masks) {
    if (!HidesEffects(node, mask)) masks.push_back(mask);
  }
  return masks;
}

std::int32_t ColumnsAround(const LayerStyle& style) {
  std::int32_t columns = 0;
  for (const Effect& effect : style.Effects) {
    columns = std::max(columns, InputRadiusOf(effect) + std::abs(OffsetOf(effect).X));
  }
  return columns;
}

EffectDrawing::EffectDrawing(const DocumentState& state, std::int32_t width, std::int32_t bandRows,
                             int channels)
    : state_(state), stride_(static_cast<std::size_t>(width)), bandRows_(bandRows) {
  const std::size_t plane = stride_ * static_cast<std::size_t>(bandRows);
  storage_.assign(plane * static_cast<std::size_t>(channels + 4), 0.0f);
  float* next = storage_.data();
  for (int c = 0; c < channels; ++c) {
    Paint.Colour[static_cast<std::size_t>(c)] = next;
    next += plane;
  }
  Paint.Alpha = next;
  Shape = next + plane;
  Second = next + 2 * plane;
  PaintAlpha = next + 3 * plane;
}

EffectDrawing::NodeWindow& EffectDrawing::WindowOf(const RenderNode& node) {
  auto found = nodes_.find(&node);
  if (found != nodes_.end()) return found->second;
  NodeWindow& window = nodes_[&node];
  const std::int32_t around = ColumnsAround(*node.Style);
  const RowsAround rows = RowsAroundOf(*node.Style);
  window.Above = rows.Above;
  window.Rows =
      std::make_unique<ShapeWindow>(state_, node, node.Area.Left - around, node.Area.Right + around,
                                    bandRows_ + rows.Above + rows.Below + 1, ShapingMasks(node));
  return window;
}

void EffectDrawing::BeginBand(const RenderNode& node, std::int32_t top, std::int32_t) {
  NodeWindow& window = WindowOf(node);
  window.Rows->Advance(top - window.Above);
}

EffectInputs EffectDrawing::Inputs(const RenderNode& node, const Extent& area, std::int32_t bandTop,
                                   std::vector<std::string>& omissions) {
  ShapeWindow& window = *WindowOf(node).Rows;
  EffectInputs inputs;
  inputs.Area = area;
  inputs.Stride = stride_;
  float* shape = Shape + static_cast<std::size_t>(area.Top - bandTop) * stride_ +
                 static_cast<std::size_t>(area.Left);
  window.Copy(area, shape, stride_, rowScratch_, omissions);
  inputs.Shape = shape;
  inputs.ReadShape = [this, &window, &omissions](const Extent& rect, float* out) {
    window.Copy(rect, out, static_cast<std::size_t>(rect.Right - rect.Left), rowScratch_,
                omissions);
  };
  return inputs;
}

void EffectDrawing::Release(std::int32_t drawnTo) {
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    it = it->first->Area.Bottom <= drawnTo ? nodes_.erase(it) : std::next(it);
  }
}

namespace {

void FitNodes(std::vector<RenderNode>& nodes, const DocumentState& state, std::int32_t rows,
              std::size_t budget, std::size_t& used, std::vector<std::string>& omissions) {
  for (RenderNode& node : nodes) {
    FitNodes(node.Children, state, rows, budget, used, omissions);
    if (node.Style == nullptr) continue;
    const std::int32_t columns = node.Area.Right - node.Area.Left + 2 * ColumnsAround(*node.Style);
    const RowsAround around = RowsAroundOf(*node.Style);
    const std::size_t windows = WindowBytes(rows + around.Above + around.Below, 0, columns);
    const std::size_t work = kWorkPlanes * WindowBytes(rows, around.Radius, columns);
    if (used + windows + work > budget) {
      node.Style = nullptr;
      omissions.push_back(LayerLabel(state, node.Record) +
                          ": layer effects (their rows would take more than the band budget)");
      continue;
    }
    used += windows;
  }
}

bool AnyStyle(const std::vector<RenderNode>& nodes) {
  return std::any_of(nodes.begin(), nodes.end(), [](const RenderNode& node) {
    return node.Style != nullptr || AnyStyle(node.Children);
  });
}

}  // namespace

std::size_t EffectPlanes(const RenderTree& tree, int channels) {
  return AnyStyle(tree.Root.Children) ? static_cast<std::size_t>(channels) + 4 : 0;
}

void FitEffectsToBudget(RenderTree& tree, const DocumentState& state, std::int32_t,
                        std::int32_t rows, std::size_t budget,
                        std::vector<std::string>& omissions) {
  std::size_t used = 0;
  FitNodes(tree.Root.Children, state, rows, budget, used, omissions);
}

}  // namespace plymark
