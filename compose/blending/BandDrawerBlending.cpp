// The band drawer's advanced blending: knockouts, channel restrictions,
// blend-if, layers whose transparency does not shape them, artboards and
// clipping sets whose layers blend on their own.

#include <algorithm>
#include <utility>

#include "compose/BandDrawer.h"
#include "compose/blending/KeptChannels.h"
#include "compose/blending/ShapeFill.h"

namespace plymark {
namespace {

template <class Each>
void ForRows(const BandArea& area, Each&& each) {
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    const std::size_t offset = static_cast<std::size_t>(row) * area.Stride;
    each(offset + static_cast<std::size_t>(area.Left),
         offset + static_cast<std::size_t>(area.Right));
  }
}

void Fill(float* plane, const BandArea& area, float value) {
  ForRows(area,
          [&](std::size_t from, std::size_t to) { std::fill(plane + from, plane + to, value); });
}

void Copy(const float* from, float* into, const BandArea& area) {
  ForRows(area, [&](std::size_t begin, std::size_t end) {
    std::copy(from + begin, from + end, into + begin);
  });
}

bool Empty(const BandArea& area) {
  return area.FirstRow >= area.EndRow || area.Left >= area.Right;
}

}  // namespace

void BandDrawer::BlendNode(const RenderNode& node, const BlendRule& rule,
                           const std::array<float*, 4>& colours, float* coverage, int target,
                           int free, const BandArea& area, const float* transparency) {
  if (node.Blending.KnocksOut != Knockout::None) {
    BlendKnockout(node, rule, colours, coverage, target, free, area, transparency);
    return;
  }
  // A transparency apart from the shape acts as fill does: inside the
  // formula of the modes whose fill acts there, as coverage in the others.
  const bool pixelFill = transparency != nullptr && TraitsOf(rule.Mode).FillInsideFormula;
  if (transparency != nullptr && !pixelFill) {
    ForRows(area, [&](std::size_t from, std::size_t to) {
      for (std::size_t k = from; k < to; ++k) coverage[k] *= transparency[k];
    });
  }
  const BandPlanes& backdrop = levels_[static_cast<std::size_t>(target)];
  const SourcePlanes source{{colours[0], colours[1], colours[2], colours[3]}, coverage};
  const auto blendRows = [&](const BandArea& rows) {
    if (pixelFill) {
      BlendWithPixelFill(rule, source, transparency, backdrop, rows);
    } else {
      BlendSource(rule, source, backdrop, rows, blendScratch_[0]);
    }
  };
  if (node.Blending.KeptChannels != 0) {
    BlendKeepingChannels(node.Blending.KeptChannels, layout_.ColourChannels, backdrop, area,
                         keptRows_, blendRows);
  } else if (pixelFill) {
    blendRows(area);
  } else {
    Blend(rule, source, backdrop, area);
  }
}

void BandDrawer::BlendKnockout(const RenderNode& node, const BlendRule& rule,
                               const std::array<float*, 4>& colours, const float* coverage,
                               int target, int free, const BandArea& area,
                               const float* transparency) {
  const auto channels = static_cast<std::size_t>(layout_.ColourChannels);
  const BandPlanes& temp = levels_[static_cast<std::size_t>(free)];
  const BandPlanes& backdrop = levels_[static_cast<std::size_t>(target)];
  // What the knockout reveals, into the free level's colours and alpha (its
  // shape plane may hold the layer's transparency).
  const int revealed =
      node.Blending.KnocksOut == Knockout::Deep ? knockout_.Deep : knockout_.Shallow;
  for (std::size_t c = 0; c < channels; ++c) {
    if (revealed < 0) {
      Fill(temp.Colour[c], area, 0.0f);
    } else {
      Copy(levels_[static_cast<std::size_t>(revealed)].Colour[c], temp.Colour[c], area);
    }
  }
  if (revealed < 0) {
    Fill(temp.Alpha, area, 0.0f);
  } else {
    Copy(levels_[static_cast<std::size_t>(revealed)].Alpha, temp.Alpha, area);
  }
  // The layer blends onto it with its fill (and a transparency that does not
  // shape it) wherever it is: its shape comes in below.
  const SourcePlanes source{{colours[0], colours[1], colours[2], colours[3]}, nullptr};
  if (transparency != nullptr && TraitsOf(rule.Mode).FillInsideFormula) {
    BlendWithPixelFill(rule, source, transparency, temp, area);
  } else {
    const float* inside = transparency;
    if (inside == nullptr) {
      float* whole = shapes_[static_cast<std::size_t>(free)];
      Fill(whole, area, 1.0f);
      inside = whole;
    }
    Blend(rule, {source.Colour, inside}, temp, area);
  }
  // As far as the shape reaches, that replaces the backdrop; restricted
  // channels keep the backdrop's.
  MixWithSaved(temp, backdrop, layout_.ColourChannels, coverage, area);
  for (std::size_t c = 0; c < channels; ++c) {
    if (((node.Blending.KeptChannels >> c) & 1u) == 0)
      Copy(temp.Colour[c], backdrop.Colour[c], area);
  }
  Copy(temp.Alpha, backdrop.Alpha, area);
}

