#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "compose/BlendRows.h"
#include "compose/HelperThread.h"
#include "compose/LayerSource.h"
#include "compose/RenderTree.h"
#include "compose/StoredRows.h"
#include "compose/blending/BlendIf.h"
#include "compose/effects/EffectCoverage.h"
#include "psd/DocumentState.h"

namespace plymark {

class EffectDrawing;  // compose/effects/EffectDrawing.h

// Which of a styled layer's effects are drawn: a clipping base draws the
// effects under its content, then its clipped layers onto its content and
// interior effects, then its stroke and bevel.
enum class StyledPart {
  All,
  Under,  ///< the effects under the content
  Lower,  ///< all but the stroke and the bevel
  Above,  ///< the stroke and the bevel
  /// the stroke and the bevel but an inside stroke, which a clipping set
  /// takes before the base's shape clips it (DrawStyledInsideAbove)
  AboveOutside,
};

// The planes one band takes: one buffer per drawing level, each with the
// colour planes, alpha and a clipping set's shape, and the planes a layer is
// decoded into.
struct BandLayout {
  std::int32_t Width = 0;
  std::int32_t Rows = 0;  ///< rows of the band
  int ColourChannels = 3;
  int Levels = 1;

  // Floats of all buffers together.
  std::size_t Floats() const;
  // Planes of all buffers together, for sizing bands.
  static std::size_t PlanesFor(int colourChannels, int levels);
};

// Draws the render tree band by band: each band of rows walks the whole
// tree, and each layer's channels are decoded for that band only.
class BandDrawer {
 public:
  BandDrawer(const DocumentState& state, const RenderTree& tree, const BandLayout& layout,
             NonSeparable kind, std::vector<std::string>& omissions);
  ~BandDrawer();

  // Draws rows [top, top + rows) into the document's buffer, level 0.
  void DrawBand(std::int32_t top, std::int32_t rows);
  const BandPlanes& Document() const { return levels_.front(); }

 private:
  // The part of `extent` in this band, in band rows; empty rows when none.
  BandArea AreaOf(const Extent& extent) const;

  // Each draws into buffer `target`, nested buffers from `next` on, within
  // `limit` (what the buffer's owner can show).
  void DrawMembers(const std::vector<RenderNode>& nodes, int target, int next, const Extent& limit);
  void Draw(const RenderNode& node, int target, int next, const Extent& limit);
  void DrawPixels(const RenderNode& node, int target, int next, const Extent& area);
  void DrawClipBase(const RenderNode& base, int set, const Extent& area);
  void DrawAdjustment(const RenderNode& node, int target, const Extent& area);
  void DrawGroup(const RenderNode& node, int target, int next, const Extent& area);
  // A layer with effects (compose/effects/StyledLayer.cpp): its effects and
  // content blended in the maker's order onto `target`, then faded with the
  // layer's opacity and hiding masks against the backdrop saved in `next`.
  void DrawStyled(const RenderNode& node, int target, int next, const Extent& area,
                  StyledPart part = StyledPart::All);
  // A clipping base's content and interior effects into the set's level
  // `set`, and its shape, which clips the set.
  void DrawStyledClipBase(const RenderNode& base, int set, const Extent& area);
  // A clipping base's inside stroke onto the set's level `set`, above the
  // clipped layers, relative to the base's shape that then clips the set.
  void DrawStyledInsideAbove(const RenderNode& base, int set, const Extent& area);
  // The shape of the layer with effects drawn last, over the band.
  const float* StyledShape();
  void DecodeStyledColours(const RenderNode& node, const BandArea& area);
  void DrawStyledContent(const RenderNode& node, const BandArea& area, const BandPlanes& onto,
                         bool isolated);
  // `within`, when given, is a shape the coverage is taken relative to.
  void DrawEffect(const Effect& effect, const EffectInputs& inputs, const BandArea& area,
                  const BandPlanes& onto, const float* within = nullptr);
  void DrawBevel(const Effect& effect, const EffectInputs& inputs, const BandArea& area,
                 const BandPlanes& onto);
  EffectDrawing& Effects();
  void DrawClipSet(const RenderNode& set, int target, int next, const Extent& area);

