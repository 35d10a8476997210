#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/TileSurface.h"

namespace plymark {

// Tiles that live in memory only: for tools and tests that run without a
// window. Any number of tiles; each keeps its image until it is resized or
// reset.
class MemoryTileSurface final : public TileSurface {
 public:
  struct Tile {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Image;  ///< Width x Height pixels, row-major
    bool Shown = false;                ///< the image has been shown since the last resize
    std::string Description;           ///< the text shown when the pointer rests on the tile
  };

  explicit MemoryTileSurface(int tileCount) : tiles_(static_cast<std::size_t>(tileCount)) {}

  int TileCount() const override { return static_cast<int>(tiles_.size()); }
  void ResizeTile(int tile, int width, int height) override;
  std::uint32_t* ImageRow(int tile, int y) override;
  void ShowImage(int tile) override;
  void DescribeTile(int tile, std::string_view text) override;
  void ResetTilesFrom(int first) override;

  const Tile& At(int tile) const { return tiles_.at(static_cast<std::size_t>(tile)); }

 private:
  std::vector<Tile> tiles_;
};

}  // namespace plymark
