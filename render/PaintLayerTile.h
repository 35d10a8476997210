#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/TileSurface.h"
#include "psd/DocumentState.h"

namespace plymark {

// Paints the pixel buffer (TileWidth x TileHeight) into tile `tile`'s
// persistent image, row by row from the top, and has the tile show it.
void PaintLayerTile(const DocumentState& state, int tile, TileSurface& tiles);

// One row of a layer from its decoded red, green and blue values (`width`
// bytes each): stores the row's pixel records when `records` is not null and
// paints the row into the tile image as 0xffRRGGBB words when `imageRow` is
// not null.
void PaintRow(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
              std::size_t width, PixelRecord* records, std::uint32_t* imageRow);

}  // namespace plymark
