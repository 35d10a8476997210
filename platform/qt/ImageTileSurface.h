#pragma once

#include <QImage>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/TileSurface.h"

namespace plymark {

// Tiles held as QImages in memory, as many as there are layers: for the
// command-line tools, which run without a window but keep the window's image
// type. With a handler, each image is handed over as soon as its layer is
// painted and then let go, so that one layer's image is held at a time. A
// sizing handler hears of each image with pixels before it is made, so that
// a caller can wait until there is memory for it; with one, no picture handed
// over is kept to be filled again.
class ImageTileSurface final : public TileSurface {
 public:
  using ShownHandler = std::function<void(int tile, const QImage& image)>;
  using SizingHandler = std::function<void(int tile, int width, int height)>;

  ImageTileSurface() = default;
  explicit ImageTileSurface(ShownHandler handler, SizingHandler sizing = {})
      : handler_(std::move(handler)), sizing_(std::move(sizing)) {}

  int TileCount() const override { return std::numeric_limits<int>::max(); }
  void ResizeTile(int tile, int width, int height) override;
  std::uint32_t* ImageRow(int tile, int y) override;
  void ShowImage(int tile) override;
  void DescribeTile(int tile, std::string_view text) override;
  void ResetTilesFrom(int first) override;

  // The image of tile i; null when the tile was never sized, has no pixels or
  // was handed to the handler.
  QImage Image(int tile) const;
  // The text the tile was described with; empty when it has none.
  std::string Description(int tile) const;

 private:
  ShownHandler handler_;
  SizingHandler sizing_;
  QImage spare_;  ///< the last picture handed over, kept to be filled again
  std::vector<QImage> images_;
  std::vector<std::string> descriptions_;
};

}  // namespace plymark
