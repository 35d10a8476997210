#include "platform/qt/QtTileSurface.h"

namespace plymark {

void QtTileSurface::ResizeTile(int tile, int width, int height) {
  TileWidget* widget = tiles_.at(static_cast<std::size_t>(tile));
  widget->resize(width, height);
  widget->MakeImage(width, height);
}

std::uint32_t* QtTileSurface::ImageRow(int tile, int y) {
  return reinterpret_cast<std::uint32_t*>(
      tiles_.at(static_cast<std::size_t>(tile))->Image().scanLine(y));
}

void QtTileSurface::ShowImage(int tile) {
  tiles_.at(static_cast<std::size_t>(tile))->ShowImage();
}

void QtTileSurface::DescribeTile(int tile, std::string_view text) {
  tiles_.at(static_cast<std::size_t>(tile))
      ->setToolTip(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QtTileSurface::ResetTilesFrom(int first) {
  for (std::size_t i = static_cast<std::size_t>(first < 0 ? 0 : first); i < tiles_.size(); ++i) {
    tiles_[i]->ResetToStart();
  }
}

}  // namespace plymark
