#include "platform/qt/ImageTileSurface.h"

#include <new>

namespace plymark {

void ImageTileSurface::ResizeTile(int tile, int width, int height) {
  const auto index = static_cast<std::size_t>(tile);
  if (images_.size() <= index) images_.resize(index + 1);
  images_[index] = QImage();  // the previous picture goes before the next one is made
  if (width > 0 && height > 0) {
    images_[index] = QImage(width, height, QImage::Format_RGB32);
    // Qt answers a failed allocation with a null image, which has no rows.
    if (images_[index].isNull()) throw std::bad_alloc();
  }
}

std::uint32_t* ImageTileSurface::ImageRow(int tile, int y) {
  return reinterpret_cast<std::uint32_t*>(images_.at(static_cast<std::size_t>(tile)).scanLine(y));
}

void ImageTileSurface::ResetTilesFrom(int first) {
  if (first >= 0 && static_cast<std::size_t>(first) < images_.size()) {
    images_.resize(static_cast<std::size_t>(first));
  }
}

QImage ImageTileSurface::Image(int tile) const {
  const auto index = static_cast<std::size_t>(tile);
  return index < images_.size() ? images_[index] : QImage();
}

}  // namespace plymark
