#pragma once

#include "compose/RenderDocument.h"

namespace plymark {

// Draws a document without layer records as the maker opens it: its merged
// image is its one layer, its colours un-blended from the white they are
// stored over where it has transparency. The image data section is read
// whole (so no side may exceed a layer's), the bands are made from its rows.
// Throws PsdError.
void RenderMergedImage(const DocumentState& state, RenderSink& sink, std::int32_t bandRows);

}  // namespace plymark
