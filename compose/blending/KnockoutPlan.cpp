#include "compose/blending/KnockoutPlan.h"

namespace plymark {
namespace {

KnockoutReach Own(const RenderNode& node) {
  return {node.Blending.KnocksOut == Knockout::Shallow, node.Blending.KnocksOut == Knockout::Deep};
}

KnockoutReach OfMembers(const std::vector<RenderNode>& members, std::size_t first) {
  KnockoutReach reach;
  for (std::size_t k = first; k < members.size(); ++k) {
    const KnockoutReach member = ReachOf(members[k]);
    reach.Shallow = reach.Shallow || member.Shallow;
    reach.Deep = reach.Deep || member.Deep;
  }
  return reach;
}

// The knockouts a container's members bring to it: a clipping set's
// clipped layers, a group's members.
KnockoutReach Arriving(const RenderNode& container) {
  return OfMembers(container.Children, container.Kind == NodeKind::ClipSet ? 1 : 0);
}

}  // namespace

KnockoutReach ReachOf(const RenderNode& node) {
  KnockoutReach reach = Own(node);
  const bool passes = (node.Kind == NodeKind::Group && !node.Isolated) ||
                      (node.Kind == NodeKind::ClipSet && !node.ClipAsGroup);
  if (passes) reach.Deep = reach.Deep || Arriving(node).Deep;
  return reach;
}

int PlanKnockoutStop(RenderNode& container, bool backdropShown) {
  const KnockoutReach arriving = Arriving(container);
  bool saves = false;
  if (container.Kind == NodeKind::Group && container.Isolated) {
    // The document's root stops every knockout at its background; an
    // isolated group stops them at its own transparent start.
    saves = container.Record < 0 && backdropShown && (arriving.Shallow || arriving.Deep);
  } else if (container.Kind == NodeKind::Group) {
    saves = arriving.Shallow;
  } else if (container.Kind == NodeKind::ClipSet) {
    saves = arriving.Shallow || (container.ClipAsGroup && arriving.Deep);
  }
  container.Blending.SavesKnockoutBackdrop = saves;
  return saves ? 1 : 0;
}

int KnockoutBuffers(const RenderNode& node) {
  const bool mixes = node.Blending.KnocksOut != Knockout::None ||
                     (node.Kind == NodeKind::Pixels && !node.Blending.TransparencyShapes);
  return mixes ? 1 : 0;
}

}  // namespace plymark
