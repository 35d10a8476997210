#include "compose/blending/BlendIf.h"

#include <algorithm>

#include "psd/ColorModeCodes.h"

namespace plymark {
namespace {

float Grey(GreyOf grey, const std::array<const float*, 4>& planes, std::size_t at) {
  switch (grey) {
    case GreyOf::Luminosity:
      return 0.30f * planes[0][at] + 0.59f * planes[1][at] + 0.11f * planes[2][at];
    case GreyOf::Inks: {
      // Stored inks are inverted (1 is no ink): each times black's gives RGB.
      const float k = planes[3][at];
      return k * (0.30f * planes[0][at] + 0.59f * planes[1][at] + 0.11f * planes[2][at]);
    }
    case GreyOf::FirstChannel:
      break;
  }
  return planes[0][at];
}

float Steps(float value) {
  return std::clamp(value, 0.0f, 1.0f) * 255.0f;
}

// The weight of one side (this layer or the underlying) at one pixel.
float SideWeight(const std::array<BlendIfRange, 5>& ranges, const std::array<bool, 5>& full,
                 GreyOf grey, int channels, const std::array<const float*, 4>& planes,
                 std::size_t at) {
  float weight = full[0] ? 1.0f : ranges[0].Weight(Steps(Grey(grey, planes, at)));
  for (int c = 0; c < channels && weight > 0.0f; ++c) {
    const auto k = static_cast<std::size_t>(c);
    if (!full[k + 1]) weight *= ranges[k + 1].Weight(Steps(planes[k][at]));
  }
  return weight;
}

}  // namespace

GreyOf GreyOfColorMode(std::int16_t colorMode) {
  if (colorMode == color_mode::kRgb) return GreyOf::Luminosity;
  if (colorMode == color_mode::kCmyk) return GreyOf::Inks;
  return GreyOf::FirstChannel;
}

void ApplyBlendIf(const BlendIfRanges& ranges, GreyOf grey, int channels,
                  const std::array<const float*, 4>& source,
                  const std::array<const float*, 4>& underlying, float* coverage,
                  const BandArea& area) {
  channels = std::clamp(channels, 1, 4);
  std::array<bool, 5> sourceFull{};
  std::array<bool, 5> underlyingFull{};
  bool anySource = false;
  bool anyUnderlying = false;
  for (std::size_t k = 0; k < 5; ++k) {
    sourceFull[k] = ranges.Source[k].Full();
    underlyingFull[k] = ranges.Underlying[k].Full();
    anySource = anySource || !sourceFull[k];
    anyUnderlying = anyUnderlying || !underlyingFull[k];
  }
  if (grey == GreyOf::Inks && channels < 4) grey = GreyOf::FirstChannel;
  if (grey == GreyOf::Luminosity && channels < 3) grey = GreyOf::FirstChannel;
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    const std::size_t offset = static_cast<std::size_t>(row) * area.Stride;
    for (std::int32_t x = area.Left; x < area.Right; ++x) {
      const std::size_t at = offset + static_cast<std::size_t>(x);
      if (coverage[at] <= 0.0f) continue;
      float weight = 1.0f;
      if (anySource) weight = SideWeight(ranges.Source, sourceFull, grey, channels, source, at);
      if (anyUnderlying && weight > 0.0f) {
        weight *= SideWeight(ranges.Underlying, underlyingFull, grey, channels, underlying, at);
      }
      coverage[at] *= weight;
    }
  }
}

}  // namespace plymark
