#include "compose/blending/TreeBlending.h"

namespace plymark {

void LeaveOutUndrawnBlending(BlendingOptions& options, bool passThrough, bool adjustment,
                             bool group, const std::function<void(const std::string&)>& omit) {
  if (passThrough) {
    if (options.KnocksOut != Knockout::None) omit("knockout of a pass-through group");
    if (options.BlendIf) omit("blend-if ranges of a pass-through group");
    if (options.KeptChannels != 0) omit("channel restrictions of a pass-through group");
    options.KnocksOut = Knockout::None;
    options.BlendIf.reset();
    options.KeptChannels = 0;
  }
  if (adjustment && options.KnocksOut != Knockout::None) {
    omit("knockout of an adjustment layer");
    options.KnocksOut = Knockout::None;
  }
  if (group && !options.TransparencyShapes && options.KnocksOut != Knockout::None) {
    omit("knockout of a group without transparency shapes (drawn with its coverage)");
  }
  if (!group && options.Artboard) {
    omit("artboard of a layer that is no group");
    options.Artboard.reset();
  }
}

void BlendingOfClipSet(RenderNode& set, RenderNode& base,
                       const std::function<void(const std::string&)>& omit) {
  if (!set.ClipAsGroup && base.Blending.KnocksOut != Knockout::None) {
    omit("knockout of a clipping base whose clipped layers blend on their own");
    base.Blending.KnocksOut = Knockout::None;
  }
  if (set.ClipAsGroup) {
    set.Blending.KnocksOut = base.Blending.KnocksOut;
    set.Blending.KeptChannels = base.Blending.KeptChannels;
  }
}

Extent ArtboardArea(const BlendingOptions& options, const Extent& area, const Extent& document) {
  if (!options.Artboard) return area;
  const ArtboardPlan& board = *options.Artboard;
  const Extent rect{board.Top, board.Left, board.Bottom, board.Right};
  return Intersection(board.Background ? Intersection(rect, document) : area, rect);
}

bool HasBackground(const RenderNode& root) {
  if (root.Children.empty()) return false;
  const RenderNode& bottom = root.Children.front();
  return bottom.Kind == NodeKind::Pixels && bottom.Record == 0 && !bottom.Transparency;
}

}  // namespace plymark
