#include "compose/BandDrawer.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

#include "compose/Paint.h"
#include "compose/blending/KeptChannels.h"
#include "compose/effects/EffectDrawing.h"
#include "compose/fills/PathCoverage.h"
#include "psd/PsdError.h"

namespace plymark {
namespace {

// Open ZIP streams kept from band to band; the others are opened again for
// each band and inflated up to where they were.
constexpr int kOpenStreams = 128;

// Work on fewer pixels stays on one thread: sharing it costs more.
constexpr std::int64_t kSharedPixels = 16384;

bool Empty(const BandArea& area) {
  return area.FirstRow >= area.EndRow || area.Left >= area.Right;
}

std::int64_t Pixels(const BandArea& area) {
  return static_cast<std::int64_t>(area.EndRow - area.FirstRow) * (area.Right - area.Left);
}

template <class Each>
void ForArea(const BandArea& area, Each&& each) {
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    const std::size_t offset = static_cast<std::size_t>(row) * area.Stride;
    each(offset + static_cast<std::size_t>(area.Left),
         offset + static_cast<std::size_t>(area.Right));
  }
}

void FillArea(float* plane, const BandArea& area, float value) {
  ForArea(area,
          [&](std::size_t from, std::size_t to) { std::fill(plane + from, plane + to, value); });
}

}  // namespace

template <class Work>
void BandDrawer::ShareRows(const BandArea& area, Work&& work) {
  if (Pixels(area) < kSharedPixels) {
    work(area, 0);
    return;
  }
  BandArea first = area;
  BandArea second = area;
  if (area.EndRow - area.FirstRow >= 2) {
    first.EndRow = second.FirstRow = area.FirstRow + (area.EndRow - area.FirstRow) / 2;
  } else {
    first.Right = second.Left = area.Left + (area.Right - area.Left) / 2;
  }
  auto halves = [&](int part) { work(part == 0 ? first : second, part); };
  helper_.Share(halves);
}

std::size_t BandLayout::PlanesFor(int colourChannels, int levels) {
  // Each level: colours, alpha and a clipping set's shape; then a layer's
  // colours, coverage and mask.
  return static_cast<std::size_t>(levels + 1) * static_cast<std::size_t>(colourChannels + 2);
}

std::size_t BandLayout::Floats() const {
  return PlanesFor(ColourChannels, Levels) * static_cast<std::size_t>(Width) *
         static_cast<std::size_t>(Rows);
}

BandDrawer::BandDrawer(const DocumentState& state, const RenderTree& tree, const BandLayout& layout,
                       NonSeparable kind, std::vector<std::string>& omissions)
    : state_(state),
      tree_(tree),
      layout_(layout),
      kind_(kind),
      omissions_(omissions),
      stride_(static_cast<std::size_t>(layout.Width)),
      grey_(GreyOfColorMode(state.Header.ColorMode)) {
  storage_.assign(layout.Floats(), 0.0f);
  const std::size_t plane = stride_ * static_cast<std::size_t>(layout.Rows);
  float* next = storage_.data();
  const auto take = [&] {
    float* taken = next;
    next += plane;
    return taken;
  };
  for (int level = 0; level < layout.Levels; ++level) {
    BandPlanes planes;
    for (int c = 0; c < layout.ColourChannels; ++c)
      planes.Colour[static_cast<std::size_t>(c)] = take();
    planes.Alpha = take();
    levels_.push_back(planes);
    shapes_.push_back(take());
  }
  for (int c = 0; c < layout.ColourChannels; ++c)
    scratch_.Colour[static_cast<std::size_t>(c)] = take();
  scratch_.Alpha = take();
  maskPlane_ = take();
}

BandDrawer::~BandDrawer() = default;

BandArea BandDrawer::AreaOf(const Extent& extent) const {
  BandArea area;
  area.FirstRow = std::max(top_, extent.Top) - top_;
  area.EndRow = std::max(area.FirstRow, std::min(top_ + rows_, extent.Bottom) - top_);
  area.Left = extent.Left;
  area.Right = std::max(extent.Left, extent.Right);
  area.Stride = stride_;
  return area;
}

