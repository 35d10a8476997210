#include "compose/RenderTree.h"

#include <algorithm>
#include <string>

#include "compose/LayerBlocks.h"
#include "compose/blending/KnockoutPlan.h"
#include "compose/blending/TreeBlending.h"
#include "compose/effects/StylePlan.h"
#include "compose/fills/FillLayer.h"
#include "compose/fills/PathCoverage.h"
#include "psd/PsdError.h"
#include "psd/TaggedBlocks.h"
#include "render/ColourModes.h"
#include "render/DeepSamples.h"
#include "render/LayerSize.h"

namespace plymark {
namespace {

constexpr std::uint8_t kHidden = 0x02;
constexpr std::uint8_t kMaskDisabled = 0x02;
constexpr std::uint8_t kMaskFromVector = 0x08;
// The largest adjustment settings block read: a colour lookup's embedded
// table of 64^3 entries takes about 8 MB as text.
constexpr std::int64_t kLargestAdjustmentBlock = std::int64_t{32} << 20;

// The block that holds an adjustment layer's settings: since CS3 the maker
// keeps brightness/contrast in `CgEd` and writes `brit` as zeros.
const TaggedBlockRef& AdjustmentSettingsBlock(const LayerBlockFacts& facts) {
  if (facts.Adjustment->Key == "brit" && facts.BrightnessDescriptor != nullptr) {
    return *facts.BrightnessDescriptor;
  }
  return *facts.Adjustment;
}

bool HasChannel(const LayerRecord& record, std::int16_t id) {
  return std::any_of(record.ChannelInfo.begin(), record.ChannelInfo.end(),
                     [id](const ChannelInfoRecord& info) { return info.ChannelId == id; });
}

Extent Normalised(std::int32_t top, std::int32_t left, std::int32_t bottom, std::int32_t right) {
  return {std::min(top, bottom), std::min(left, right), std::max(top, bottom),
          std::max(left, right)};
}

int Deepest(const std::vector<RenderNode>& nodes) {
  int deepest = 0;
  for (const RenderNode& node : nodes) deepest = std::max(deepest, node.Buffers);
  return deepest;
}

class TreeBuilder {
 public:
  TreeBuilder(const DocumentState& state, RenderTree& tree) : state_(state), tree_(tree) {
    document_ = {0, 0, state.Header.Rows, state.Header.Columns};
    members_.resize(state.Layers.size());
    for (std::size_t k = 0; k < state.Layers.size() && k < state.Places.size(); ++k) {
      const LayerPlace& place = state.Places[k];
      if (place.Kind == LayerKind::GroupEnd) continue;
      if (place.Parent < 0) {
        topLevel_.push_back(static_cast<int>(k));
      } else {
        members_[static_cast<std::size_t>(place.Parent)].push_back(static_cast<int>(k));
      }
    }
    space_.ColorMode = state.Header.ColorMode;
    space_.Depth = state.Header.Depth;
    const ColourModel model = ModelOfColorMode(state.Header.ColorMode);
    space_.ColourChannels =
        model == ColourModel::Cmyk
            ? 4
            : (model == ColourModel::Gray || model == ColourModel::Indexed ? 1 : 3);
  }

  void Build() {
    RenderNode& root = tree_.Root;
    root.Kind = NodeKind::Group;
    root.Children = Members(topLevel_, 0);
    root.Area = document_;
    const int saved = PlanKnockoutStop(root, HasBackground(root));
    root.Buffers = 1 + saved + Deepest(root.Children);
  }

 private:
  void Omit(int record, const std::string& what) {
    tree_.Omissions.push_back(LayerLabel(state_, record) + ": " + what);
  }

  std::vector<RenderNode> Members(const std::vector<int>& records, int depth);
  std::optional<RenderNode> Node(int record, int depth);
  void Attach(std::vector<RenderNode>& drawn, RenderNode clipped);
  std::vector<MaskPlan> MasksOf(int record);
  bool SetUpPixels(int record, RenderNode& node, const LayerBlockFacts& facts);
  bool SetUpPainted(int record, RenderNode& node, const LayerBlockFacts& facts);
  bool SetUpAdjustment(int record, RenderNode& node, const LayerBlockFacts& facts);
  void AddPathMask(int record, std::vector<MaskPlan>& masks, bool hasRaster);
  void SetUpBlending(int record, RenderNode& node, bool group, bool adjustment);
  void OmitBlendingWithEffects(int record, RenderNode& node);

