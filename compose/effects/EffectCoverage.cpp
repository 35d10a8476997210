#include "compose/effects/EffectCoverage.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace plymark {
namespace {

// The shape around the painted area, moved by the effect's offset and
// grown by `radius` on each side, in a plane of its own.
struct ShapeAround {
  std::vector<float>& Values;
  PlaneView Plane;
  std::int32_t Radius = 0;
  ShapeOffset Offset;

  // The plane's value under document pixel (y, x) of the painted area.
  float At(const Extent& area, std::int32_t y, std::int32_t x) const {
    return Plane.Row(y - area.Top + Radius)[x - area.Left + Radius];
  }
};

void ReadAround(const EffectInputs& inputs, std::int32_t radius, ShapeOffset offset,
                ShapeAround& around) {
  const Extent& area = inputs.Area;
  const Extent rect{area.Top - offset.Y - radius, area.Left - offset.X - radius,
                    area.Bottom - offset.Y + radius, area.Right - offset.X + radius};
  const std::int32_t width = rect.Right - rect.Left;
  const std::int32_t height = rect.Bottom - rect.Top;
  around.Values.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  around.Plane = {around.Values.data(), width, height, static_cast<std::size_t>(width)};
  around.Radius = radius;
  around.Offset = offset;
  inputs.ReadShape(rect, around.Values.data());
}

void Invert(const PlaneView& plane) {
  for (std::int32_t y = 0; y < plane.Height; ++y) {
    float* row = plane.Row(y);
    for (std::int32_t x = 0; x < plane.Width; ++x) row[x] = 1.0f - row[x];
  }
}

template <class Value>
void Write(const EffectInputs& inputs, float* coverage, const FilterScratch& scratch, Value value) {
  const Extent& area = inputs.Area;
  SplitRows(scratch, area.Bottom - area.Top, [&](std::int32_t from, std::int32_t to) {
    for (std::int32_t y = area.Top + from; y < area.Top + to; ++y) {
      const std::size_t row = static_cast<std::size_t>(y - area.Top) * inputs.Stride;
      for (std::int32_t x = area.Left; x < area.Right; ++x) {
        const std::size_t at = row + static_cast<std::size_t>(x - area.Left);
        coverage[at] = value(y, x, inputs.Shape[at]);
      }
    }
  });
}

// Shadows and softer glows: the shape grown by the spread (or choke) of its
// size, then blurred over the rest.
void SpreadAndBlur(const Effect& effect, const ShapeAround& around, FilterScratch& scratch) {
  Dilate(around.Plane, effect.Size * effect.Spread, scratch);
  BlurPlane(around.Plane, BlurOf(effect.Size * (1.0f - effect.Spread)), scratch);
}

// A glow's strength through its range and contour; a glow from the centre
// takes what one from the edges leaves.
float Glow(const Effect& effect, float value) {
  const float edge = std::min(1.0f, value / effect.Range);
  return effect.Shape(effect.FromCentre ? 1.0f - edge : edge);
}

// A precise glow: full within the spread of the edge, then fading out
// linearly by distance over the rest of its size.
void PreciseGlow(const Effect& effect, const ShapeAround& around, FilterScratch& scratch) {
  const PlaneView& plane = around.Plane;
  std::vector<float>& distance = scratch.Field;
  distance.resize(around.Values.size());
  const PlaneView field{distance.data(), plane.Width, plane.Height,
                        static_cast<std::size_t>(plane.Width)};
  SignedDistance(plane, field, effect.Size + 2.0f, true, false, scratch);
  const float solid = effect.Size * effect.Spread;
  const float fade = std::max(1.0f, effect.Size - solid);
  for (std::int32_t y = 0; y < plane.Height; ++y) {
    float* row = plane.Row(y);
    const float* d = field.Row(y);
    for (std::int32_t x = 0; x < plane.Width; ++x) {
      row[x] = std::max(row[x], std::clamp(1.0f - (d[x] - solid) / fade, 0.0f, 1.0f));
    }
  }
}

void Stroke(const Effect& effect, const EffectInputs& inputs, float* coverage,
            FilterScratch& scratch) {
  ShapeAround around{scratch.Around, {}, 0, {}};
  const auto radius = static_cast<std::int32_t>(std::ceil(effect.Size)) + 2;
  ReadAround(inputs, radius, {}, around);
  std::vector<float>& distance = scratch.Field;
  distance.resize(around.Values.size());
  const PlaneView field{distance.data(), around.Plane.Width, around.Plane.Height,
                        around.Plane.Stride};
  const bool outside = effect.Position != StrokePosition::Inside;
  const bool inside = effect.Position != StrokePosition::Outside;
  SignedDistance(around.Plane, field, effect.Size + 2.0f, outside, inside, scratch);
  const float size = effect.Size;
  const float low = effect.Position == StrokePosition::Outside  ? 0.0f
                    : effect.Position == StrokePosition::Centre ? -size / 2.0f
                                                                : -size;
  const float high = low + size;
  const Extent& area = inputs.Area;
  Write(inputs, coverage, scratch, [&](std::int32_t y, std::int32_t x, float) {
    const float d = field.Row(y - area.Top + radius)[x - area.Left + radius];
    // The part of the pixel's width around its centre that the band covers.
    return std::clamp(std::min(high, d + 0.5f) - std::max(low, d - 0.5f), 0.0f, 1.0f);
  });
}

// A stroked shape's stored pixels hold its vector stroke, which the maker
// draws above the overlays: whatever the stroke's alignment, its inner edge
// lies its width inside the edge of the shape stored.
void Inset(const Effect& effect, const EffectInputs& inputs, float* coverage,
           FilterScratch& scratch) {
  ShapeAround around{scratch.Around, {}, 0, {}};
  const auto radius = static_cast<std::int32_t>(std::ceil(effect.Inset)) + 2;
  ReadAround(inputs, radius, {}, around);
  std::vector<float>& distance = scratch.Field;
  distance.resize(around.Values.size());
  const PlaneView field{distance.data(), around.Plane.Width, around.Plane.Height,
                        around.Plane.Stride};
  SignedDistance(around.Plane, field, effect.Inset + 2.0f, false, true, scratch);
  const Extent& area = inputs.Area;
  Write(inputs, coverage, scratch, [&](std::int32_t y, std::int32_t x, float shape) {
    const float d = field.Row(y - area.Top + radius)[x - area.Left + radius];
    return std::min(shape, std::clamp(0.5f - effect.Inset - d, 0.0f, 1.0f));
  });
}

void Satin(const Effect& effect, const EffectInputs& inputs, float* coverage,
           FilterScratch& scratch) {
  const ShapeOffset offset = OffsetOf(effect);
  ShapeAround around{scratch.Around, {}, 0, {}};
  const std::int32_t reach = std::max(std::abs(offset.X), std::abs(offset.Y));
  ReadAround(inputs, BlurOf(effect.Size).Radius + reach + 1, {}, around);
  BlurPlane(around.Plane, BlurOf(effect.Size), scratch);
  const Extent& area = inputs.Area;
  Write(inputs, coverage, scratch, [&](std::int32_t y, std::int32_t x, float shape) {
    const float ahead = around.At(area, y - offset.Y, x - offset.X);
    const float behind = around.At(area, y + offset.Y, x + offset.X);
    const float value = effect.Shape(std::abs(ahead - behind));
    return (effect.Invert ? 1.0f - value : value) * shape;
  });
}

}  // namespace

