#include <algorithm>
#include <cmath>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ChannelTables.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/BinaryAdjustments.h"

namespace plymark::adjustments {
namespace {

struct ExposureSettings {
  float Gain = 1;    ///< 2^exposure, the exposure being in stops
  float Offset = 0;  ///< added to linear light
  float Gamma = 1;   ///< gamma correction: light^(1 / Gamma)
};

// Exposure works on linear light: a 32-bit document's values as they are,
// an 8- or 16-bit document's taken through gamma 2.2 and back (measured:
// within 1/255 of the maker's 8-bit merged images but for the darkest
// levels, where the maker is up to 2/255 darker).
// Results are capped at the largest value a half-float image holds, so that
// 20 stops over a bright 32-bit value stay finite.
float Expose(const ExposureSettings& settings, float light) {
  constexpr float kLargestLight = 65504.0f;
  const float exposed = std::clamp(light * settings.Gain + settings.Offset, 0.0f, kLargestLight);
  return settings.Gamma == 1.0f ? exposed
                                : std::min(kLargestLight, std::pow(exposed, 1.0f / settings.Gamma));
}

class LinearExposure final : public Adjustment {
 public:
  explicit LinearExposure(ExposureSettings settings) : settings_(settings) {}
  void Apply(std::span<float* const> channels, std::size_t count) const override {
    for (float* plane : channels) {
      for (std::size_t i = 0; i < count; ++i) {
        plane[i] = std::isnan(plane[i]) ? 0.0f : Expose(settings_, plane[i]);
      }
    }
  }

 private:
  ExposureSettings settings_;
};

}  // namespace

AdjustmentRead ReadExposure(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const ExposureFields fields = ReadExposureFields(cursor);
  if (!std::isfinite(fields.Exposure) || !std::isfinite(fields.Offset) ||
      !std::isfinite(fields.Gamma)) {
    return {nullptr, "exposure adjustment (its settings hold a number that is not finite)"};
  }
  ExposureSettings settings;
  // The dialog's ranges: -20..20 stops, offset -0.5..0.5, gamma 0.01..9.99.
  settings.Gain = std::exp2(std::clamp(fields.Exposure, -20.0f, 20.0f));
  settings.Offset = std::clamp(fields.Offset, -0.5f, 0.5f);
  settings.Gamma = std::clamp(fields.Gamma, 0.01f, 9.99f);
  if (space.ColorMode != color_mode::kRgb && !IsOneTone(space.ColorMode)) {
    return NotDrawnIn("exposure", space);
  }
  if (space.Depth == 32) return {std::make_unique<LinearExposure>(settings), {}};

  constexpr float kEncodingGamma = 2.2f;
  auto table = SampleToneTable(ToneTableIntervals(space.Depth), [&](float v) {
    const float light = Expose(settings, std::pow(v, kEncodingGamma));
    return std::min(1.0f, std::pow(light, 1.0f / kEncodingGamma));
  });
  return {std::make_unique<ChannelTables>(std::vector<std::vector<float>>(
              static_cast<std::size_t>(space.ColourChannels), table)),
          {}};
}

}  // namespace plymark::adjustments