void BandDrawer::DrawBand(std::int32_t top, std::int32_t rows) {
  top_ = top;
  rows_ = rows;
  const Extent whole{top, 0, top + rows, layout_.Width};
  ShareRows(AreaOf(whole), [&](const BandArea& part, int) { ClearLevel(0, part); });
  knockout_ = {};
  const std::vector<RenderNode>& members = tree_.Root.Children;
  if (tree_.Root.Blending.SavesKnockoutBackdrop) {
    // Knockouts reveal the background layer, the first drawn.
    Draw(members.front(), 0, 2, whole);
    SaveKnockoutBackdrop(tree_.Root, 0, 1, AreaOf(whole));
    for (std::size_t k = 1; k < members.size(); ++k) Draw(members[k], 0, 2, whole);
  } else {
    DrawMembers(members, 0, 1, whole);
  }
  ReleaseFinished();
}

void BandDrawer::DrawMembers(const std::vector<RenderNode>& nodes, int target, int next,
                             const Extent& limit) {
  for (const RenderNode& node : nodes) Draw(node, target, next, limit);
}

void BandDrawer::Draw(const RenderNode& node, int target, int next, const Extent& limit) {
  const Extent area = Intersection(node.Area, limit);
  if (Empty(AreaOf(area))) return;
  switch (node.Kind) {
    case NodeKind::Pixels:
      if (node.Style != nullptr) {
        DrawStyled(node, target, next, area);
      } else {
        DrawPixels(node, target, next, area);
      }
      return;
    case NodeKind::Adjustment:
      DrawAdjustment(node, target, area);
      return;
    case NodeKind::Group:
      DrawGroup(node, target, next, area);
      return;
    case NodeKind::ClipSet:
      DrawClipSet(node, target, next, area);
      return;
  }
}

LayerSource& BandDrawer::SourceOf(const RenderNode& node) {
  auto& source = sources_[&node];
  if (source == nullptr) {
    source = std::make_unique<LayerSource>(state_, node, layout_.ColourChannels, omissions_);
  }
  return *source;
}

void BandDrawer::PaintLayer(const RenderNode& node, const BandArea& area, float* coverage) {
  ShareRows(area, [&](const BandArea& part, int) {
    for (std::int32_t row = part.FirstRow; row < part.EndRow; ++row) {
      const std::size_t at =
          static_cast<std::size_t>(row) * stride_ + static_cast<std::size_t>(part.Left);
      std::array<float*, 4> planes{};
      for (std::size_t c = 0; c < static_cast<std::size_t>(layout_.ColourChannels); ++c) {
        planes[c] = scratch_.Colour[c] + at;
      }
      node.Painted->FillRow(
          top_ + row, part.Left, part.Right - part.Left,
          std::span<float* const>(planes.data(), static_cast<std::size_t>(layout_.ColourChannels)),
          coverage + at);
    }
  });
}

