#pragma once

#include <string>
#include <vector>

#include "compose/LayerBlocks.h"
#include "compose/RenderTree.h"
#include "psd/DocumentState.h"

namespace plymark {

// Reads the effects of the layer `node` draws (a Pixels node, its masks
// set) into node.Style, with the blocks that say how they are drawn, and
// grows the node's area by their reach. What is not drawn goes into
// `omissions`, one entry per effect.
void SetUpStyle(const DocumentState& state, const LayerBlockFacts& facts, RenderNode& node,
                std::vector<std::string>& omissions);

}  // namespace plymark
