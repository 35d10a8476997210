#include "compose/effects/EffectGeometry.h"

#include <algorithm>
#include <cmath>

namespace plymark {

ShapeOffset OffsetOf(const Effect& effect) {
  if (effect.Kind != EffectKind::DropShadow && effect.Kind != EffectKind::InnerShadow &&
      effect.Kind != EffectKind::Satin) {
    return {};
  }
  // The shape moves away from the light: down for light from above (90).
  const double radians = effect.Angle * 3.14159265358979323846 / 180.0;
  return {static_cast<std::int32_t>(std::lround(-effect.Distance * std::cos(radians))),
          static_cast<std::int32_t>(std::lround(effect.Distance * std::sin(radians)))};
}

BoxBlur BlurOf(float size) {
  BoxBlur blur;
  blur.Widths = {1, 1, 1};
  if (!(size > 0.0f)) return blur;
  // Fitted on the maker's shadows and glows: blurred sizes 7, 12.45 and 16
  // took boxes 5, 11 and 13 wide.
  const auto half =
      static_cast<std::int32_t>(std::floor(0.41f * std::min(size, kLargestEffectSize)));
  blur.Widths = {2 * half + 1, 2 * half + 1, 2 * half + 1};
  blur.Radius = 3 * half;
  return blur;
}

namespace {

std::int32_t Ceil(float value) {
  return static_cast<std::int32_t>(std::ceil(value));
}

// The blur and the spread (or choke) of shadows and softer glows.
std::int32_t SpreadAndBlur(const Effect& effect) {
  return Ceil(effect.Size * effect.Spread) + BlurOf(effect.Size * (1.0f - effect.Spread)).Radius +
         1;
}

}  // namespace

std::int32_t InputRadiusOf(const Effect& effect) {
  switch (effect.Kind) {
    case EffectKind::DropShadow:
    case EffectKind::InnerShadow:
      return SpreadAndBlur(effect);
    case EffectKind::OuterGlow:
    case EffectKind::InnerGlow:
      return effect.Precise ? Ceil(effect.Size) + 2 : SpreadAndBlur(effect);
    case EffectKind::Satin: {
      const ShapeOffset offset = OffsetOf(effect);
      return BlurOf(effect.Size).Radius + std::max(std::abs(offset.X), std::abs(offset.Y)) + 1;
    }
    case EffectKind::Stroke:
      return Ceil(effect.Size) + 2;
    case EffectKind::Bevel:
      return Ceil(effect.Size + effect.Soften) + BlurOf(effect.Size).Radius + 2;
    default:
      return effect.Inset > 0.0f ? Ceil(effect.Inset) + 2 : 0;
  }
}

std::int32_t ReachOf(const Effect& effect) {
  switch (effect.Kind) {
    case EffectKind::DropShadow: {
      const ShapeOffset offset = OffsetOf(effect);
      return std::max(std::abs(offset.X), std::abs(offset.Y)) + InputRadiusOf(effect);
    }
    case EffectKind::OuterGlow:
      return InputRadiusOf(effect);
    case EffectKind::Stroke:
      return effect.Position == StrokePosition::Inside ? 0 : Ceil(effect.Size) + 1;
    case EffectKind::Bevel:
      return effect.Style == BevelStyle::Inner ? 0 : Ceil(effect.Size) + 1;
    default:
      return 0;
  }
}

}  // namespace plymark