void BandDrawer::DecodeLayer(const RenderNode& node, LayerSource& source, const BandArea& area,
                             float* coverage, float* transparencyPlane) {
  if (node.Painted != nullptr) {
    // The paint's own opacity is its transparency.
    PaintLayer(node, area, transparencyPlane != nullptr ? transparencyPlane : coverage);
    if (transparencyPlane != nullptr) FillArea(coverage, area, 1.0f);
    MultiplyByMask(node, area, coverage);
    return;
  }
  // One task per plane: the colours and the transparency, shared between
  // the two threads when the layer is large enough.
  struct Task {
    PlacedChannel* Channel;
    float* Plane;
  };
  std::array<Task, 5> tasks{};
  std::size_t count = 0;
  for (int c = 0; c < layout_.ColourChannels; ++c) {
    float* plane = scratch_.Colour[static_cast<std::size_t>(c)];
    if (PlacedChannel* channel = source.Colour(c)) {
      tasks[count++] = {channel, plane};
    } else {
      FillArea(plane, area, 0.0f);  // a missing colour channel draws 0
    }
  }
  PlacedChannel* transparency = source.Transparency();
  if (transparency != nullptr) {
    tasks[count++] = {transparency, transparencyPlane != nullptr ? transparencyPlane : coverage};
  }
  std::string damaged;  // the transparency channel's damage
  const auto work = [&](int part) {
    for (auto k = static_cast<std::size_t>(part); k < count; k += 2) {
      try {
        tasks[k].Channel->Fill(top_, top_ + area.FirstRow, top_ + area.EndRow, area.Left,
                               area.Right, tasks[k].Plane, stride_,
                               rowScratch_[static_cast<std::size_t>(part)]);
      } catch (const PsdError& error) {
        if (tasks[k].Channel != transparency) throw;
        damaged = error.what();
      }
    }
  };
  if (count > 1 && Pixels(area) >= kSharedPixels) {
    helper_.Share(work);
  } else {
    work(0);
    work(1);
  }
  if (!damaged.empty()) {
    source.DropTransparency(damaged, omissions_);
    transparency = nullptr;
  }
  if (transparencyPlane != nullptr) {
    if (transparency == nullptr) FillArea(transparencyPlane, area, 1.0f);
    FillArea(coverage, area, 1.0f);
  } else if (transparency == nullptr) {
    FillArea(coverage, area, 1.0f);  // opaque
  }
  MultiplyByMask(node, area, coverage);
}

void BandDrawer::MultiplyByMask(const RenderNode& node, const BandArea& area, float* coverage,
                                bool (*which)(const RenderNode&, const MaskPlan&)) {
  for (std::size_t k = 0; k < node.Masks.size(); ++k) {
    const MaskPlan& plan = node.Masks[k];
    if (which != nullptr && !which(node, plan)) continue;
    const float* decoded = nullptr;
    if (plan.Path != nullptr) {
      const Extent rows{top_ + area.FirstRow, area.Left, top_ + area.EndRow, area.Right};
      const Extent inside = Intersection(rows, plan.Rect);
      if (!inside.Empty()) {
        plan.Path->Fill(top_, inside.Top, inside.Bottom, inside.Left, inside.Right, maskPlane_,
                        stride_);
      }
      decoded = maskPlane_;
    } else if (!plan.Rect.Empty()) {
      LayerSource& source = SourceOf(node);
      PlacedChannel* mask = source.Mask(k);
      if (mask == nullptr) continue;  // left out as damaged
      const Extent rows{top_ + area.FirstRow, area.Left, top_ + area.EndRow, area.Right};
      const Extent inside = Intersection(rows, plan.Rect);
      if (!inside.Empty()) {
        try {
          mask->Fill(top_, inside.Top, inside.Bottom, inside.Left, inside.Right, maskPlane_,
                     stride_, rowScratch_[0]);
        } catch (const PsdError& error) {
          source.DropMask(k, error.what(), omissions_);
          continue;
        }
      }
      decoded = maskPlane_;
    }
    ApplyMask(plan, decoded, top_, top_ + area.FirstRow, top_ + area.EndRow, area.Left, area.Right,
              coverage, stride_);
  }
}

void BandDrawer::DrawPixels(const RenderNode& node, int target, int next, const Extent& extent) {
  const float* clip = std::exchange(clipShape_, nullptr);
  const BandArea area = AreaOf(extent);
  LayerSource& source = SourceOf(node);
  // A layer whose transparency does not shape it keeps that apart, in the
  // shape plane of the level it may draw into.
  float* transparency =
      node.Blending.TransparencyShapes ? nullptr : shapes_[static_cast<std::size_t>(next)];
  DecodeLayer(node, source, area, scratch_.Alpha, transparency);
  ScaleCoverage(area, node.Opacity, clip);
  ApplyBlendIfOf(node, scratch_.Colour, target, area, scratch_.Alpha);
  const BlendRule rule{node.Mode, node.Fill, layout_.ColourChannels, kind_};
  BlendNode(node, rule, scratch_.Colour, scratch_.Alpha, target, next, area, transparency);
}

