#include <algorithm>
#include <array>
#include <cmath>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/BinaryAdjustments.h"

namespace plymark::adjustments {
namespace {

constexpr int kMostChannels = 4;

// One output channel: the sum of the colour channels each by its weight,
// plus a constant.
struct Mix {
  std::array<float, kMostChannels> Weights{};
  float Constant = 0;
};

// Each output channel mixed from the input's colour channels (the input
// read whole before any is written). A monochrome mixer gives every
// channel the first mix. CMYK mixes inks, not the stored (inverted) values.
// Results are clipped to 0..1, a 32-bit document's only below. The development corpus holds the
// mixer only as it starts (each channel from itself), so the mixing is not measured.
class ChannelMixer final : public Adjustment {
 public:
  ChannelMixer(std::vector<Mix> mixes, bool inks, bool unbounded)
      : mixes_(std::move(mixes)), inks_(inks), ceiling_(unbounded ? HUGE_VALF : 1.0f) {}

  void Apply(std::span<float* const> channels, std::size_t count) const override {
    const std::size_t used = std::min(channels.size(), mixes_.size());
    std::array<float, kMostChannels> in{};
    for (std::size_t i = 0; i < count; ++i) {
      for (std::size_t c = 0; c < used; ++c) {
        const float v = channels[c][i];
        in[c] = std::isnan(v) ? 0.0f : std::max(v, 0.0f);
        if (inks_) in[c] = 1.0f - std::min(in[c], 1.0f);
      }
      for (std::size_t c = 0; c < used; ++c) {
        float out = mixes_[c].Constant;
        for (std::size_t k = 0; k < used; ++k) out += mixes_[c].Weights[k] * in[k];
        out = std::clamp(out, 0.0f, ceiling_);
        channels[c][i] = inks_ ? 1.0f - out : out;
      }
    }
  }

 private:
  std::vector<Mix> mixes_;
  bool inks_;
  float ceiling_;
};

Mix ToMix(const MixerChannelFields& stored) {
  Mix mix;
  for (std::size_t k = 0; k < mix.Weights.size(); ++k) {
    mix.Weights[k] = static_cast<float>(std::clamp<int>(stored.Sources[k], -200, 200)) / 100.0f;
  }
  mix.Constant = static_cast<float>(std::clamp<int>(stored.Constant, -200, 200)) / 100.0f;
  return mix;
}

}  // namespace

// Weights and constants in percent, -200..200 as in the dialog; one record
// per output channel (RGB uses three of the four).
AdjustmentRead ReadChannelMixer(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const ChannelMixerFields fields = ReadChannelMixerFields(cursor);
  if (space.ColorMode != color_mode::kRgb && space.ColorMode != color_mode::kCmyk) {
    return NotDrawnIn("channel mixer", space);
  }
  const auto channels = static_cast<std::size_t>(std::min(space.ColourChannels, kMostChannels));
  if (fields.Channels.size() < (fields.Monochrome ? 1 : channels)) {
    return {nullptr, "channel mixer adjustment (its settings hold " +
                         std::to_string(fields.Channels.size()) + " channels)"};
  }
  std::vector<Mix> mixes;
  for (std::size_t c = 0; c < channels; ++c) {
    mixes.push_back(ToMix(fields.Channels[fields.Monochrome ? 0 : c]));
  }
  const bool inks = space.ColorMode == color_mode::kCmyk;
  return {std::make_unique<ChannelMixer>(std::move(mixes), inks, space.Depth == 32 && !inks), {}};
}

}  // namespace plymark::adjustments
