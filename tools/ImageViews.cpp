#include "tools/ImageViews.h"

#include <memory>

namespace plymark {

QImage ImageView(const Image& picture, bool alpha) {
  QImage::Format format = QImage::Format_Invalid;
  if (picture.Format == PixelFormat::Argb32) {
    format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
  } else if (picture.Format == PixelFormat::Gray8) {
    format = QImage::Format_Grayscale8;
  }
  if (!picture.Pixels || format == QImage::Format_Invalid) return {};
  auto* share = new std::shared_ptr<std::uint8_t[]>(picture.Pixels);
  return QImage(
      picture.Pixels.get(), picture.Width, picture.Height, static_cast<qsizetype>(picture.RowBytes),
      format, [](void* kept) { delete static_cast<std::shared_ptr<std::uint8_t[]>*>(kept); },
      share);
}

}  // namespace plymark
