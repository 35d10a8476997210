#include <algorithm>
#include <array>
#include <cmath>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ReaderSupport.h"
#include "compose/adjustments/RgbPixel.h"
#include "psd/BinaryAdjustments.h"

namespace plymark::adjustments {
namespace {

// The nine colours in the block's order.
enum Range { kReds, kYellows, kGreens, kCyans, kBlues, kMagentas, kWhites, kNeutrals, kBlacks };
constexpr std::size_t kRanges = 9;

// Cyan, magenta, yellow and black, -1..1.
using Inks = std::array<float, 4>;

// How much of each colour a pixel holds, 0 to 1: a primary (reds, greens,
// blues) where it is the largest component, by how far it lies above the
// middle one; a secondary (yellows, cyans, magentas) where its complement is
// the smallest, by how far the middle one lies above it; whites by how far
// the smallest lies above half, blacks by how far the largest lies below;
// neutrals the rest of the way from both.
std::array<float, kRanges> Shares(const float* rgb) {
  int hi = 0;
  int lo = 0;
  for (int c = 1; c < 3; ++c) {
    if (rgb[c] > rgb[hi]) hi = c;
    if (rgb[c] < rgb[lo]) lo = c;
  }
  std::array<float, kRanges> shares{};
  if (hi != lo) {
    const int mid = 3 - hi - lo;
    constexpr Range kPrimary[3] = {kReds, kGreens, kBlues};
    constexpr Range kComplement[3] = {kCyans, kMagentas, kYellows};
    shares[kPrimary[hi]] = rgb[hi] - rgb[mid];
    shares[kComplement[lo]] = rgb[mid] - rgb[lo];
  }
  const float high = rgb[hi];
  const float low = rgb[lo];
  shares[kWhites] = std::max(0.0f, 2.0f * low - 1.0f);
  shares[kBlacks] = std::max(0.0f, 1.0f - 2.0f * high);
  shares[kNeutrals] = std::max(0.0f, 1.0f - std::abs(high - 0.5f) - std::abs(low - 0.5f));
  return shares;
}

// Adds each colour's inks in proportion to how much of it a pixel holds. A
// channel's ink is 1 less its value (cyan for red, magenta for green,
// yellow for blue); relative adds a share of the ink there is, absolute of
// the whole; black darkens every channel in proportion to its value,
// relative by the pixel's own black (1 less its largest component). These
// follow the maker's description of the two methods; the development
// corpus holds no selective colour to measure.
class SelectiveColour final : public Adjustment {
 public:
  SelectiveColour(const std::array<Inks, kRanges>& inks, bool relative)
      : inks_(inks), relative_(relative) {}

  void Apply(std::span<float* const> channels, std::size_t count) const override {
    if (channels.size() < 3) return;
    for (std::size_t i = 0; i < count; ++i) {
      float rgb[3];
      ClampedRgb(channels, i, rgb);
      const std::array<float, kRanges> shares = Shares(rgb);
      const float black = 1.0f - std::max({rgb[0], rgb[1], rgb[2]});
      float out[3] = {rgb[0], rgb[1], rgb[2]};
      for (std::size_t range = 0; range < kRanges; ++range) {
        if (shares[range] <= 0.0f) continue;
        const Inks& add = inks_[range];
        for (std::size_t c = 0; c < 3; ++c) {
          const float ink = relative_ ? (1.0f - rgb[c]) * add[c] : add[c];
          const float darker = rgb[c] * add[3] * (relative_ ? black : 1.0f);
          out[c] -= shares[range] * (ink + darker);
        }
      }
      for (std::size_t c = 0; c < 3; ++c) channels[c][i] = std::clamp(out[c], 0.0f, 1.0f);
    }
  }

 private:
  std::array<Inks, kRanges> inks_;
  bool relative_;
};

}  // namespace

AdjustmentRead ReadSelectiveColour(std::span<const std::uint8_t> data,
                                   const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const SelectiveColourFields fields = ReadSelectiveColourFields(cursor);
  if (space.ColorMode != color_mode::kRgb) return NotDrawnIn("selective colour", space);
  std::array<Inks, kRanges> inks{};
  for (std::size_t range = 0; range < kRanges; ++range) {
    for (std::size_t k = 0; k < 4; ++k) {
      inks[range][k] =
          static_cast<float>(std::clamp<int>(fields.Colours[range][k], -100, 100)) / 100.0f;
    }
  }
  return {std::make_unique<SelectiveColour>(inks, fields.Method == 0), {}};
}

}  // namespace plymark::adjustments