  const DocumentState& state_;
  RenderTree& tree_;
  Extent document_;
  AdjustmentSpace space_;
  std::vector<std::vector<int>> members_;
  std::vector<int> topLevel_;
  std::int64_t unfilled_ = 0;
  SettingsBudget budget_;  ///< for the fills' settings, one per render
};

std::vector<RenderNode> TreeBuilder::Members(const std::vector<int>& records, int depth) {
  std::vector<RenderNode> drawn;
  // The clipping base below the layer at hand: none yet, drawn, or not drawn
  // (hidden or empty), which takes its clipped layers with it.
  enum class Base { kNone, kDrawn, kNotDrawn } base = Base::kNone;
  for (const int record : records) {
    const LayerRecord& layer = state_.Layers[static_cast<std::size_t>(record)];
    const bool hidden = (layer.Flags & kHidden) != 0;
    const bool clipped = layer.Clipping != 0 && base != Base::kNone;
    if (clipped) {
      if (hidden || base == Base::kNotDrawn) continue;
      if (auto node = Node(record, depth)) Attach(drawn, std::move(*node));
      continue;
    }
    // A clipped layer with no base below it in its group is drawn unclipped.
    const bool canBeBase = layer.Clipping == 0;
    std::optional<RenderNode> node;
    if (!hidden) node = Node(record, depth);
    if (!node) {
      // Layers clipped to an adjustment that is not drawn (named as left
      // out) are drawn unclipped rather than lost.
      const bool adjustment =
          !hidden && ReadLayerBlockFacts(state_.File, layer).Adjustment != nullptr;
      if (canBeBase) base = adjustment ? Base::kNone : Base::kNotDrawn;
      continue;
    }
    if (canBeBase) base = Base::kDrawn;
    drawn.push_back(std::move(*node));
  }
  return drawn;
}

void TreeBuilder::Attach(std::vector<RenderNode>& drawn, RenderNode clipped) {
  RenderNode& last = drawn.back();
  if (last.Kind != NodeKind::ClipSet) {
    RenderNode set;
    set.Kind = NodeKind::ClipSet;
    set.Record = last.Record;
    set.Mode = last.Mode;
    set.Opacity = last.Opacity;
    set.Area = last.Area;
    const LayerRecord& base = state_.Layers[static_cast<std::size_t>(last.Record)];
    const LayerBlockFacts facts = ReadLayerBlockFacts(state_.File, base);
    // An adjustment has no pixels to draw clipped layers onto: they blend on
    // their own, as do a base's without "blend clipped layers as group"; a
    // pass-through group is always their group.
    set.ClipAsGroup = last.Kind != NodeKind::Adjustment &&
                      (facts.ClippedAsGroup || (last.Kind == NodeKind::Group && !last.Isolated));
    BlendingOfClipSet(set, last, [&](const std::string& what) { Omit(last.Record, what); });
    if (facts.ShapeStroke) Omit(last.Record, "shape stroke drawn under its clipped layers");
    set.Children.push_back(std::move(last));
    last = std::move(set);
  }
  // A pass-through group clipped to a layer mixes its members with the
  // backdrop it started from, which takes a level.
  if (clipped.Kind == NodeKind::Group && !clipped.Isolated) {
    clipped.Buffers = std::max(clipped.Buffers, 1 + Deepest(clipped.Children));
  }
  last.Children.push_back(std::move(clipped));
  // The set's buffer, and below it what its base group or clipped groups need.
  int inside = Deepest(last.Children);
  if (last.Children.front().Kind == NodeKind::Group) {
    inside = std::max(inside, Deepest(last.Children.front().Children));
  }
  const int saved = PlanKnockoutStop(last, false);
  last.Buffers = 1 + saved + std::max(inside, KnockoutBuffers(last));
}

std::vector<MaskPlan> TreeBuilder::MasksOf(int record) {
  const LayerRecord& layer = state_.Layers[static_cast<std::size_t>(record)];
  std::vector<MaskPlan> masks;
  if (!layer.Mask) {
    // Without mask data a shape's stored transparency is its path; a fill
    // layer without pixels takes its shape from the path alone.
    if (!HoldsPixels(state_, record)) AddPathMask(record, masks, false);
    return masks;
  }
  const LayerMask& mask = *layer.Mask;
  const auto add = [&](std::int16_t channel, std::uint8_t flags, std::uint8_t outside, Extent rect,
                       const std::optional<std::uint8_t>& density,
                       const std::optional<double>& feather, bool vector) {
    if ((flags & kMaskDisabled) != 0) return;
    if (!HasChannel(layer, channel)) rect = {};  // no pixels: its default colour throughout
    MaskPlan plan{channel, rect,   outside >= 128 ? 1.0f : 0.0f, density ? *density / 255.0f : 1.0f,
                  vector,  nullptr};
    // A mask that lets everything through changes nothing.
    if (plan.Density == 0.0f || (rect.Empty() && plan.Outside == 1.0f)) return;
    if (feather && *feather > 0.0) Omit(record, "mask feather");
    masks.push_back(plan);
  };
  const Extent rect = Normalised(mask.Top, mask.Left, mask.Bottom, mask.Right);
  const bool fromVector =
      (mask.Flags & kMaskFromVector) != 0 || (mask.Real && HasChannel(layer, -3));
  // A shape's stored pixels already hold its path, and its stroke reaches
  // beyond it: the path's raster would cut the stroke in half.
  const bool stroked = FindBlock(layer.Blocks, "vstk") != nullptr;
  if (!(fromVector && stroked)) {
    add(-2, mask.Flags, mask.DefaultColor, rect,
        fromVector ? mask.VectorMaskDensity : mask.UserMaskDensity,
        fromVector ? mask.VectorMaskFeather : mask.UserMaskFeather, fromVector);
  }
  if (mask.Real && HasChannel(layer, -3)) {
    const LayerMask::RealUserMask& real = *mask.Real;
    add(-3, real.Flags, real.DefaultColor, Normalised(real.Top, real.Left, real.Bottom, real.Right),
        mask.UserMaskDensity, mask.UserMaskFeather, false);
  }
  AddPathMask(record, masks, fromVector && HasChannel(layer, -2));
  return masks;
}

// A vector mask whose raster the maker did not store is drawn from its path;
// a stroked shape's stored pixels already hold the path.
void TreeBuilder::AddPathMask(int record, std::vector<MaskPlan>& masks, bool hasRaster) {
  const LayerRecord& layer = state_.Layers[static_cast<std::size_t>(record)];
  if (hasRaster) return;
  const bool pixels =
      !layer.ChannelInfo.empty() && layer.Top < layer.Bottom && layer.Left < layer.Right;
  if (pixels && FindBlock(layer.Blocks, "vstk") != nullptr) return;
  if (layer.Blocks.empty() ||
      (FindBlock(layer.Blocks, "vmsk") == nullptr && FindBlock(layer.Blocks, "vsms") == nullptr)) {
    return;
  }
  const LayerVectorMask vector = ReadLayerVectorMask(state_, record);
  if (!vector.Problem.empty()) Omit(record, vector.Problem);
  if (!vector.Mask || vector.Mask->Disabled) return;
  const PathCoverageRead path =
      MakePathCoverage(*vector.Mask, state_.Header.Columns, state_.Header.Rows);
  if (path.Coverage == nullptr) {
    Omit(record, "vector mask: " + path.Problem);
    return;
  }
  try {
    budget_.TakeBytes(0, "the vector mask of layer " + std::to_string(record),
                      path.Coverage->HeldBytes());
  } catch (const PsdError& error) {
    Omit(record, std::string("vector mask: ") + error.what());
    return;
  }
  MaskPlan plan;
  plan.Vector = true;
  plan.Rect = path.Coverage->Bounds();
  plan.Outside = path.Coverage->Outside();
  if (layer.Mask && layer.Mask->VectorMaskDensity) {
    plan.Density = *layer.Mask->VectorMaskDensity / 255.0f;
  }
  if (plan.Density == 0.0f || (plan.Rect.Empty() && plan.Outside == 1.0f)) return;
  if (layer.Mask && layer.Mask->VectorMaskFeather.value_or(0.0) > 0.0) {
    Omit(record, "mask feather");
  }
  plan.Path = path.Coverage;
  masks.push_back(std::move(plan));
}

std::optional<RenderNode> TreeBuilder::Node(int record, int depth) {
  const LayerRecord& layer = state_.Layers[static_cast<std::size_t>(record)];
  const LayerKind kind = state_.Places[static_cast<std::size_t>(record)].Kind;
  const LayerBlockFacts facts = ReadLayerBlockFacts(state_.File, layer);
  RenderNode node;
  node.Record = record;
  const std::string key =
      kind == LayerKind::Group && facts.SectionBlendKey ? *facts.SectionBlendKey : layer.BlendKey;
  if (const auto mode = BlendModeOfKey(key)) {
    node.Mode = *mode;
  } else {
    Omit(record, "blend mode '" + key + "' (drawn as Normal)");
  }
  if (kind != LayerKind::Group && node.Mode == BlendMode::PassThrough)
    node.Mode = BlendMode::Normal;
  if (node.Mode == BlendMode::Dissolve) Omit(record, "dissolve's noise (drawn as Normal)");
  node.Opacity = layer.Opacity / 255.0f;
  node.Fill = facts.Fill / 255.0f;
  node.Masks = MasksOf(record);
  SetUpBlending(record, node, kind == LayerKind::Group, facts.Adjustment != nullptr);
  if (facts.ShapeStroke && facts.Fill < 255)
    Omit(record, "shape stroke faded with the fill opacity");

  if (kind == LayerKind::Group) {
    if (depth >= kDeepestNesting) {
      throw PsdError::Damaged(layer.RecordOffset, "group of layer " + std::to_string(record),
                              "lies more than " + std::to_string(kDeepestNesting) + " groups deep");
    }
    node.Kind = NodeKind::Group;
    node.Children = Members(members_[static_cast<std::size_t>(record)], depth + 1);
    const bool backdrop = node.Blending.Artboard && node.Blending.Artboard->Background;
    if (node.Children.empty() && !backdrop) return std::nullopt;
    node.Isolated = node.Mode != BlendMode::PassThrough;
    Extent area;
    for (const RenderNode& child : node.Children) area = Union(area, child.Area);
    node.Area = ArtboardArea(node.Blending, area, document_);
    const bool mixed = node.Opacity < 1.0f || !node.Masks.empty();
    const int saved = PlanKnockoutStop(node, false);
    const int own = node.Isolated ? KnockoutBuffers(node) : 0;
    node.Buffers =
        (node.Isolated || mixed || saved > 0 ? 1 : 0) + std::max(Deepest(node.Children), own);
  } else if (facts.Adjustment != nullptr) {
    if (!SetUpAdjustment(record, node, facts)) return std::nullopt;
  } else if (!SetUpPixels(record, node, facts)) {
    return std::nullopt;
  } else {
    node.Buffers = KnockoutBuffers(node);
  }
  for (const MaskPlan& mask : node.Masks) {
    if (mask.Outside == 0.0f) node.Area = Intersection(node.Area, mask.Rect);
  }
  if (facts.Effects) {
    // Effects follow stored channels; a painted fill has none.
    if (node.Painted != nullptr) {
      Omit(record, "layer effects of a fill layer without pixels");
    } else if (node.Kind == NodeKind::Pixels) {
      SetUpStyle(state_, facts, node, tree_.Omissions);
      if (node.Style != nullptr) OmitBlendingWithEffects(record, node);
    } else {
      Omit(record, "layer effects");
    }
  }
  if (node.Area.Empty()) return std::nullopt;
  return node;
}

void TreeBuilder::SetUpBlending(int record, RenderNode& node, bool group, bool adjustment) {
  std::vector<std::string> problems;
  node.Blending = ReadBlendingOptions(state_, state_.Layers[static_cast<std::size_t>(record)],
                                      space_, problems);
  for (const std::string& problem : problems) Omit(record, problem);
  const auto omit = [&](const std::string& what) { Omit(record, what); };
  const bool passThrough = group && node.Mode == BlendMode::PassThrough;
  LeaveOutUndrawnBlending(node.Blending, passThrough, adjustment, group, omit);
  if (passThrough && node.Fill < 1.0f) omit("fill opacity of a pass-through group");
}

// A layer with effects is drawn without knockout, blend-if, channel
// restrictions and transparency shapes off: named, and left out.
void TreeBuilder::OmitBlendingWithEffects(int record, RenderNode& node) {
  BlendingOptions& blending = node.Blending;
  const auto omit = [&](bool set, const char* what) {
    if (set) Omit(record, std::string(what) + " of a layer with effects (drawn without)");
  };
  omit(blending.KnocksOut != Knockout::None, "knockout");
  omit(blending.BlendIf.has_value(), "blend-if ranges");
  omit(blending.KeptChannels != 0, "channel restrictions");
  omit(!blending.TransparencyShapes, "transparency shapes off");
  blending.KnocksOut = Knockout::None;
  blending.BlendIf.reset();
  blending.KeptChannels = 0;
  blending.TransparencyShapes = true;
}

bool TreeBuilder::SetUpAdjustment(int record, RenderNode& node, const LayerBlockFacts& facts) {
  const TaggedBlockRef& block = AdjustmentSettingsBlock(facts);
  if (block.Length > kLargestAdjustmentBlock) {
    Omit(record, "adjustment '" + block.Key + "': its settings take " +
                     std::to_string(block.Length) + " bytes");
    return false;
  }
  AdjustmentRead read = ReadAdjustment(block.Key, BlockBytes(state_.File, block), space_);
  if (read.Mapping == nullptr) {
    Omit(record,
         "adjustment '" + block.Key + "'" + (read.Problem.empty() ? "" : ": " + read.Problem));
    return false;
  }
  node.Kind = NodeKind::Adjustment;
  node.Mapping = std::move(read.Mapping);
  node.Area = document_;
  return true;
}

bool TreeBuilder::SetUpPixels(int record, RenderNode& node, const LayerBlockFacts& facts) {
  const LayerRecord& layer = state_.Layers[static_cast<std::size_t>(record)];
  const std::int32_t width = EdgeDistance(layer.Left, layer.Right, layer, record, "width");
  const std::int32_t height = EdgeDistance(layer.Top, layer.Bottom, layer, record, "height");
  const int bytesPerSample = std::max(1, BytesPerSample(state_.Header.Depth));
  CheckLayerSize(width, height, state_.Header.Version, FindColourChannels(state_, record).Blocks,
                 layer, record, bytesPerSample, unfilled_);
  node.Kind = NodeKind::Pixels;
  node.Rect = Normalised(layer.Top, layer.Left, layer.Bottom, layer.Right);
  if (facts.FillLayer && !HoldsPixels(state_, record)) return SetUpPainted(record, node, facts);
  if (node.Rect.Empty()) return false;
  node.Transparency = HasChannel(layer, -1);
  node.Area = Intersection(node.Rect, document_);
  return true;
}

// A fill layer whose pixels the maker did not store is drawn from its
// settings: it fills the document, within its masks.
bool TreeBuilder::SetUpPainted(int record, RenderNode& node, const LayerBlockFacts& facts) {
  const LayerVectorMask vector = ReadLayerVectorMask(state_, record);
  const PaintFrame frame = FrameOfLayer(state_, record, vector.Mask ? &*vector.Mask : nullptr);
  LayerFill fill = ReadLayerFill(state_, record, frame, space_, budget_);
  if (fill.Paint.Source == nullptr) {
    Omit(record, "fill layer without pixels: " + fill.Paint.Problem);
    return false;
  }
  try {
    // Every fill's table or samples stay while the document is drawn.
    budget_.TakeBytes(0, "the fill of layer " + std::to_string(record),
                      fill.Paint.Source->HeldBytes());
  } catch (const PsdError& error) {
    Omit(record, std::string("fill layer without pixels: ") + error.what());
    return false;
  }
  if (facts.ShapeStroke) Omit(record, "shape stroke of a fill layer without pixels");
  node.Painted = std::move(fill.Paint.Source);
  node.Rect = document_;
  node.Transparency = false;
  node.Area = document_;
  return true;
}

}  // namespace

Extent Intersection(const Extent& a, const Extent& b) {
  return {std::max(a.Top, b.Top), std::max(a.Left, b.Left), std::min(a.Bottom, b.Bottom),
          std::min(a.Right, b.Right)};
}

Extent Union(const Extent& a, const Extent& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return {std::min(a.Top, b.Top), std::min(a.Left, b.Left), std::max(a.Bottom, b.Bottom),
          std::max(a.Right, b.Right)};
}

std::string LayerLabel(const DocumentState& state, int record) {
  const auto index = static_cast<std::size_t>(record);
  const std::string name = index < state.Layers.size() ? state.Layers[index].Name : std::string();
  return "layer " + std::to_string(record) + " \"" + name + "\"";
}

RenderTree BuildRenderTree(const DocumentState& state) {
  RenderTree tree;
  TreeBuilder(state, tree).Build();
  return tree;
}

}  // namespace plymark
