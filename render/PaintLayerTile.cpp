#include "render/PaintLayerTile.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plymark {
namespace {

std::uint32_t ImageWord(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  return 0xff000000u | (red << 16) | (green << 8) | blue;
}

}  // namespace

void PaintLayerTile(const DocumentState& state, int tile, TileSurface& tiles) {
  const auto width = static_cast<std::size_t>(state.TileWidth);
  const PixelRecord* record = state.Pixels.data();
  for (std::int32_t y = 0; y < state.TileHeight; ++y) {
    std::uint32_t* row = tiles.ImageRow(tile, y);
    for (std::size_t x = 0; x < width; ++x, ++record) {
      row[x] = ImageWord(static_cast<std::uint32_t>(record->Red),
                         static_cast<std::uint32_t>(record->Green),
                         static_cast<std::uint32_t>(record->Blue));
    }
  }
  tiles.ShowImage(tile);
}

void PaintRow(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
              std::size_t width, PixelRecord* records, std::uint32_t* imageRow) {
  static_assert(sizeof(PixelRecord) == 6, "three 16-bit components, no padding");
  if (width == 0) return;
  std::size_t x = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(records);
  // Records are written as 8-byte stores, in order, each one's top two bytes
  // overwritten by the next; the row's last record, whose neighbour may
  // belong to a row being written elsewhere, gets exactly its six bytes.
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i opaque = _mm_set1_epi8(static_cast<char>(0xff));
  for (; x + 16 < width; x += 16) {
    const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + x));
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + x));
    if (records != nullptr) {
      for (int half = 0; half < 2; ++half) {
        const __m128i r16 = half == 0 ? _mm_unpacklo_epi8(r, zero) : _mm_unpackhi_epi8(r, zero);
        const __m128i g16 = half == 0 ? _mm_unpacklo_epi8(g, zero) : _mm_unpackhi_epi8(g, zero);
        const __m128i b16 = half == 0 ? _mm_unpacklo_epi8(b, zero) : _mm_unpackhi_epi8(b, zero);
        for (int quarter = 0; quarter < 2; ++quarter) {
          const __m128i rg =
              quarter == 0 ? _mm_unpacklo_epi16(r16, g16) : _mm_unpackhi_epi16(r16, g16);
          const __m128i b32 =
              quarter == 0 ? _mm_unpacklo_epi16(b16, zero) : _mm_unpackhi_epi16(b16, zero);
          const __m128i first = _mm_unpacklo_epi32(rg, b32);  // records 0 and 1, 8 bytes each
          const __m128i second = _mm_unpackhi_epi32(rg, b32);
          unsigned char* at = bytes + 6 * (x + 8 * static_cast<std::size_t>(half) +
                                           4 * static_cast<std::size_t>(quarter));
          _mm_storel_epi64(reinterpret_cast<__m128i*>(at), first);
          _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 6), _mm_unpackhi_epi64(first, first));
          _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 12), second);
          _mm_storel_epi64(reinterpret_cast<__m128i*>(at + 18), _mm_unpackhi_epi64(second, second));
        }
      }
    }
    if (imageRow != nullptr) {
      // 0xffRRGGBB words: bytes B, G, R, 0xff from the lowest address up.
      const __m128i bgLow = _mm_unpacklo_epi8(b, g);
      const __m128i bgHigh = _mm_unpackhi_epi8(b, g);
      const __m128i raLow = _mm_unpacklo_epi8(r, opaque);
      const __m128i raHigh = _mm_unpackhi_epi8(r, opaque);
      auto* out = reinterpret_cast<__m128i*>(imageRow + x);
      _mm_storeu_si128(out, _mm_unpacklo_epi16(bgLow, raLow));
      _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(bgLow, raLow));
      _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(bgHigh, raHigh));
      _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(bgHigh, raHigh));
    }
  }
#endif
  const std::size_t vectorEnd = x;
  if (records != nullptr) {
    if constexpr (std::endian::native == std::endian::little) {
      for (; x + 1 < width; ++x) {
        const std::uint64_t record = std::uint64_t{red[x]} | (std::uint64_t{green[x]} << 16) |
                                     (std::uint64_t{blue[x]} << 32);
        std::memcpy(bytes + 6 * x, &record, sizeof record);
      }
    }
    for (; x < width; ++x) records[x] = PixelRecord{red[x], green[x], blue[x]};
  }
  if (imageRow == nullptr) return;
  for (x = vectorEnd; x < width; ++x) imageRow[x] = ImageWord(red[x], green[x], blue[x]);
}

}  // namespace plymark
