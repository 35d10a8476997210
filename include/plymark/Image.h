#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace plymark {
inline namespace v0 {

// How an image's pixels are laid out in memory.
enum class PixelFormat {
  Gray8,   ///< one byte per pixel
  Gray16,  ///< one 16-bit sample per pixel, in the machine's byte order
  Rgb8,    ///< red, green, blue: three bytes per pixel
  Rgba8,   ///< red, green, blue, alpha: four bytes, alpha not premultiplied
  Rgba16,  ///< as Rgba8 with 16-bit samples in the machine's byte order
  /// One 32-bit word 0xAARRGGBB per pixel in the machine's byte order, as Qt's
  /// Format_ARGB32 (and Format_RGB32 when alpha is 255 throughout)
  Argb32,
};

// Bytes one pixel of `format` takes.
constexpr int BytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::Gray8:
      return 1;
    case PixelFormat::Gray16:
      return 2;
    case PixelFormat::Rgb8:
      return 3;
    case PixelFormat::Rgba16:
      return 8;
    case PixelFormat::Rgba8:
    case PixelFormat::Argb32:
      break;
  }
  return 4;
}

// How the merged image and the drawn document are laid out.
enum class CompositeLayout {
  Bytes,  ///< Rgb8, or Rgba8 when the picture has transparency
  Words,  ///< Argb32, alpha 255 throughout without transparency
};

// A picture the library hands out: rows from the top, each RowBytes long.
// Copies share the pixels; the pixels live as long as any copy does. An image
// without pixels has Width or Height 0 and no Pixels.
struct Image {
  int Width = 0;
  int Height = 0;
  PixelFormat Format = PixelFormat::Rgba8;
  std::size_t RowBytes = 0;
  std::shared_ptr<std::uint8_t[]> Pixels;

  // Row y's first byte.
  std::uint8_t* Row(int y) const { return Pixels.get() + static_cast<std::size_t>(y) * RowBytes; }
  // Every row, Height x RowBytes bytes.
  std::span<std::uint8_t> Bytes() const {
    return {Pixels.get(), Pixels ? static_cast<std::size_t>(Height) * RowBytes : 0};
  }
};

}  // namespace v0
}  // namespace plymark
