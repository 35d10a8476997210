#include "lib/PixelLayouts.h"

#include <bit>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Words 0xAARRGGBB, stored B, G, R, A, become R, G, B, A in place: red and
// blue swap. Alpha comes from `opacity` (one byte a pixel), is kept
// (`keepAlpha`) or becomes 255.
void SwapRedAndBlue(std::uint8_t* bytes, std::size_t count, const std::uint8_t* opacity,
                    bool keepAlpha = false) {
  const std::uint32_t kept = keepAlpha ? 0xff00ff00u : 0x0000ff00u;
  const std::uint32_t opaque = keepAlpha ? 0u : 0xff000000u;
  std::size_t k = 0;
#if defined(__SSE2__)
  const __m128i keepMask = _mm_set1_epi32(static_cast<int>(kept));
  const __m128i low = _mm_set1_epi32(0xff);
  const __m128i zero = _mm_setzero_si128();
  for (; k + 4 <= count; k += 4) {
    auto* at = reinterpret_cast<__m128i*>(bytes + 4 * k);
    const __m128i words = _mm_loadu_si128(at);
    __m128i swapped = _mm_or_si128(_mm_and_si128(words, keepMask),
                                   _mm_or_si128(_mm_and_si128(_mm_srli_epi32(words, 16), low),
                                                _mm_slli_epi32(_mm_and_si128(words, low), 16)));
    if (opacity != nullptr) {
      std::int32_t four;
      std::memcpy(&four, opacity + k, 4);
      const __m128i bytes4 = _mm_cvtsi32_si128(four);
      const __m128i alpha = _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes4, zero), zero);
      swapped = _mm_or_si128(swapped, _mm_slli_epi32(alpha, 24));
    } else {
      swapped = _mm_or_si128(swapped, _mm_set1_epi32(static_cast<int>(opaque)));
    }
    _mm_storeu_si128(at, swapped);
  }
#endif
  for (; k < count; ++k) {
    std::uint32_t word;
    std::memcpy(&word, bytes + 4 * k, 4);
    word = (word & kept) | ((word >> 16) & 0xffu) | ((word & 0xffu) << 16) |
           (opacity != nullptr ? std::uint32_t{opacity[k]} << 24 : opaque);
    std::memcpy(bytes + 4 * k, &word, 4);
  }
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

Image WordPicture(SrgbPicture drawn) {
  Image picture;
  picture.Format = PixelFormat::Argb32;
  if (drawn.Pixels.empty()) return picture;
  picture.Width = drawn.Width;
  picture.Height = drawn.Height;
  picture.RowBytes = static_cast<std::size_t>(drawn.Width) * 4;
  picture.Pixels = BytesOf(std::make_shared<std::vector<std::uint32_t>>(std::move(drawn.Pixels)));
  return picture;
}

void WordsToRgba(Image& picture, const std::optional<std::vector<std::uint8_t>>& alpha) {
  const std::size_t count =
      static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height);
  const std::uint8_t* opacity = alpha && alpha->size() >= count ? alpha->data() : nullptr;
  SwapRedAndBlue(picture.Pixels.get(), count, opacity);
  picture.Format = PixelFormat::Rgba8;
}

void WordsToBytes(Image& picture, bool keepAlpha) {
  const std::size_t count =
      static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height);
  std::uint8_t* bytes = picture.Pixels.get();
  if (keepAlpha) {
    SwapRedAndBlue(bytes, count, nullptr, true);
    picture.Format = PixelFormat::Rgba8;
    return;
  }
  // Three bytes are written where four were read, front to back: each word is
  // read before any of its bytes is written over.
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