void BandDrawer::DrawClipBase(const RenderNode& base, int set, const Extent& extent) {
  const Extent inside = Intersection(base.Area, extent);
  const BandArea area = AreaOf(inside);
  if (Empty(area)) return;
  if (base.Style != nullptr) {
    DrawStyledClipBase(base, set, inside);
    return;
  }
  LayerSource& source = SourceOf(base);
  // The shape clips the whole set; inside it the base counts with its fill
  // only, so that clipped layers show through a base of fill 0.
  DecodeLayer(base, source, area, shapes_[static_cast<std::size_t>(set)]);
  FillArea(scratch_.Alpha, area, base.Fill);
  const BlendRule rule{BlendMode::Normal, 1.0f, layout_.ColourChannels, kind_};
  Blend(rule,
        {{scratch_.Colour[0], scratch_.Colour[1], scratch_.Colour[2], scratch_.Colour[3]},
         scratch_.Alpha},
        levels_[static_cast<std::size_t>(set)], area);
}

void BandDrawer::DrawClipSet(const RenderNode& set, int target, int next, const Extent& extent) {
  const BandArea area = AreaOf(extent);
  const auto level = static_cast<std::size_t>(next);
  const RenderNode& base = set.Children.front();
  float* shape = shapes_[level];
  const bool styled = base.Style != nullptr;
  if (!set.ClipAsGroup && base.Kind != NodeKind::Adjustment && !styled) {
    DrawClipSetApart(set, target, next, extent);
    return;
  }
  if (!set.ClipAsGroup) {
    // An adjustment has no pixels to draw clipped layers onto: each blends
    // onto the backdrop on its own, inside the mask, which the adjustment's
    // drawing leaves in the scratch coverage. A base with effects draws its
    // stroke and bevel above them.
    if (styled) {
      DrawStyled(base, target, next, extent, StyledPart::Lower);
    } else {
      Draw(base, target, next, extent);
    }
    const float* coverage = styled ? StyledShape() : scratch_.Alpha;
    ForArea(area, [&](std::size_t from, std::size_t to) {
      std::copy(coverage + from, coverage + to, shape + from);
    });
    const KnockoutBackdrops before = SaveKnockoutBackdrop(set, target, next + 1, area);
    const int nested = next + 1 + (set.Blending.SavesKnockoutBackdrop ? 1 : 0);
    for (std::size_t k = 1; k < set.Children.size(); ++k) {
      clipShape_ = shape;
      Draw(set.Children[k], target, nested, extent);
    }
    clipShape_ = nullptr;
    knockout_ = before;
    if (styled) DrawStyled(base, target, next, extent, StyledPart::Above);
    return;
  }
  if (styled) DrawStyled(base, target, next, extent, StyledPart::Under);
  ClearLevel(next, area);
  if (base.Kind == NodeKind::Group) {
    DrawMembers(base.Children, next, next + 1, extent);
    ForArea(area, [&](std::size_t from, std::size_t to) {
      std::copy(levels_[level].Alpha + from, levels_[level].Alpha + to, shape + from);
      std::fill(levels_[level].Alpha + from, levels_[level].Alpha + to, 1.0f);
    });
    MultiplyByMask(base, area, shape);
    ApplyBlendIfOf(base, levels_[level].Colour, target, area, shape);
  } else {
    DrawClipBase(base, next, extent);
    ApplyBlendIfOf(base, scratch_.Colour, target, AreaOf(Intersection(base.Area, extent)), shape);
  }
  const KnockoutBackdrops before = SaveKnockoutBackdrop(set, next, next + 1, area);
  const int nested = next + 1 + (set.Blending.SavesKnockoutBackdrop ? 1 : 0);
  for (std::size_t k = 1; k < set.Children.size(); ++k) {
    Draw(set.Children[k], next, nested, extent);
  }
  knockout_ = before;
  if (styled) DrawStyledInsideAbove(base, next, extent);
  const float opacity = set.Opacity;
  ForArea(area, [&](std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) {
      levels_[level].Alpha[k] *= shape[k];
      scratch_.Alpha[k] = levels_[level].Alpha[k] * opacity;
    }
  });
  const BandPlanes& drawn = levels_[level];
  const BlendRule rule{set.Mode, 1.0f, layout_.ColourChannels, kind_};
  BlendNode(set, rule, drawn.Colour, scratch_.Alpha, target, next + 1, area);
  if (styled) DrawStyled(base, target, next, extent, StyledPart::AboveOutside);
}

