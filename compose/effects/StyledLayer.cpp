// BandDrawer's drawing of a layer with effects.

#include <algorithm>
#include <array>
#include <utility>

#include "compose/BandDrawer.h"
#include "compose/effects/EffectDrawing.h"
#include "compose/effects/LayerStyle.h"

namespace plymark {
namespace {

// What "blend interior effects as group" gathers with the content.
bool Interior(EffectKind kind) {
  switch (kind) {
    case EffectKind::Content:
    case EffectKind::PatternOverlay:
    case EffectKind::GradientOverlay:
    case EffectKind::ColourOverlay:
    case EffectKind::Satin:
    case EffectKind::InnerGlow:
      return true;
    default:
      return false;
  }
}

template <class Each>
void ForRows(const BandArea& area, Each&& each) {
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    const std::size_t offset = static_cast<std::size_t>(row) * area.Stride;
    each(row, offset + static_cast<std::size_t>(area.Left),
         offset + static_cast<std::size_t>(area.Right));
  }
}

template <class Each>
void ForArea(const BandArea& area, Each&& each) {
  ForRows(area, [&](std::int32_t, std::size_t from, std::size_t to) { each(from, to); });
}

void FillArea(float* plane, const BandArea& area, float value) {
  ForArea(area,
          [&](std::size_t from, std::size_t to) { std::fill(plane + from, plane + to, value); });
}

// A stroke that lies within the layer's shape.
bool InsideStroke(const Effect& effect) {
  return effect.Kind == EffectKind::Stroke && effect.Position == StrokePosition::Inside;
}

bool InPart(const Effect& effect, StyledPart part) {
  const EffectKind kind = effect.Kind;
  switch (part) {
    case StyledPart::Under:
      return kind < EffectKind::Content;
    case StyledPart::Lower:
      return kind < EffectKind::Stroke;
    case StyledPart::Above:
      return kind >= EffectKind::Stroke;
    case StyledPart::AboveOutside:
      return kind >= EffectKind::Stroke && !InsideStroke(effect);
    default:
      return true;
  }
}

// Calls each(from, to) for the runs of a row's columns [left, right) whose
// coverage is not 0, runs less than kGap apart taken as one.
template <class Each>
void ForCoveredRuns(const float* coverage, std::int32_t left, std::int32_t right, Each&& each) {
  constexpr std::int32_t kGap = 32;
  std::int32_t x = left;
  while (x < right) {
    while (x < right && coverage[x] == 0.0f) ++x;
    if (x == right) return;
    const std::int32_t from = x;
    std::int32_t end = x + 1;
    for (; x < right && x - end < kGap; ++x) {
      if (coverage[x] != 0.0f) end = x + 1;
    }
    each(from, end);
    x = end;
  }
}

SourcePlanes PlanesOf(const BandPlanes& planes) {
  return {{planes.Colour[0], planes.Colour[1], planes.Colour[2], planes.Colour[3]}, planes.Alpha};
}

}  // namespace

EffectDrawing& BandDrawer::Effects() {
  if (effects_ == nullptr) {
    effects_ = std::make_unique<EffectDrawing>(state_, layout_.Width, layout_.Rows,
                                               layout_.ColourChannels);
    effects_->Filters.Helper = &helper_;
  }
  return *effects_;
}

const float* BandDrawer::StyledShape() {
  return Effects().Shape;
}

void BandDrawer::DrawStyled(const RenderNode& node, int target, int next, const Extent& extent,
                            StyledPart part) {
  const float* clip = std::exchange(clipShape_, nullptr);
  const BandArea area = AreaOf(extent);
  EffectDrawing& effects = Effects();
  effects.BeginBand(node, top_, rows_);
  const Extent rows{top_ + area.FirstRow, area.Left, top_ + area.EndRow, area.Right};
  const EffectInputs inputs = effects.Inputs(node, rows, top_, omissions_);
  const bool hiding = std::any_of(node.Masks.begin(), node.Masks.end(),
                                  [&](const MaskPlan& mask) { return HidesEffects(node, mask); });
  // The layer's opacity, a clipping base's shape and the masks that hide the
  // effects fade the whole: drawn at full strength, then mixed with the
  // backdrop as it was.
  const bool mixing = node.Opacity < 1.0f || clip != nullptr || hiding;
  const BandPlanes& out = levels_[static_cast<std::size_t>(target)];
  if (mixing) CopyLevel(target, next, area);
  const int interiorLevel = mixing ? next + 1 : next;
  const BandPlanes& interior = levels_[static_cast<std::size_t>(interiorLevel)];
  bool gathering = false;
  const auto flush = [&] {
    // The gathered content and interior effects blend with the layer's mode
    // and fill.
    gathering = false;
    const BlendRule rule{node.Mode, node.Fill, layout_.ColourChannels, kind_};
    Blend(rule, PlanesOf(interior), out, area);
  };
  for (const Effect& effect : node.Style->Effects) {
    if (!InPart(effect, part)) continue;
    const bool gathered = node.InteriorAsGroup && Interior(effect.Kind);
    if (gathered && !gathering) {
      ClearLevel(interiorLevel, area);
      gathering = true;
    } else if (!gathered && gathering) {
      flush();
    }
    const BandPlanes& onto = gathered ? interior : out;
    if (effect.Kind == EffectKind::Content) {
      DrawStyledContent(node, area, onto, gathered);
    } else if (effect.Kind == EffectKind::Bevel) {
      DrawBevel(effect, inputs, area, onto);
    } else {
      DrawEffect(effect, inputs, area, onto);
    }
  }
  if (gathering) flush();
  if (!mixing) return;
  FillArea(scratch_.Alpha, area, 1.0f);
  ScaleCoverage(area, node.Opacity, clip);
  MultiplyByMask(node, area, scratch_.Alpha, HidesEffects);
  MixWithSaved(out, levels_[static_cast<std::size_t>(next)], layout_.ColourChannels, scratch_.Alpha,
               area);
}