  LayerSource& SourceOf(const RenderNode& node);
  // The layer's colours over `area` into the scratch colour planes, and its
  // transparency x masks into `coverage`; with `transparency`, the
  // transparency goes there and `coverage` takes the masks alone.
  void DecodeLayer(const RenderNode& node, LayerSource& source, const BandArea& area,
                   float* coverage, float* transparency = nullptr);
  // BlendSource and BlendAdjusted with the rows shared between the threads.
  void Blend(const BlendRule& rule, const SourcePlanes& source, const BandPlanes& backdrop,
             const BandArea& area);
  void BlendAdjustedRows(const BlendRule& rule, const SourcePlanes& adjusted,
                         const BandPlanes& backdrop, const BandArea& area);
  // Runs work(part, thread) over `area`, halved between the two threads
  // when it is large enough.
  template <class Work>
  void ShareRows(const BandArea& area, Work&& work);
  // A fill layer's paint over `area` into the scratch colour planes and its
  // opacity into `coverage`.
  void PaintLayer(const RenderNode& node, const BandArea& area, float* coverage);
  // `coverage` x the node's mask (its decoded rows, or its default colour);
  // with `which`, only the masks it picks.
  void MultiplyByMask(const RenderNode& node, const BandArea& area, float* coverage,
                      bool (*which)(const RenderNode&, const MaskPlan&) = nullptr);
  // The scratch coverage x `factor` x `clip` (when given).
  void ScaleCoverage(const BandArea& area, float factor, const float* clip);
  void ClearLevel(int level, const BandArea& area);

  // Advanced blending (compose/blending/BandDrawerBlending.cpp). Blends
  // `source` into buffer `target` as `node` asks: through its knockout, with
  // its channel restrictions, with `transparency` apart from the coverage
  // when the node's transparency does not shape it; `free` is a buffer
  // level it may draw into.
  void BlendNode(const RenderNode& node, const BlendRule& rule,
                 const std::array<float*, 4>& colours, float* coverage, int target, int free,
                 const BandArea& area, const float* transparency = nullptr);
  // The source blended onto the knockout's backdrop in buffer `free`, which
  // then replaces buffer `target` as far as `coverage` (the layer's shape)
  // reaches.
  void BlendKnockout(const RenderNode& node, const BlendRule& rule,
                     const std::array<float*, 4>& colours, const float* coverage, int target,
                     int free, const BandArea& area, const float* transparency);
  // `coverage` x the node's blend-if ranges, over `source` and buffer `target`.
  void ApplyBlendIfOf(const RenderNode& node, const std::array<float*, 4>& source, int target,
                      const BandArea& area, float* coverage);
  // An artboard's background colour, drawn into `level` before its members.
  void DrawArtboardBackground(const RenderNode& group, int level, const Extent& extent);
  // A clipping set whose layers blend on their own: the base, at its fill,
  // and the clipped layers blend into the backdrop, which is then mixed with
  // the backdrop as it was by the base's shape and opacity.
  void DrawClipSetApart(const RenderNode& set, int target, int next, const Extent& extent);
  // A knockout's backdrops: the buffer levels that hold what a shallow and a
  // deep knockout reveal, -1 for transparency.
  struct KnockoutBackdrops {
    int Shallow = -1;
    int Deep = -1;
  };
  // Copies buffer `from` into `saved` as the backdrop of the knockouts below
  // `container`, when it saves one; returns the backdrops before.
  KnockoutBackdrops SaveKnockoutBackdrop(const RenderNode& container, int from, int saved,
                                         const BandArea& area);
  void CopyLevel(int from, int to, const BandArea& area);
  void ReleaseFinished();

  const DocumentState& state_;
  const RenderTree& tree_;
  BandLayout layout_;
  NonSeparable kind_;
  std::vector<std::string>& omissions_;
  std::size_t stride_;
  std::int32_t top_ = 0;
  std::int32_t rows_ = 0;

  std::vector<float> storage_;
  std::vector<BandPlanes> levels_;
  std::vector<float*> shapes_;  ///< a clipping set's base shape, per level
  BandPlanes scratch_;          ///< a layer's colours and coverage
  float* maskPlane_ = nullptr;  ///< a mask's decoded rows
  /// A base's coverage that the next node drawn is clipped to, when its
  /// clipping set does not blend as a group.
  const float* clipShape_ = nullptr;
  HelperThread helper_;
  std::array<RowScratch, 2> rowScratch_;  ///< one per thread
  std::array<BlendScratch, 2> blendScratch_;
  std::map<const RenderNode*, std::unique_ptr<LayerSource>> sources_;
  std::unique_ptr<EffectDrawing> effects_;  ///< made for the first layer with effects
  KnockoutBackdrops knockout_;
  GreyOf grey_ = GreyOf::Luminosity;
  std::vector<float> keptRows_;  ///< channels kept from a restricted blend, one row
};

}  // namespace plymark
