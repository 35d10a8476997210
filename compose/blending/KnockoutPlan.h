#pragma once

#include "compose/RenderTree.h"

namespace plymark {

// Which knockouts among a node and what it holds reach past it to the
// level that holds it: a shallow knockout stops at the first group or
// clipping set around it; a deep one passes pass-through groups and
// clipping sets whose layers blend on their own, and stops at an isolated
// group, a clipping set blended as a group, or the document.
struct KnockoutReach {
  bool Shallow = false;
  bool Deep = false;
};

KnockoutReach ReachOf(const RenderNode& node);

// Decides whether `container` (a group, clipping set or the document's
// root) saves the backdrop its knockouts reach, with `backdropShown`: the
// root has a background layer, whose drawing is that backdrop. Returns the
// buffers the saving takes (0 or 1).
int PlanKnockoutStop(RenderNode& container, bool backdropShown);

// Buffers a node needs of its own to blend as knockouts and 'tsly' ask:
// one level to draw into before the result is mixed into the backdrop.
int KnockoutBuffers(const RenderNode& node);

}  // namespace plymark
