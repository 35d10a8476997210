#include "compose/blending/ShapeFill.h"

#include <type_traits>

#include "compose/BlendFormulas.h"

namespace plymark {
namespace {

constexpr float kTiny = 1e-30f;

template <class Formula>
void BlendRows(const Formula& formula, const BlendRule& rule, const SourcePlanes& source,
               const float* transparency, const BandPlanes& backdrop, const BandArea& area,
               float neutral) {
  const auto channels = static_cast<std::size_t>(rule.Channels);
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    const std::size_t offset = static_cast<std::size_t>(row) * area.Stride;
    for (std::int32_t x = area.Left; x < area.Right; ++x) {
      const std::size_t at = offset + static_cast<std::size_t>(x);
      const float a = source.Coverage == nullptr ? 1.0f : source.Coverage[at];
      const float f = transparency[at] * rule.Fill;
      const float b = backdrop.Alpha[at];
      const float result = b + a * f * (1.0f - b);
      const float inverse = 1.0f / (result + kTiny);
      const float ws = a * f * (1.0f - b) * inverse;
      const float wb = a * b * inverse;
      const float wd = (1.0f - a) * b * inverse;
      for (std::size_t c = 0; c < channels; ++c) {
        const float s = source.Colour[c][at];
        const float d = backdrop.Colour[c][at];
        backdrop.Colour[c][at] = ws * s + wb * formula(d, neutral + f * (s - neutral)) + wd * d;
      }
      backdrop.Alpha[at] = result;
    }
  }
}

}  // namespace

void BlendWithPixelFill(const BlendRule& rule, const SourcePlanes& source,
                        const float* transparency, const BandPlanes& backdrop,
                        const BandArea& area) {
  const float neutral = TraitsOf(rule.Mode).Neutral;
  blend::VisitBlendMode(rule.Mode, [&](const auto& formula) {
    using Formula = std::decay_t<decltype(formula)>;
    if constexpr (Formula::kSeparable) {
      BlendRows(formula, rule, source, transparency, backdrop, area, neutral);
    }
  });
}

}  // namespace plymark
