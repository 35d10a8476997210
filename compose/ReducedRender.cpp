#include "compose/ReducedRender.h"

#include <algorithm>

namespace plymark {

ReducedRender::ReducedRender(const DocumentState& state, int size)
    : rows_(state),
      width_(std::max(0, state.Header.Columns)),
      height_(std::max(0, state.Header.Rows)),
      factor_(std::max(1, std::max(width_, height_) / std::max(1, size))) {
  picture_.Width = (width_ + factor_ - 1) / factor_;
  picture_.Height = (height_ + factor_ - 1) / factor_;
  picture_.HasAlpha = rows_.HasAlpha();
  picture_.Pixels.assign(static_cast<std::size_t>(picture_.Width) * picture_.Height, 0);
  words_.resize(static_cast<std::size_t>(width_));
  sums_.resize(static_cast<std::size_t>(picture_.Width) * 4);
}

void ReducedRender::TakeBand(const RenderedBand& band) {
  if (band.Width != width_) return;
  for (std::int32_t r = 0; r < band.Rows; ++r) {
    const std::int32_t y = band.Top + r;
    if (y < 0 || y >= height_) continue;
    if (y / factor_ != sumRow_) {
      FinishRow();
      sumRow_ = y / factor_;
    }
    rows_.Words(band, r, words_.data());
    for (std::int32_t x = 0; x < width_; ++x) {
      const std::uint32_t word = words_[static_cast<std::size_t>(x)];
      const std::uint64_t alpha = word >> 24;
      std::uint64_t* sum = sums_.data() + static_cast<std::size_t>(x / factor_) * 4;
      sum[0] += alpha * ((word >> 16) & 0xff);
      sum[1] += alpha * ((word >> 8) & 0xff);
      sum[2] += alpha * (word & 0xff);
      sum[3] += alpha;
    }
  }
}

void ReducedRender::FinishRow() {
  if (sumRow_ < 0) return;
  const std::int64_t rows = std::min(factor_, height_ - sumRow_ * factor_);
  std::uint32_t* out = picture_.Pixels.data() + static_cast<std::size_t>(sumRow_) * picture_.Width;
  for (std::int32_t x = 0; x < picture_.Width; ++x) {
    std::uint64_t* sum = sums_.data() + static_cast<std::size_t>(x) * 4;
    const std::uint64_t count =
        static_cast<std::uint64_t>(std::min(factor_, width_ - x * factor_) * rows);
    const std::uint64_t coverage = sum[3];
    if (coverage > 0) {
      const auto mean = [coverage](std::uint64_t total) {
        return static_cast<std::uint32_t>((total + coverage / 2) / coverage);
      };
      out[x] = static_cast<std::uint32_t>((coverage + count / 2) / count) << 24 |
               mean(sum[0]) << 16 | mean(sum[1]) << 8 | mean(sum[2]);
    }
    std::fill(sum, sum + 4, 0);
  }
  sumRow_ = -1;
}

SrgbPicture ReducedRender::TakePicture() {
  FinishRow();
  return std::move(picture_);
}

}  // namespace plymark
