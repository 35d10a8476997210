#pragma once

#include "platform/TileSurface.h"
#include "psd/DocumentState.h"

namespace plymark {

// Paints the pixel buffer (TileWidth x TileHeight) into tile `tile`'s
// persistent image, row by row from the top, and has the tile show it.
void PaintLayerTile(const DocumentState& state, int tile, TileSurface& tiles);

}  // namespace plymark
