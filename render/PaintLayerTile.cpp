#include "render/PaintLayerTile.h"

#include <cstddef>

namespace plymark {

void PaintLayerTile(const DocumentState& state, int tile, TileSurface& tiles) {
  const auto width = static_cast<std::size_t>(state.TileWidth);
  const PixelRecord* record = state.Pixels.data();
  for (std::int32_t y = 0; y < state.TileHeight; ++y) {
    std::uint32_t* row = tiles.ImageRow(tile, y);
    for (std::size_t x = 0; x < width; ++x, ++record) {
      row[x] = 0xff000000u | (static_cast<std::uint32_t>(record->Red) << 16) |
               (static_cast<std::uint32_t>(record->Green) << 8) |
               static_cast<std::uint32_t>(record->Blue);
    }
  }
  tiles.ShowImage(tile);
}

}  // namespace plymark
