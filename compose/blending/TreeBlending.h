#pragma once

#include <functional>
#include <string>

#include "compose/RenderTree.h"

namespace plymark {

// Names in omissions, and takes out of `options`, what a node of its kind
// cannot blend with: a pass-through group's knockout, blend-if and channel
// restrictions, an adjustment layer's knockout, an artboard block on a
// layer that is no group.
void LeaveOutUndrawnBlending(BlendingOptions& options, bool passThrough, bool adjustment,
                             bool group, const std::function<void(const std::string&)>& omit);

// A clipping set blends with its base's knockout and channel restrictions
// when its layers blend as a group; a base whose clipped layers blend on
// their own keeps its channel restrictions, and its knockout is left out.
void BlendingOfClipSet(RenderNode& set, RenderNode& base,
                       const std::function<void(const std::string&)>& omit);

// Where a group can change the document: its members' `area`, or, as an
// artboard, that clipped to its rectangle, the whole rectangle when it has
// a background.
Extent ArtboardArea(const BlendingOptions& options, const Extent& area, const Extent& document);

// The document's bottom layer is its background: a top-level layer
// without transparency, which a knockout does not pass.
bool HasBackground(const RenderNode& root);

}  // namespace plymark
