#include "platform/qt/ImageTileSurface.h"

#include <new>

namespace plymark {

void ImageTileSurface::ResizeTile(int tile, int width, int height) {
  const auto index = static_cast<std::size_t>(tile);
  if (images_.size() <= index) images_.resize(index + 1);
  images_[index] = QImage();  // the previous picture goes before the next one is made
  if (width > 0 && height > 0) {
    if (sizing_) sizing_(tile, width, height);
    // A picture handed over before and let go by its taker is filled again:
    // fresh memory costs more than the painting itself.
    if (spare_.width() == width && spare_.height() == height && spare_.isDetached()) {
      images_[index] = std::move(spare_);
      spare_ = QImage();
      return;
    }
    spare_ = QImage();
    images_[index] = QImage(width, height, QImage::Format_RGB32);
    // Qt answers a failed allocation with a null image, which has no rows.
    if (images_[index].isNull()) throw std::bad_alloc();
  }
}

void ImageTileSurface::ShowImage(int tile) {
  if (!handler_) return;
  QImage& image = images_.at(static_cast<std::size_t>(tile));
  handler_(tile, image);
  // A caller that counts the images' memory (the sizing handler) counts a
  // kept picture as let go once its taker lets go of it, so none is kept.
  if (!sizing_) spare_ = std::move(image);
  image = QImage();
}

std::uint32_t* ImageTileSurface::ImageRow(int tile, int y) {
  return reinterpret_cast<std::uint32_t*>(images_.at(static_cast<std::size_t>(tile)).scanLine(y));
}

void ImageTileSurface::DescribeTile(int tile, std::string_view text) {
  const auto index = static_cast<std::size_t>(tile);
  if (descriptions_.size() <= index) descriptions_.resize(index + 1);
  descriptions_[index] = std::string(text);
}

void ImageTileSurface::ResetTilesFrom(int first) {
  if (first >= 0 && static_cast<std::size_t>(first) < images_.size()) {
    images_.resize(static_cast<std::size_t>(first));
  }
  if (first >= 0 && static_cast<std::size_t>(first) < descriptions_.size()) {
    descriptions_.resize(static_cast<std::size_t>(first));
  }
}

QImage ImageTileSurface::Image(int tile) const {
  const auto index = static_cast<std::size_t>(tile);
  return index < images_.size() ? images_[index] : QImage();
}

std::string ImageTileSurface::Description(int tile) const {
  const auto index = static_cast<std::size_t>(tile);
  return index < descriptions_.size() ? descriptions_[index] : std::string();
}

}  // namespace plymark
