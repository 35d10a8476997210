#include "compose/effects/StylePlan.h"

#include <algorithm>
#include <cmath>

#include "compose/effects/EffectDrawing.h"
#include "compose/effects/LayerStyle.h"
#include "compose/fills/FillLayer.h"
#include "psd/LayerSettings.h"
#include "render/ColourModes.h"

namespace plymark {
namespace {

Extent Grown(const Extent& extent, std::int32_t by) {
  const auto grow = [by](std::int32_t value, int sign) {
    const std::int64_t moved =
        static_cast<std::int64_t>(value) + sign * static_cast<std::int64_t>(by);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(moved, INT32_MIN, INT32_MAX));
  };
  return {grow(extent.Top, -1), grow(extent.Left, -1), grow(extent.Bottom, 1),
          grow(extent.Right, 1)};
}

int ColourPlanes(std::int16_t colorMode) {
  const ColourModel model = ModelOfColorMode(colorMode);
  return model == ColourModel::Cmyk
             ? 4
             : (model == ColourModel::Gray || model == ColourModel::Indexed ? 1 : 3);
}

}  // namespace

void SetUpStyle(const DocumentState& state, const LayerBlockFacts& facts, RenderNode& node,
                std::vector<std::string>& omissions) {
  const Extent document{0, 0, state.Header.Rows, state.Header.Columns};
  StyleContext context;
  context.GlobalAngle = static_cast<float>(state.Resources.GlobalAngle.value_or(120));
  context.GlobalAltitude =
      static_cast<float>(std::clamp(state.Resources.GlobalAltitude.value_or(30), 0, 90));
  context.Space = {state.Header.ColorMode, state.Header.Depth,
                   ColourPlanes(state.Header.ColorMode)};
  // A pattern is laid from the layer's reference point.
  context.Frame = FrameOfLayer(state, node.Record, nullptr);
  context.Frame.Layer = node.Rect;
  context.State = &state;
  const LayerSettings settings = ReadLayerSettings(state, node.Record);
  const StyleRead read = ReadLayerStyle(settings, context);
  for (const std::string& omission : read.Omissions) {
    omissions.push_back(LayerLabel(state, node.Record) + ": " + omission);
  }
  if (!read.Style) return;
  node.UserMaskHidesEffects = facts.UserMaskHidesEffects;
  node.VectorMaskHidesEffects = facts.VectorMaskHidesEffects;
  node.InteriorAsGroup = facts.InteriorAsGroup;
  LayerStyle style = *read.Style;
  // The maker draws a shape's vector stroke above its overlays; here it lies
  // in the stored pixels, which the overlays leave to it.
  const double stroke = facts.ShapeStroke && settings.VectorStroke
                            ? settings.VectorStroke->Number("strokeStyleLineWidth").value_or(0)
                            : 0.0;
  for (Effect& effect : style.Effects) {
    const bool overlay = effect.Kind == EffectKind::ColourOverlay ||
                         effect.Kind == EffectKind::GradientOverlay ||
                         effect.Kind == EffectKind::PatternOverlay;
    if (overlay && std::isfinite(stroke)) {
      effect.Inset = static_cast<float>(std::clamp<double>(stroke, 0.0, kLargestEffectSize));
    }
  }
  node.Style = std::make_shared<const LayerStyle>(std::move(style));
  // The effects follow the shape the shaping masks leave, and reach beyond
  // it; masks that hide the effects cut everything.
  Extent shape = node.Rect;
  for (const MaskPlan& mask : node.Masks) {
    if (mask.Outside == 0.0f && !HidesEffects(node, mask)) shape = Intersection(shape, mask.Rect);
  }
  Extent area = Intersection(Grown(shape, node.Style->Reach), document);
  for (const MaskPlan& mask : node.Masks) {
    if (mask.Outside == 0.0f && HidesEffects(node, mask)) area = Intersection(area, mask.Rect);
  }
  node.Area = area;
  // The backdrop saved for the layer's opacity, and the content gathered
  // with the interior effects.
  node.Buffers = 1 + (node.InteriorAsGroup ? 1 : 0);
}

}  // namespace plymark
