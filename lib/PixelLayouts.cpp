#include "lib/PixelLayouts.h"

#include <bit>
#include <cstring>
#include <memory>

namespace plymark {
inline namespace v0 {
namespace {

static_assert(std::endian::native == std::endian::little,
              "Argb32 words are turned into bytes as a little-endian machine stores them");

// Memory owned by `owner`, seen as the bytes of a picture.
template <typename Owner>
std::shared_ptr<std::uint8_t[]> BytesOf(std::shared_ptr<Owner> owner) {
  auto* bytes = reinterpret_cast<std::uint8_t*>(owner->data());
  return std::shared_ptr<std::uint8_t[]>(std::move(owner), bytes);
}

}  // namespace

Image WordPicture(MergedImage merged) {
  Image picture;
  picture.Width = merged.Width;
  picture.Height = merged.Height;
  picture.Format = PixelFormat::Argb32;
  picture.RowBytes = static_cast<std::size_t>(merged.Width) * 4;
  picture.Pixels = BytesOf(std::make_shared<std::vector<std::uint32_t>>(std::move(merged.Pixels)));
  return picture;
}

void WordsToRgba(Image& picture, const std::optional<std::vector<std::uint8_t>>& alpha) {
  const std::size_t count =
      static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height);
  std::uint8_t* bytes = picture.Pixels.get();
  const std::uint8_t* opacity = alpha && alpha->size() >= count ? alpha->data() : nullptr;
  // Word 0xAARRGGBB, stored B, G, R, A, becomes R, G, B, A: red and blue swap.
  for (std::size_t k = 0; k < count; ++k) {
    std::uint32_t word;
    std::memcpy(&word, bytes + 4 * k, 4);
    word = (word & 0x0000ff00u) | ((word >> 16) & 0xffu) | ((word & 0xffu) << 16) |
           (opacity != nullptr ? std::uint32_t{opacity[k]} << 24 : 0xff000000u);
    std::memcpy(bytes + 4 * k, &word, 4);
  }
  picture.Format = PixelFormat::Rgba8;
}

void WordsToBytes(Image& picture, bool keepAlpha) {
  if (keepAlpha) {
    const std::size_t count =
        static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height);
    std::uint8_t* bytes = picture.Pixels.get();
    for (std::size_t k = 0; k < count; ++k) {
      std::uint32_t word;
      std::memcpy(&word, bytes + 4 * k, 4);
      word = (word & 0xff00ff00u) | ((word >> 16) & 0xffu) | ((word & 0xffu) << 16);
      std::memcpy(bytes + 4 * k, &word, 4);
    }
    picture.Format = PixelFormat::Rgba8;
    return;
  }
  // Three bytes are written where four were read, front to back: each word is
  // read before any of its bytes is written over.
  const std::size_t count =
      static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height);
  std::uint8_t* bytes = picture.Pixels.get();
  for (std::size_t k = 0; k < count; ++k) {
    std::uint32_t word;
    std::memcpy(&word, bytes + 4 * k, 4);
    bytes[3 * k] = static_cast<std::uint8_t>(word >> 16);
    bytes[3 * k + 1] = static_cast<std::uint8_t>(word >> 8);
    bytes[3 * k + 2] = static_cast<std::uint8_t>(word);
  }
  picture.Format = PixelFormat::Rgb8;
  picture.RowBytes = static_cast<std::size_t>(picture.Width) * 3;
}

template <typename Sample>
Image GreyPicture(std::vector<Sample> plane, int width, int height) {
  Image picture;
  picture.Format = sizeof(Sample) == 1 ? PixelFormat::Gray8 : PixelFormat::Gray16;
  if (plane.empty()) return picture;
  picture.Width = width;
  picture.Height = height;
  picture.RowBytes = static_cast<std::size_t>(width) * sizeof(Sample);
  picture.Pixels = BytesOf(std::make_shared<std::vector<Sample>>(std::move(plane)));
  return picture;
}

template Image GreyPicture(std::vector<std::uint8_t> plane, int width, int height);
template Image GreyPicture(std::vector<std::uint16_t> plane, int width, int height);

}  // namespace v0
}  // namespace plymark
