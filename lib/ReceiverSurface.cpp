#include "lib/ReceiverSurface.h"

#include <limits>

namespace plymark {
inline namespace v0 {

Image NewImage(int width, int height, PixelFormat format) {
  Image image;
  image.Format = format;
  if (width <= 0 || height <= 0) return image;
  image.Width = width;
  image.Height = height;
  image.RowBytes =
      static_cast<std::size_t>(width) * static_cast<std::size_t>(BytesPerPixel(format));
  // Not filled: every byte is painted before the picture is handed out.
  image.Pixels = std::shared_ptr<std::uint8_t[]>(
      new std::uint8_t[image.RowBytes * static_cast<std::size_t>(height)]);
  return image;
}

int ReceiverSurface::TileCount() const {
  return std::numeric_limits<int>::max();
}

void ReceiverSurface::ResizeTile(int tile, int width, int height) {
  picture_ = Image();  // the previous picture goes before the next one is made
  if (width <= 0 || height <= 0) return;
  receiver_.Sizing(LayerAccess::Make(data_, tile), width, height);
  picture_ = NewImage(width, height, PixelFormat::Argb32);
}

std::uint32_t* ReceiverSurface::ImageRow(int, int y) {
  return reinterpret_cast<std::uint32_t*>(picture_.Row(y));
}

void ReceiverSurface::ShowImage(int tile) {
  receiver_.Painted(LayerAccess::Make(data_, tile), std::move(picture_));
  picture_ = Image();
}

}  // namespace v0
}  // namespace plymark
