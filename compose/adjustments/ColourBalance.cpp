#include <algorithm>
#include <cmath>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ChannelTables.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/BinaryAdjustments.h"

namespace plymark::adjustments {
namespace {

constexpr float kSliderRange = 100.0f;

// One channel's balance as levels, in the 0..255 of the dialog: shadows
// towards the channel's complement raise its black point, highlights
// towards the channel lower its white point, and the midtones, shadows
// towards the channel and highlights away from it bend its gamma.
float Balance(float shadows, float midtones, float highlights, float value) {
  const float black = std::max(0.0f, -shadows);
  const float white = 255.0f - std::max(0.0f, highlights);
  const float lift = shadows > 0.0f ? shadows / kSliderRange : 0.0f;
  const float sink = highlights < 0.0f ? highlights / kSliderRange : 0.0f;
  const float exponent = std::exp2(-midtones / kSliderRange + sink * sink - lift * lift);
  const float x = value * 255.0f;
  const float t = white - black >= 1.0f ? std::clamp((x - black) / (white - black), 0.0f, 1.0f)
                                        : (x >= black ? 1.0f : 0.0f);
  return std::pow(t, exponent);
}

}  // namespace

// Measured on the maker's 8-bit merged images (each range alone and all
// nine sliders at -100 and 100, with and without "preserve luminosity"):
// within 2/255. Each channel takes its slider in every range (cyan-red for
// red, magenta-green for green, yellow-blue for blue). With "preserve
// luminosity" (the dialog's default) only the sliders' differences count:
// each range's sliders less the largest (shadows), the smallest
// (highlights) or their mean (midtones), so moving all three alike does
// nothing. CMYK's stored (inverted) inks take the sliders as red, green and
// blue; black stays.
AdjustmentRead ReadColourBalance(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const ColourBalanceFields fields = ReadColourBalanceFields(cursor);
  if (space.ColorMode != color_mode::kRgb && space.ColorMode != color_mode::kCmyk) {
    return NotDrawnIn("colour balance", space);
  }
  std::array<std::array<float, 3>, 3> ranges{};
  for (std::size_t range = 0; range < 3; ++range) {
    for (std::size_t c = 0; c < 3; ++c) {
      ranges[range][c] =
          std::clamp(static_cast<float>(fields.Ranges[range][c]), -kSliderRange, kSliderRange);
    }
  }
  // Plain references: clang does not let lambdas capture structured bindings.
  auto& shadows = ranges[0];
  auto& midtones = ranges[1];
  auto& highlights = ranges[2];
  if (fields.PreserveLuminosity) {
    const float darkest = *std::max_element(shadows.begin(), shadows.end());
    const float lightest = *std::min_element(highlights.begin(), highlights.end());
    const float mean = (midtones[0] + midtones[1] + midtones[2]) / 3.0f;
    for (std::size_t c = 0; c < 3; ++c) {
      shadows[c] -= darkest;
      highlights[c] -= lightest;
      midtones[c] -= mean;
    }
  }
  std::vector<std::vector<float>> tables(static_cast<std::size_t>(space.ColourChannels));
  for (std::size_t c = 0; c < 3 && c < tables.size(); ++c) {
    tables[c] = SampleToneTable(ToneTableIntervals(space.Depth), [&](float v) {
      return Balance(shadows[c], midtones[c], highlights[c], v);
    });
  }
  return {std::make_unique<ChannelTables>(std::move(tables)), {}};
}

}  // namespace plymark::adjustments