void EffectCoverage(const Effect& effect, const EffectInputs& inputs, float* coverage,
                    FilterScratch& scratch) {
  const Extent& area = inputs.Area;
  ShapeAround around{scratch.Around, {}, 0, {}};
  switch (effect.Kind) {
    case EffectKind::DropShadow:
      ReadAround(inputs, InputRadiusOf(effect), OffsetOf(effect), around);
      SpreadAndBlur(effect, around, scratch);
      Write(inputs, coverage, scratch, [&](std::int32_t y, std::int32_t x, float shape) {
        const float shadow = effect.Shape(around.At(area, y, x));
        return effect.Knockout ? shadow * (1.0f - shape) : shadow;
      });
      return;
    case EffectKind::InnerShadow:
      ReadAround(inputs, InputRadiusOf(effect), OffsetOf(effect), around);
      Invert(around.Plane);
      SpreadAndBlur(effect, around, scratch);
      Write(inputs, coverage, scratch, [&](std::int32_t y, std::int32_t x, float shape) {
        return effect.Shape(around.At(area, y, x)) * shape;
      });
      return;
    case EffectKind::OuterGlow:
      ReadAround(inputs, InputRadiusOf(effect), {}, around);
      if (effect.Precise) {
        PreciseGlow(effect, around, scratch);
      } else {
        SpreadAndBlur(effect, around, scratch);
      }
      Write(inputs, coverage, scratch, [&](std::int32_t y, std::int32_t x, float) {
        return Glow(effect, around.At(area, y, x));
      });
      return;
    case EffectKind::InnerGlow:
      ReadAround(inputs, InputRadiusOf(effect), {}, around);
      Invert(around.Plane);
      if (effect.Precise) {
        PreciseGlow(effect, around, scratch);
      } else {
        SpreadAndBlur(effect, around, scratch);
      }
      Write(inputs, coverage, scratch, [&](std::int32_t y, std::int32_t x, float shape) {
        return Glow(effect, around.At(area, y, x)) * shape;
      });
      return;
    case EffectKind::Satin:
      Satin(effect, inputs, coverage, scratch);
      return;
    case EffectKind::Stroke:
      Stroke(effect, inputs, coverage, scratch);
      return;
    default:
      if (effect.Inset > 0.0f) {
        Inset(effect, inputs, coverage, scratch);
        return;
      }
      // Content and the overlays cover the shape itself.
      Write(inputs, coverage, scratch,
            [](std::int32_t, std::int32_t, float shape) { return shape; });
      return;
  }
}