void BandDrawer::DrawGroup(const RenderNode& group, int target, int next, const Extent& extent) {
  const float* clip = std::exchange(clipShape_, nullptr);
  const BandArea area = AreaOf(extent);
  const auto level = static_cast<std::size_t>(next);
  if (group.Isolated) {
    ClearLevel(next, area);
    DrawArtboardBackground(group, next, extent);
    // Knockouts inside reveal the group's own transparent start.
    const KnockoutBackdrops outside = std::exchange(knockout_, {});
    DrawMembers(group.Children, next, next + 1, extent);
    knockout_ = outside;
    ForArea(area, [&](std::size_t from, std::size_t to) {
      for (std::size_t k = from; k < to; ++k)
        scratch_.Alpha[k] = levels_[level].Alpha[k] * group.Opacity;
    });
    MultiplyByMask(group, area, scratch_.Alpha);
    ScaleCoverage(area, 1.0f, clip);
    const BandPlanes& drawn = levels_[level];
    ApplyBlendIfOf(group, drawn.Colour, target, area, scratch_.Alpha);
    const BlendRule rule{group.Mode, group.Fill, layout_.ColourChannels, kind_};
    BlendNode(group, rule, drawn.Colour, scratch_.Alpha, target, next + 1, area);
    return;
  }
  const bool mixed = group.Opacity < 1.0f || !group.Masks.empty() || clip != nullptr;
  if (!mixed && !group.Blending.SavesKnockoutBackdrop) {
    DrawArtboardBackground(group, target, extent);
    DrawMembers(group.Children, target, next, extent);
    return;
  }
  // Pass-through with opacity or a mask: the members blend straight into the
  // backdrop, which is then mixed with the backdrop as it was. That is also
  // what a shallow knockout inside reveals.
  CopyLevel(target, next, area);
  const KnockoutBackdrops before = SaveKnockoutBackdrop(group, next, next, area);
  DrawArtboardBackground(group, target, extent);
  DrawMembers(group.Children, target, next + 1, extent);
  knockout_ = before;
  if (!mixed) return;
  FillArea(scratch_.Alpha, area, 1.0f);
  MultiplyByMask(group, area, scratch_.Alpha);
  ScaleCoverage(area, group.Opacity, clip);
  MixWithSaved(levels_[static_cast<std::size_t>(target)], levels_[level], layout_.ColourChannels,
               scratch_.Alpha, area);
}

