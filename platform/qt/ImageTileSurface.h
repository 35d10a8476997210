#pragma once

#include <QImage>
#include <limits>
#include <string>
#include <vector>

#include "platform/TileSurface.h"

namespace plymark {

// Tiles held as QImages in memory, as many as there are layers: for the
// command-line tools, which run without a window but keep the window's image
// type.
class ImageTileSurface final : public TileSurface {
 public:
  int TileCount() const override { return std::numeric_limits<int>::max(); }
  void ResizeTile(int tile, int width, int height) override;
  std::uint32_t* ImageRow(int tile, int y) override;
  void ShowImage(int) override {}
  void DescribeTile(int tile, std::string_view text) override;
  void ResetTilesFrom(int first) override;

  // The image of tile i; null when the tile was never sized or has no pixels.
  QImage Image(int tile) const;
  // The text the tile was described with; empty when it has none.
  std::string Description(int tile) const;

 private:
  std::vector<QImage> images_;
  std::vector<std::string> descriptions_;
};

}  // namespace plymark
