#include "compose/RenderedRows.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/DeepSamples.h"
#include "render/MergedImage.h"

namespace plymark {
namespace {

// NaN counts as 0, as it does for stored 32-bit samples.
float Clamped(float value) {
  return value > 0.0f ? std::min(value, 1.0f) : 0.0f;
}

std::uint8_t Byte(float value) {
  return static_cast<std::uint8_t>(Clamped(value) * 255.0f + 0.5f);
}

// The 16-bit sample a value stands for: the merged image's 16-bit samples
// are scaled from it exactly as from the stored ones.
std::uint16_t Sample16(float value) {
  return static_cast<std::uint16_t>(Clamped(value) * 65535.0f + 0.5f);
}

// Byte() of `count` values; four at a time where SSE2 is, with the same
// arithmetic (maxps gives its second operand, 0, for NaN).
void BytesOfValues(const float* in, std::size_t count, std::uint8_t* out) {
  std::size_t x = 0;
#if defined(__SSE2__)
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 scale = _mm_set1_ps(255.0f);
  const __m128 half = _mm_set1_ps(0.5f);
  const auto quarter = [&](const float* at) {
    const __m128 value = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(at), zero), one);
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(value, scale), half));
  };
  for (; x + 16 <= count; x += 16) {
    const __m128i low = _mm_packs_epi32(quarter(in + x), quarter(in + x + 4));
    const __m128i high = _mm_packs_epi32(quarter(in + x + 8), quarter(in + x + 12));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(low, high));
  }
#endif
  for (; x < count; ++x) out[x] = Byte(in[x]);
}

// colour x coverage + white x (1 - coverage), coverage clamped to 0..1.
void Flattened(const float* colour, const float* alpha, float white, std::size_t count,
               float* out) {
  std::size_t x = 0;
#if defined(__SSE2__)
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 whites = _mm_set1_ps(white);
  for (; x + 4 <= count; x += 4) {
    const __m128 coverage = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(alpha + x), zero), one);
    _mm_storeu_ps(out + x, _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(colour + x), coverage),
                                      _mm_mul_ps(whites, _mm_sub_ps(one, coverage))));
  }
#endif
  for (; x < count; ++x) {
    const float coverage = Clamped(alpha[x]);
    out[x] = colour[x] * coverage + white * (1.0f - coverage);
  }
}

}  // namespace

RenderedRows::RenderedRows(const DocumentState& state)
    : colours_(StoredColoursOf(state.Header.ColorMode, state.Header.Depth, state.Colour.get(),
                               state.ColorTable)),
      depth_(state.Header.Depth) {
  const int transparency =
      MergedTransparencyChannel(state.Header.Channels, state.Header.ColorMode, state.Resources,
                                state.MergedTransparencyBlock);
  hasAlpha_ = MergedImageHasAlpha(MergedLayoutOf(state.Header, transparency));
  flattened_ = !hasAlpha_ && colours_.Model != ColourModel::Indexed;
  for (std::size_t p = 0; p < white_.size(); ++p) {
    white_[p] = colours_.Model == ColourModel::Lab && p > 0 ? 0.5f : 1.0f;
  }
}

void RenderedRows::Resize(std::size_t width) {
  if (words_.size() == width) return;
  for (auto& plane : planes_) plane.resize(width);
  for (auto& plane : wide_) plane.resize(depth_ == 16 ? width : 0);
  alpha_.resize(width);
  words_.resize(width);
  flat_.resize(width);
  zeros_.assign(width, 0.0f);
}

void RenderedRows::Words(const RenderedBand& band, std::int32_t row, std::uint32_t* out) {
  const auto width = static_cast<std::size_t>(band.Width);
  Resize(width);
  const std::size_t start = static_cast<std::size_t>(row) * width;
  const float* alpha = band.Alpha != nullptr ? band.Alpha + start : nullptr;
  StoredRow stored;
  if (hasAlpha_) {
    std::uint8_t* narrow = alpha_.data();
    if (alpha == nullptr) {
      std::fill(alpha_.begin(), alpha_.end(), std::uint8_t{255});
    } else if (depth_ == 16) {
      for (std::size_t x = 0; x < width; ++x)
        narrow[x] = static_cast<std::uint8_t>(ComponentOf16BitSample(Sample16(alpha[x])));
    } else {
      BytesOfValues(alpha, width, narrow);
    }
    stored.Alpha = narrow;
  }
  for (int plane = 0; plane < colours_.Planes; ++plane) {
    const auto p = static_cast<std::size_t>(plane);
    const float* colour = plane < band.ColourChannels && band.Colour[p] != nullptr
                              ? band.Colour[p] + start
                              : zeros_.data();
    if (flattened_ && alpha != nullptr) {
      Flattened(colour, alpha, white_[p], width, flat_.data());
      colour = flat_.data();
    }
    std::uint8_t* narrow = planes_[p].data();
    stored.Planes[p] = narrow;
    if (depth_ == 16 && colours_.Conversion != nullptr) {
      std::uint16_t* wide = wide_[p].data();
      for (std::size_t x = 0; x < width; ++x) wide[x] = Sample16(colour[x]);
      stored.Wide[p] = wide;
      stored.Planes[p] = nullptr;
    } else if (depth_ == 16) {
      for (std::size_t x = 0; x < width; ++x)
        narrow[x] = static_cast<std::uint8_t>(ComponentOf16BitSample(Sample16(colour[x])));
    } else if (depth_ == 32) {
      for (std::size_t x = 0; x < width; ++x)
        narrow[x] = static_cast<std::uint8_t>(ComponentOfFloatSample(colour[x]));
    } else {
      BytesOfValues(colour, width, narrow);
    }
  }
  SrgbRow(colours_, stored, width, scratch_, out);
}

void RenderedRows::Bytes(const RenderedBand& band, std::int32_t row, std::uint8_t* out) {
  Resize(static_cast<std::size_t>(band.Width));
  Words(band, row, words_.data());
  if (hasAlpha_) {
    for (const std::uint32_t word : words_) {
      out[0] = static_cast<std::uint8_t>(word >> 16);
      out[1] = static_cast<std::uint8_t>(word >> 8);
      out[2] = static_cast<std::uint8_t>(word);
      out[3] = static_cast<std::uint8_t>(word >> 24);
      out += 4;
    }
    return;
  }
  for (const std::uint32_t word : words_) {
    out[0] = static_cast<std::uint8_t>(word >> 16);
    out[1] = static_cast<std::uint8_t>(word >> 8);
    out[2] = static_cast<std::uint8_t>(word);
    out += 3;
  }
}

}  // namespace plymark