void BandDrawer::DrawAdjustment(const RenderNode& node, int target, const Extent& extent) {
  const float* clip = std::exchange(clipShape_, nullptr);
  const BandArea area = AreaOf(extent);
  const BandPlanes& backdrop = levels_[static_cast<std::size_t>(target)];
  const auto channels = static_cast<std::size_t>(layout_.ColourChannels);
  ForArea(area, [&](std::size_t from, std::size_t to) {
    std::array<float*, 4> row{};
    for (std::size_t c = 0; c < channels; ++c) {
      std::copy(backdrop.Colour[c] + from, backdrop.Colour[c] + to, scratch_.Colour[c] + from);
      row[c] = scratch_.Colour[c] + from;
    }
    node.Mapping->Apply(std::span<float* const>(row.data(), channels), to - from);
  });
  FillArea(scratch_.Alpha, area, 1.0f);
  MultiplyByMask(node, area, scratch_.Alpha);
  ScaleCoverage(area, node.Opacity * node.Fill, clip);
  ApplyBlendIfOf(node, scratch_.Colour, target, area, scratch_.Alpha);
  const BlendRule rule{node.Mode, 1.0f, layout_.ColourChannels, kind_};
  const SourcePlanes adjusted{
      {scratch_.Colour[0], scratch_.Colour[1], scratch_.Colour[2], scratch_.Colour[3]},
      scratch_.Alpha};
  if (node.Blending.KeptChannels != 0) {
    BlendKeepingChannels(node.Blending.KeptChannels, layout_.ColourChannels, backdrop, area,
                         keptRows_, [&](const BandArea& row) {
                           BlendAdjusted(rule, adjusted, backdrop, row, blendScratch_[0]);
                         });
    return;
  }
  BlendAdjustedRows(rule, adjusted, backdrop, area);
}

void BandDrawer::ScaleCoverage(const BandArea& area, float factor, const float* clip) {
  if (factor == 1.0f && clip == nullptr) return;
  ForArea(area, [&](std::size_t from, std::size_t to) {
    float* coverage = scratch_.Alpha;
    if (clip == nullptr) {
      for (std::size_t k = from; k < to; ++k) coverage[k] *= factor;
    } else {
      for (std::size_t k = from; k < to; ++k) coverage[k] *= factor * clip[k];
    }
  });
}

void BandDrawer::Blend(const BlendRule& rule, const SourcePlanes& source,
                       const BandPlanes& backdrop, const BandArea& area) {
  ShareRows(area, [&](const BandArea& part, int thread) {
    BlendSource(rule, source, backdrop, part, blendScratch_[static_cast<std::size_t>(thread)]);
  });
}

void BandDrawer::BlendAdjustedRows(const BlendRule& rule, const SourcePlanes& adjusted,
                                   const BandPlanes& backdrop, const BandArea& area) {
  ShareRows(area, [&](const BandArea& part, int thread) {
    BlendAdjusted(rule, adjusted, backdrop, part, blendScratch_[static_cast<std::size_t>(thread)]);
  });
}

void BandDrawer::ClearLevel(int level, const BandArea& area) {
  const BandPlanes& planes = levels_[static_cast<std::size_t>(level)];
  for (int c = 0; c < layout_.ColourChannels; ++c) {
    FillArea(planes.Colour[static_cast<std::size_t>(c)], area, 0.0f);
  }
  FillArea(planes.Alpha, area, 0.0f);
  FillArea(shapes_[static_cast<std::size_t>(level)], area, 0.0f);
}

void BandDrawer::CopyLevel(int from, int to, const BandArea& area) {
  const BandPlanes& source = levels_[static_cast<std::size_t>(from)];
  const BandPlanes& copy = levels_[static_cast<std::size_t>(to)];
  const auto copyPlane = [&](const float* in, float* out) {
    ForArea(area, [&](std::size_t begin, std::size_t end) {
      std::copy(in + begin, in + end, out + begin);
    });
  };
  for (std::size_t c = 0; c < static_cast<std::size_t>(layout_.ColourChannels); ++c) {
    copyPlane(source.Colour[c], copy.Colour[c]);
  }
  copyPlane(source.Alpha, copy.Alpha);
}

void BandDrawer::ReleaseFinished() {
  const std::int32_t drawnTo = top_ + rows_;
  if (effects_ != nullptr) effects_->Release(drawnTo);
  int streams = kOpenStreams;
  for (auto it = sources_.begin(); it != sources_.end();) {
    if (it->first->Area.Bottom <= drawnTo) {
      it = sources_.erase(it);
    } else {
      streams = it->second->KeepStreams(streams);
      ++it;
    }
  }
}

}  // namespace plymark
