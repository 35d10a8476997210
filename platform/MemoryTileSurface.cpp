#include "platform/MemoryTileSurface.h"

namespace plymark {

void MemoryTileSurface::ResizeTile(int tile, int width, int height) {
  Tile& target = tiles_.at(static_cast<std::size_t>(tile));
  target.Width = width;
  target.Height = height;
  target.Shown = false;
  target.Image.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
}

std::uint32_t* MemoryTileSurface::ImageRow(int tile, int y) {
  Tile& target = tiles_.at(static_cast<std::size_t>(tile));
  return target.Image.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(target.Width);
}

void MemoryTileSurface::ShowImage(int tile) {
  tiles_.at(static_cast<std::size_t>(tile)).Shown = true;
}

void MemoryTileSurface::DescribeTile(int tile, std::string_view text) {
  tiles_.at(static_cast<std::size_t>(tile)).Description = std::string(text);
}

void MemoryTileSurface::ResetTilesFrom(int first) {
  for (std::size_t i = static_cast<std::size_t>(first < 0 ? 0 : first); i < tiles_.size(); ++i) {
    tiles_[i] = Tile{};
  }
}

}  // namespace plymark
