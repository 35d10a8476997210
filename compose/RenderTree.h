#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compose/Adjustments.h"
#include "compose/BlendModes.h"
#include "compose/blending/BlendingOptions.h"
#include "psd/DocumentState.h"

namespace plymark {

class Paint;         // compose/Paint.h
class PathCoverage;  // compose/fills/PathCoverage.h
struct LayerStyle;   // compose/effects/LayerStyle.h

// A rectangle of the document, rows [Top, Bottom) and columns [Left, Right).
struct Extent {
  std::int32_t Top = 0;
  std::int32_t Left = 0;
  std::int32_t Bottom = 0;
  std::int32_t Right = 0;
  bool Empty() const { return Top >= Bottom || Left >= Right; }
};
Extent Intersection(const Extent& a, const Extent& b);
Extent Union(const Extent& a, const Extent& b);

// One mask of a layer or group as it is drawn: its channel (-2, or -3 for the
// user mask of a record that also has a vector mask's raster in -2), its
// rectangle, its value outside the rectangle and its density.
struct MaskPlan {
  std::int16_t ChannelId = -2;
  Extent Rect;           ///< in document coordinates; may reach beyond the document
  float Outside = 0.0f;  ///< the default colour, 0..1
  float Density = 1.0f;  ///< 1: the mask as stored; 0: no masking at all
  bool Vector = false;   ///< the raster of a vector mask, not the user mask
  /// A vector mask the maker stored no raster for, drawn from its path
  /// within Rect (ChannelId unused).
  std::shared_ptr<const PathCoverage> Path;
};

enum class NodeKind {
  Pixels,      ///< a layer drawn from its channels
  Adjustment,  ///< an adjustment layer: maps the backdrop's colours
  Group,       ///< a group: its members bottom to top
  ClipSet,     ///< a clipping base (first child) and the layers clipped to it
};

// One thing to draw, made once per render from the layer records.
struct RenderNode {
  NodeKind Kind = NodeKind::Pixels;
  int Record = -1;  ///< the record drawn (a clipping set: its base's)
  BlendMode Mode = BlendMode::Normal;
  float Opacity = 1.0f;
  float Fill = 1.0f;
  /// The user mask and the vector mask's raster, those enabled.
  std::vector<MaskPlan> Masks;
  /// A group drawn on its own transparent backdrop (any mode but
  /// pass-through); a pass-through group's members blend into the backdrop.
  bool Isolated = true;
  /// Pixels: the layer has a transparency channel (without one it is opaque).
  bool Transparency = false;
  /// ClipSet: the base and its clipped layers blend onto the backdrop as one
  /// ("blend clipped layers as group"); otherwise each blends on its own,
  /// inside the base's shape.
  bool ClipAsGroup = true;
  Extent Rect;  ///< Pixels: the layer's rectangle, which may reach beyond the document
  /// Pixels: a fill layer without stored pixels, drawn from its settings
  /// over Rect (the document) instead of from channels.
  std::shared_ptr<const Paint> Painted;
  Extent Area;  ///< where drawing the node can change the backdrop
  std::vector<RenderNode> Children;
  std::shared_ptr<const Adjustment> Mapping;  ///< Adjustment
  /// Pixels: the layer's effects, drawn with it; null without.
  std::shared_ptr<const LayerStyle> Style;
  /// With a Style: the user mask ('lmgm') or the vector mask ('vmgm') hides
  /// the effects instead of shaping them; 'infx': the interior effects blend
  /// with the content before the layer's mode.
  bool UserMaskHidesEffects = false;
  bool VectorMaskHidesEffects = false;
  bool InteriorAsGroup = false;
  /// Knockout, blend-if, channel restrictions, transparency shapes, artboard
  /// (a clipping set: its base's knockout and channel restrictions).
  BlendingOptions Blending;
  /// Band buffers the node needs below its own level: groups, clipping sets
  /// and pass-through groups that are mixed with the backdrop take one each.
  int Buffers = 0;
};

// The document as a tree of things to draw, and what is left out.
struct RenderTree {
  RenderNode Root;  ///< an isolated Normal group of the top-level layers
  std::vector<std::string> Omissions;
};

// Groups nested deeper than this are refused: the maker nests far fewer.
constexpr int kDeepestNesting = 100;

// How a layer is named in omissions: `layer 3 "Shadow"`.
std::string LayerLabel(const DocumentState& state, int record);

// Builds the tree from the records, bottom to top: hidden layers and groups
// are dropped (a hidden clipping base takes its clipped layers with it), each
// group's mode comes from its section divider block, clipped layers are
// gathered onto their base. Throws PsdError for layers whose size their data
// could not fill and for nesting beyond kDeepestNesting.
RenderTree BuildRenderTree(const DocumentState& state);

}  // namespace plymark