void BandDrawer::DrawStyledClipBase(const RenderNode& base, int set, const Extent& extent) {
  const BandArea area = AreaOf(extent);
  EffectDrawing& effects = Effects();
  effects.BeginBand(base, top_, rows_);
  const Extent rows{top_ + area.FirstRow, area.Left, top_ + area.EndRow, area.Right};
  const EffectInputs inputs = effects.Inputs(base, rows, top_, omissions_);
  const BandPlanes& onto = levels_[static_cast<std::size_t>(set)];
  float* shape = shapes_[static_cast<std::size_t>(set)];
  ForArea(area, [&](std::size_t from, std::size_t to) {
    std::copy(effects.Shape + from, effects.Shape + to, shape + from);
  });
  // Inside the shape the base counts with its fill only, as without effects;
  // its interior effects lie on it, under the clipped layers.
  DecodeStyledColours(base, area);
  FillArea(scratch_.Alpha, area, base.Fill);
  Blend({BlendMode::Normal, 1.0f, layout_.ColourChannels, kind_}, PlanesOf(scratch_), onto, area);
  for (const Effect& effect : base.Style->Effects) {
    if (effect.Kind > EffectKind::Content && effect.Kind < EffectKind::Stroke) {
      DrawEffect(effect, inputs, area, onto);
    }
  }
}

void BandDrawer::DrawStyledInsideAbove(const RenderNode& base, int set, const Extent& extent) {
  const BandArea area = AreaOf(Intersection(base.Area, extent));
  if (area.Left >= area.Right || area.FirstRow >= area.EndRow) return;
  EffectDrawing& effects = Effects();
  effects.BeginBand(base, top_, rows_);
  const Extent rows{top_ + area.FirstRow, area.Left, top_ + area.EndRow, area.Right};
  const EffectInputs inputs = effects.Inputs(base, rows, top_, omissions_);
  // The maker's merged images show such a stroke wholly over the pixels it
  // covers of the base's anti-aliased edge.
  for (const Effect& effect : base.Style->Effects) {
    if (InsideStroke(effect)) {
      DrawEffect(effect, inputs, area, levels_[static_cast<std::size_t>(set)],
                 shapes_[static_cast<std::size_t>(set)]);
    }
  }
}

void BandDrawer::DecodeStyledColours(const RenderNode& node, const BandArea& area) {
  LayerSource& source = SourceOf(node);
  const Extent inside =
      Intersection(node.Rect, {top_ + area.FirstRow, area.Left, top_ + area.EndRow, area.Right});
  std::array<PlacedChannel*, 4> channels{};
  for (int c = 0; c < layout_.ColourChannels; ++c) {
    float* plane = scratch_.Colour[static_cast<std::size_t>(c)];
    FillArea(plane, area, 0.0f);
    channels[static_cast<std::size_t>(c)] = source.Colour(c);
  }
  if (!inside.Empty()) {
    const auto work = [&](int part) {
      for (int c = part; c < layout_.ColourChannels; c += 2) {
        if (PlacedChannel* channel = channels[static_cast<std::size_t>(c)]) {
          channel->Fill(top_, inside.Top, inside.Bottom, inside.Left, inside.Right,
                        scratch_.Colour[static_cast<std::size_t>(c)], stride_,
                        rowScratch_[static_cast<std::size_t>(part)]);
        }
      }
    };
    helper_.Share(work);
  }
}

void BandDrawer::DrawStyledContent(const RenderNode& node, const BandArea& area,
                                   const BandPlanes& onto, bool isolated) {
  DecodeStyledColours(node, area);
  const float* shape = Effects().Shape;
  ForArea(area, [&](std::size_t from, std::size_t to) {
    std::copy(shape + from, shape + to, scratch_.Alpha + from);
  });
  const BlendRule rule = isolated
                             ? BlendRule{BlendMode::Normal, 1.0f, layout_.ColourChannels, kind_}
                             : BlendRule{node.Mode, node.Fill, layout_.ColourChannels, kind_};
  Blend(rule, PlanesOf(scratch_), onto, area);
}