void BevelCoverage(const Effect& effect, const EffectInputs& inputs, float* highlight,
                   float* shadow, FilterScratch& scratch) {
  const Extent& area = inputs.Area;
  const float size = std::max(1.0f, effect.Size);
  ShapeAround around{scratch.Around, {}, 0, {}};
  const std::int32_t radius = InputRadiusOf(effect);
  ReadAround(inputs, radius, {}, around);
  const PlaneView& plane = around.Plane;
  // The height of the surface: rising over `size` pixels from the edge,
  // inwards for an inner bevel, outwards for an outer one, across the edge
  // for the embosses.
  std::vector<float>& height = scratch.Field;
  height.resize(around.Values.size());
  const PlaneView field{height.data(), plane.Width, plane.Height, plane.Stride};
  SignedDistance(plane, field, size + 2.0f, true, true, scratch);
  for (std::int32_t y = 0; y < plane.Height; ++y) {
    float* h = field.Row(y);
    for (std::int32_t x = 0; x < plane.Width; ++x) {
      const float d = -h[x];  // inside positive
      switch (effect.Style) {
        case BevelStyle::Outer:
          h[x] = std::clamp((d + size) / size, 0.0f, 1.0f);
          break;
        case BevelStyle::Emboss:
          h[x] = std::clamp((d + size / 2.0f) / size, 0.0f, 1.0f);
          break;
        case BevelStyle::PillowEmboss:
          h[x] = d >= 0.0f ? std::clamp(d / (size / 2.0f), 0.0f, 1.0f)
                           : std::clamp(-d / (size / 2.0f), 0.0f, 1.0f) - 1.0f;
          break;
        default:
          h[x] = std::clamp(d / size, 0.0f, 1.0f);
          break;
      }
    }
  }
  if (effect.Technique == BevelTechnique::Smooth) BlurPlane(field, BlurOf(size), scratch);
  if (effect.Soften > 0.0f) BlurPlane(field, BlurOf(effect.Soften), scratch);
  // The light: from its angle, at its altitude above the surface.
  const double angle = effect.Angle * 3.14159265358979323846 / 180.0;
  const double altitude = effect.Altitude * 3.14159265358979323846 / 180.0;
  const auto lx = static_cast<float>(std::cos(altitude) * std::cos(angle));
  const auto ly = static_cast<float>(-std::cos(altitude) * std::sin(angle));
  const auto lz = static_cast<float>(std::sin(altitude));
  const float steep = size * effect.Depth * (effect.Up ? 1.0f : -1.0f);
  Write(inputs, highlight, scratch, [&](std::int32_t y, std::int32_t x, float shape) {
    const std::int32_t fy = y - area.Top + radius;
    const std::int32_t fx = x - area.Left + radius;
    const float gx = (field.Row(fy)[fx + 1] - field.Row(fy)[fx - 1]) * 0.5f * steep;
    const float gy = (field.Row(fy + 1)[fx] - field.Row(fy - 1)[fx]) * 0.5f * steep;
    const float light = (-gx * lx - gy * ly + lz) / std::sqrt(gx * gx + gy * gy + 1.0f);
    const float shade = effect.Shape(std::clamp(light, 0.0f, 1.0f));
    const float where = effect.Style == BevelStyle::Inner   ? shape
                        : effect.Style == BevelStyle::Outer ? 1.0f - shape
                                                            : 1.0f;
    const std::size_t at = static_cast<std::size_t>(y - area.Top) * inputs.Stride +
                           static_cast<std::size_t>(x - area.Left);
    shadow[at] = std::clamp((lz - shade) / lz, 0.0f, 1.0f) * where;
    return std::clamp((shade - lz) / (1.0f - lz + 1e-6f), 0.0f, 1.0f) * where;
  });
}

}  // namespace plymark