void BandDrawer::ApplyBlendIfOf(const RenderNode& node, const std::array<float*, 4>& source,
                                int target, const BandArea& area, float* coverage) {
  if (!node.Blending.BlendIf || Empty(area)) return;
  const BandPlanes& underlying = levels_[static_cast<std::size_t>(target)];
  ApplyBlendIf(
      *node.Blending.BlendIf, grey_, layout_.ColourChannels,
      {source[0], source[1], source[2], source[3]},
      {underlying.Colour[0], underlying.Colour[1], underlying.Colour[2], underlying.Colour[3]},
      coverage, area);
}

void BandDrawer::DrawArtboardBackground(const RenderNode& group, int level, const Extent& extent) {
  const std::optional<ArtboardPlan>& board = group.Blending.Artboard;
  if (!board || !board->Background) return;
  const BandArea area =
      AreaOf(Intersection(extent, {board->Top, board->Left, board->Bottom, board->Right}));
  if (Empty(area)) return;
  for (std::size_t c = 0; c < static_cast<std::size_t>(layout_.ColourChannels); ++c) {
    Fill(scratch_.Colour[c], area, (*board->Background)[c]);
  }
  Fill(scratch_.Alpha, area, 1.0f);
  const BlendRule rule{BlendMode::Normal, 1.0f, layout_.ColourChannels, kind_};
  Blend(rule,
        {{scratch_.Colour[0], scratch_.Colour[1], scratch_.Colour[2], scratch_.Colour[3]},
         scratch_.Alpha},
        levels_[static_cast<std::size_t>(level)], area);
}

void BandDrawer::DrawClipSetApart(const RenderNode& set, int target, int next,
                                  const Extent& extent) {
  const BandArea area = AreaOf(extent);
  const RenderNode& base = set.Children.front();
  float* shape = shapes_[static_cast<std::size_t>(next)];
  // The backdrop as it was, into `next`, whose shape plane takes the base's.
  CopyLevel(target, next, area);
  Fill(shape, area, 0.0f);
  const BlendRule rule{base.Mode, base.Fill, layout_.ColourChannels, kind_};
  if (base.Kind == NodeKind::Pixels) {
    const BandArea inside = AreaOf(Intersection(base.Area, extent));
    if (!Empty(inside)) {
      DecodeLayer(base, SourceOf(base), inside, shape);
      ApplyBlendIfOf(base, scratch_.Colour, target, inside, shape);
      Fill(scratch_.Alpha, inside, 1.0f);
      BlendNode(base, rule, scratch_.Colour, scratch_.Alpha, target, next + 1, inside);
    }
  } else {
    // An isolated group, drawn on its own level first.
    const int own = next + 1;
    const BandPlanes& drawn = levels_[static_cast<std::size_t>(own)];
    ClearLevel(own, area);
    DrawArtboardBackground(base, own, extent);
    const KnockoutBackdrops outside = std::exchange(knockout_, {});
    DrawMembers(base.Children, own, own + 1, extent);
    knockout_ = outside;
    Copy(drawn.Alpha, shape, area);
    MultiplyByMask(base, area, shape);
    ApplyBlendIfOf(base, drawn.Colour, target, area, shape);
    Fill(scratch_.Alpha, area, 1.0f);
    BlendNode(base, rule, drawn.Colour, scratch_.Alpha, target, own + 1, area);
  }
  const KnockoutBackdrops before = SaveKnockoutBackdrop(set, target, next + 1, area);
  const int nested = next + 1 + (set.Blending.SavesKnockoutBackdrop ? 1 : 0);
  for (std::size_t k = 1; k < set.Children.size(); ++k)
    Draw(set.Children[k], target, nested, extent);
  knockout_ = before;
  const float opacity = set.Opacity;
  ForRows(area, [&](std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) shape[k] *= opacity;
  });
  MixWithSaved(levels_[static_cast<std::size_t>(target)], levels_[static_cast<std::size_t>(next)],
               layout_.ColourChannels, shape, area);
}

BandDrawer::KnockoutBackdrops BandDrawer::SaveKnockoutBackdrop(const RenderNode& container,
                                                               int from, int saved,
                                                               const BandArea& area) {
  const KnockoutBackdrops before = knockout_;
  if (!container.Blending.SavesKnockoutBackdrop) return before;
  if (from != saved) CopyLevel(from, saved, area);
  knockout_.Shallow = saved;
  // Deep knockouts pass pass-through groups and clipping sets whose layers
  // blend on their own; the document and a set blended as a group stop them.
  const bool stopsDeep =
      container.Record < 0 || (container.Kind == NodeKind::ClipSet && container.ClipAsGroup);
  if (stopsDeep) knockout_.Deep = saved;
  return before;
}

}  // namespace plymark