void BandDrawer::DrawEffect(const Effect& effect, const EffectInputs& inputs, const BandArea& area,
                            const BandPlanes& onto, const float* within) {
  EffectDrawing& effects = Effects();
  const std::size_t first =
      static_cast<std::size_t>(area.FirstRow) * stride_ + static_cast<std::size_t>(area.Left);
  EffectCoverage(effect, inputs, effects.Paint.Alpha + first, effects.Filters);
  if (within != nullptr) {
    ForArea(area, [&](std::size_t from, std::size_t to) {
      float* coverage = effects.Paint.Alpha;
      for (std::size_t k = from; k < to; ++k) {
        coverage[k] = within[k] > 0.0f ? std::min(1.0f, coverage[k] / within[k]) : 0.0f;
      }
    });
  }
  const BlendRule rule{effect.Mode, 1.0f, layout_.ColourChannels, kind_};
  const SourcePlanes source = PlanesOf(effects.Paint);
  // Painted and blended only where the effect covers anything: a source of no
  // coverage leaves the backdrop as it is, and shadows, glows and strokes
  // cover little of the rows they cross.
  const auto rows = [&](std::int32_t firstRow, std::int32_t endRow, int thread) {
    for (std::int32_t row = firstRow; row < endRow; ++row) {
      const std::size_t offset = static_cast<std::size_t>(row) * stride_;
      ForCoveredRuns(effects.Paint.Alpha + offset, area.Left, area.Right,
                     [&](std::int32_t from, std::int32_t to) {
                       const std::size_t at = offset + static_cast<std::size_t>(from);
                       const auto count = static_cast<std::size_t>(to - from);
                       std::array<float*, 4> colour{};
                       for (std::size_t c = 0; c < static_cast<std::size_t>(layout_.ColourChannels);
                            ++c) {
                         colour[c] = effects.Paint.Colour[c] + at;
                       }
                       effect.Fill->FillRow(
                           top_ + row, from, to - from,
                           std::span<float* const>(
                               colour.data(), static_cast<std::size_t>(layout_.ColourChannels)),
                           effects.PaintAlpha + at);
                       float* coverage = effects.Paint.Alpha + at;
                       const float* own = effects.PaintAlpha + at;
                       for (std::size_t x = 0; x < count; ++x) {
                         coverage[x] *= own[x] * effect.Opacity;
                       }
                       BlendSource(rule, source, onto, {row, row + 1, from, to, stride_},
                                   blendScratch_[static_cast<std::size_t>(thread)]);
                     });
    }
  };
  const std::int32_t middle = area.FirstRow + (area.EndRow - area.FirstRow) / 2;
  helper_.Share([&](int part) {
    if (part == 0) {
      rows(area.FirstRow, middle, 0);
    } else {
      rows(middle, area.EndRow, 1);
    }
  });
}

void BandDrawer::DrawBevel(const Effect& effect, const EffectInputs& inputs, const BandArea& area,
                           const BandPlanes& onto) {
  EffectDrawing& effects = Effects();
  const std::size_t first =
      static_cast<std::size_t>(area.FirstRow) * stride_ + static_cast<std::size_t>(area.Left);
  BevelCoverage(effect, inputs, effects.Paint.Alpha + first, effects.Second + first,
                effects.Filters);
  const auto count = static_cast<std::size_t>(area.Right - area.Left);
  const auto paint = [&](const Paint& fill, const float* strength, float opacity) {
    ForRows(area, [&](std::int32_t row, std::size_t from, std::size_t) {
      std::array<float*, 4> colour{};
      for (std::size_t c = 0; c < static_cast<std::size_t>(layout_.ColourChannels); ++c) {
        colour[c] = effects.Paint.Colour[c] + from;
      }
      fill.FillRow(
          top_ + row, area.Left, static_cast<std::int32_t>(count),
          std::span<float* const>(colour.data(), static_cast<std::size_t>(layout_.ColourChannels)),
          effects.PaintAlpha + from);
      float* coverage = effects.Paint.Alpha + from;
      for (std::size_t x = 0; x < count; ++x) {
        coverage[x] = strength[from + x] * effects.PaintAlpha[from + x] * opacity;
      }
    });
  };
  // The shadow first, into the paint's coverage once the highlight is kept.
  ForArea(area, [&](std::size_t from, std::size_t to) {
    std::copy(effects.Paint.Alpha + from, effects.Paint.Alpha + to, scratch_.Alpha + from);
  });
  paint(*effect.ShadowFill, effects.Second, effect.ShadowOpacity);
  Blend({effect.ShadowMode, 1.0f, layout_.ColourChannels, kind_}, PlanesOf(effects.Paint), onto,
        area);
  paint(*effect.Fill, scratch_.Alpha, effect.Opacity);
  Blend({effect.Mode, 1.0f, layout_.ColourChannels, kind_}, PlanesOf(effects.Paint), onto, area);
}

}  // namespace plymark
