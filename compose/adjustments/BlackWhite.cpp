#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ReaderSupport.h"
#include "compose/adjustments/RgbPixel.h"
#include "psd/Descriptor.h"
#include "psd/DescriptorColour.h"

namespace plymark::adjustments {
namespace {

// The dialog's six weights, in the order of the colours round the hue
// circle: reds, yellows, greens, cyans, blues, magentas.
using HueWeights = std::array<float, 6>;

// A colour's grey: its smallest component, plus what lies above the middle
// one weighted by the primary the largest component names, plus what lies
// between the smallest and the middle one weighted by the secondary the two
// largest name. Grey stays grey; pure red takes the reds' weight, yellow the
// yellows'. The development corpus holds black & white only over white, so
// this is not measured beyond that.
float Grey(const float* rgb, const HueWeights& weights) {
  int hi = 0;
  int lo = 0;
  for (int c = 1; c < 3; ++c) {
    if (rgb[c] > rgb[hi]) hi = c;
    if (rgb[c] < rgb[lo]) lo = c;
  }
  if (hi == lo) return rgb[0];
  const int mid = 3 - hi - lo;
  // Primaries red 0, green 2, blue 4; the secondary of two primaries lies
  // between them (yellow 1, cyan 3, magenta 5).
  constexpr int kPrimary[3] = {0, 2, 4};
  constexpr int kSecondary[3][3] = {{-1, 1, 5}, {1, -1, 3}, {5, 3, -1}};
  const float primary = weights[static_cast<std::size_t>(kPrimary[hi])];
  const float secondary = weights[static_cast<std::size_t>(kSecondary[hi][mid])];
  return rgb[lo] + (rgb[hi] - rgb[mid]) * primary + (rgb[mid] - rgb[lo]) * secondary;
}

class BlackWhite final : public Adjustment {
 public:
  BlackWhite(const HueWeights& weights, std::optional<std::array<float, 3>> tint)
      : weights_(weights), tint_(tint) {}

  void Apply(std::span<float* const> channels, std::size_t count) const override {
    if (channels.size() < 3) return;
    for (std::size_t i = 0; i < count; ++i) {
      float rgb[3];
      ClampedRgb(channels, i, rgb);
      const float grey = std::clamp(Grey(rgb, weights_), 0.0f, 1.0f);
      float out[3] = {grey, grey, grey};
      // The tint colours the grey as the colour blend mode would: the tint's
      // hue and saturation at the grey's luminance.
      if (tint_) SetLuminance(tint_->data(), grey, out);
      for (std::size_t c = 0; c < 3; ++c) channels[c][i] = std::clamp(out[c], 0.0f, 1.0f);
    }
  }

 private:
  HueWeights weights_;
  std::optional<std::array<float, 3>> tint_;
};

}  // namespace

// The `blwh` descriptor: the weights 'Rd  ', 'Yllw', 'Grn ', 'Cyn ', 'Bl  ',
// 'Mgnt' in percent (-200..300), 'useTint' and 'tintColor'.
AdjustmentRead ReadBlackWhite(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const Descriptor settings = ReadVersionedDescriptor(cursor);
  // The maker's defaults for weights the descriptor leaves out.
  constexpr std::array<const char*, 6> kKeys = {"Rd  ", "Yllw", "Grn ", "Cyn ", "Bl  ", "Mgnt"};
  constexpr HueWeights kDefaults = {40, 60, 40, 60, 20, 80};
  HueWeights weights{};
  for (std::size_t k = 0; k < kKeys.size(); ++k) {
    const double value = settings.Number(kKeys[k]).value_or(kDefaults[k]);
    weights[k] =
        std::isfinite(value) ? static_cast<float>(std::clamp(value, -200.0, 300.0)) / 100.0f : 0.0f;
  }
  std::optional<std::array<float, 3>> tint;
  if (settings.Boolean("useTint").value_or(false)) {
    const Descriptor* colour = settings.Object("tintColor");
    const auto read = colour != nullptr ? ReadColour(*colour) : std::nullopt;
    if (!read || read->Model != "RGBC") {
      return {nullptr, "black & white adjustment (its tint is not an RGB colour)"};
    }
    std::array<float, 3> rgb{};
    for (std::size_t c = 0; c < 3; ++c) {
      const double component = read->Components[c];
      rgb[c] = std::isfinite(component)
                   ? static_cast<float>(std::clamp(component, 0.0, 255.0)) / 255.0f
                   : 0.0f;
    }
    tint = rgb;
  }
  if (space.ColorMode != color_mode::kRgb) return NotDrawnIn("black & white", space);
  return {std::make_unique<BlackWhite>(weights, tint), {}};
}

}  // namespace plymark::adjustments
