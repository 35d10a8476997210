#pragma once

#include <vector>

#include "platform/TileSurface.h"
#include "platform/qt/TileWidget.h"

namespace plymark {

// The window's tiles as a tile surface: sizing resizes the widget, rows are
// the scanlines of its persistent QImage.
class QtTileSurface final : public TileSurface {
 public:
  explicit QtTileSurface(std::vector<TileWidget*> tiles) : tiles_(std::move(tiles)) {}

  int TileCount() const override { return static_cast<int>(tiles_.size()); }
  void ResizeTile(int tile, int width, int height) override;
  std::uint32_t* ImageRow(int tile, int y) override;
  void ShowImage(int tile) override;
  void DescribeTile(int tile, std::string_view text) override;
  void ResetTilesFrom(int first) override;

 private:
  std::vector<TileWidget*> tiles_;
};

}  // namespace plymark
