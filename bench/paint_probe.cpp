// paint_probe: measures the paints of compose/fills against what the maker
// stored. One line per thing measured:
//
//   fill     FILE LAYER KIND PIXELS MEAN MAX   a fill layer's or shape's settings drawn
//            over its rectangle, against its own stored pixels where they are opaque
//   overlay  FILE LAYER KIND PIXELS MEAN MAX   a gradient or pattern overlay (normal, full
//            opacity) drawn over the layer's opaque pixels, against the merged image
//   mask     FILE LAYER PIXELS NONZERO-MEAN NONZERO-OFF EVENODD-MEAN EVENODD-OFF
//            a vector mask drawn from its path by either fill rule, against the raster
//            the maker stored for it (OFF: share of pixels more than 16 levels apart)
//
// Differences are in levels of 255 of the stored values (overlays: of 8-bit
// sRGB, RGB documents only). Usage: paint_probe FILE...

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/ColourProfile.h"
#include "app/ReadMergedImage.h"
#include "compose/LayerSource.h"
#include "compose/fills/FillLayer.h"
#include "compose/fills/PathCoverage.h"
#include "platform/MessageSink.h"
#include "platform/SystemFileSource.h"
#include "psd/BlockCursor.h"
#include "psd/ChannelData.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"
#include "psd/TaggedBlocks.h"
#include "render/ColourModes.h"

namespace {

using namespace plymark;

class Quiet final : public MessageSink {
 public:
  void ShowMessage(std::string_view) override {}
  void ShowOpenError(std::string_view) override {}
};

std::optional<std::string> Open(const std::string& path, DocumentState& state) {
  SystemFileSource source;
  Quiet quiet;
  const OpenedFile opened = source.Open(path);
  if (!opened.File) return opened.Error;
  state.FileName = path;
  state.File = FileView(opened.File);
  try {
    if (const auto refusal = ReadFrontSections(state.File, state, quiet)) return refusal;
    ReadChannelData(state.File, state, ReadLayerRecords(state.File, state, quiet));
    SetUpColourProfile(state.File, state, quiet);
  } catch (const PsdError& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

const ChannelBlock* BlockWithId(const DocumentState& state, int record, std::int16_t id) {
  const auto& info = state.Layers[static_cast<std::size_t>(record)].ChannelInfo;
  const auto& blocks = state.ChannelData[static_cast<std::size_t>(record)].Blocks;
  for (std::size_t m = 0; m < info.size() && m < blocks.size(); ++m) {
    if (info[m].ChannelId == id) return &blocks[m];
  }
  return nullptr;
}

struct Tally {
  double Sum = 0, Max = 0;
  long Count = 0, Off = 0;
  void Add(double difference) {
    Sum += difference;
    Max = std::max(Max, difference);
    Off += difference > 16 ? 1 : 0;
    ++Count;
  }
  double Mean() const { return Count > 0 ? Sum / static_cast<double>(Count) : 0; }
};

// One row of a stored channel at document row `y`, columns [left, right).
class ChannelRows {
 public:
  ChannelRows(const DocumentState& state, const ChannelBlock& block, const Extent& rect, int id,
              bool coverage, std::int32_t width)
      : channel_(state, block, rect, PlaneName{0, id}, coverage),
        plane_(static_cast<std::size_t>(width)) {}
  const float* Row(std::int32_t y, std::int32_t left, std::int32_t right) {
    channel_.Fill(y, y, y + 1, left, right, plane_.data(), 0, scratch_);
    return plane_.data();
  }

 private:
  PlacedChannel channel_;
  std::vector<float> plane_;
  RowScratch scratch_;
};

Extent RectOf(const LayerRecord& layer) {
  return {layer.Top, layer.Left, layer.Bottom, layer.Right};
}

AdjustmentSpace SpaceOf(const DocumentState& state) {
  AdjustmentSpace space;
  space.ColorMode = state.Header.ColorMode;
  space.Depth = state.Header.Depth;
  const ColourModel model = ModelOfColorMode(state.Header.ColorMode);
  space.ColourChannels = model == ColourModel::Cmyk ? 4 : (model == ColourModel::Gray ? 1 : 3);
  return space;
}

// The paint over the layer's rectangle against the layer's stored pixels.
void ProbeFill(const DocumentState& state, int record, const std::string& name) {
  const LayerRecord& layer = state.Layers[static_cast<std::size_t>(record)];
  const LayerVectorMask vector = ReadLayerVectorMask(state, record);
  const PaintFrame frame = FrameOfLayer(state, record, vector.Mask ? &*vector.Mask : nullptr);
  const AdjustmentSpace space = SpaceOf(state);
  SettingsBudget budget;
  const LayerFill fill = ReadLayerFill(state, record, frame, space, budget);
  if (!fill.Present) return;
  const Extent rect = Intersection(RectOf(layer), frame.Document);
  const ColourChannels colour = FindColourChannels(state, record);
  const ChannelBlock* alphaBlock = BlockWithId(state, record, -1);
  if (fill.Paint.Source == nullptr || rect.Empty() || colour.Blocks[0] == nullptr) {
    std::printf("fill\t%s\t%d\t-\t-\t-\t-\t%s\n", name.c_str(), record, fill.Paint.Problem.c_str());
    return;
  }
  const std::int32_t width = state.Header.Columns;
  std::string kind = "-";
  for (const char* key : {"SoCo", "GdFl", "PtFl", "vscg"}) {
    if (FindBlock(layer.Blocks, key) != nullptr) kind = key;
  }
  std::vector<std::unique_ptr<ChannelRows>> stored;
  for (int c = 0; c < space.ColourChannels; ++c) {
    stored.push_back(std::make_unique<ChannelRows>(
        state, *colour.Blocks[static_cast<std::size_t>(c)], RectOf(layer), c, false, width));
  }
  std::unique_ptr<ChannelRows> alpha;
  if (alphaBlock != nullptr) {
    alpha = std::make_unique<ChannelRows>(state, *alphaBlock, RectOf(layer), -1, true, width);
  }
  const auto count = static_cast<std::size_t>(rect.Right - rect.Left);
  std::vector<std::vector<float>> painted(4, std::vector<float>(count));
  std::vector<float> opacity(count);
  std::array<float*, 4> planes{painted[0].data(), painted[1].data(), painted[2].data(),
                               painted[3].data()};
  Tally tally;
  for (std::int32_t y = layer.Top; y < layer.Bottom; ++y) {
    const bool inside = y >= rect.Top && y < rect.Bottom;
    std::vector<const float*> rows;
    for (auto& channel : stored) {
      rows.push_back(inside ? channel->Row(y, rect.Left, rect.Right) : nullptr);
    }
    const float* a = alpha && inside ? alpha->Row(y, rect.Left, rect.Right) : nullptr;
    if (!inside) continue;
    fill.Paint.Source->FillRow(y, rect.Left, static_cast<std::int32_t>(count),
                               std::span<float* const>(planes.data(), 4), opacity.data());
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t x = static_cast<std::size_t>(rect.Left) + k;
      if (a != nullptr && a[x] < 0.99f) continue;
      if (opacity[k] < 0.99f) continue;
      double worst = 0;
      for (std::size_t c = 0; c < rows.size(); ++c) {
        worst = std::max(worst, std::abs(static_cast<double>(rows[c][x]) - painted[c][k]) * 255);
      }
      tally.Add(worst);
    }
  }
  std::printf("fill\t%s\t%d\t%s\t%ld\t%.2f\t%.1f\n", name.c_str(), record, kind.c_str(),
              tally.Count, tally.Mean(), tally.Max);
}

// The vector mask's path drawn by both rules against a raster the maker
// stored for it: channel `id` over `rect`.
void ComparePath(const DocumentState& state, int record, const std::string& name, const char* what,
                 std::int16_t id, const Extent& rect);

void ProbeMask(const DocumentState& state, int record, const std::string& name) {
  const LayerRecord& layer = state.Layers[static_cast<std::size_t>(record)];
  const LayerVectorMask vector = ReadLayerVectorMask(state, record);
  if (!vector.Mask || vector.Mask->Disabled) return;
  if (!layer.Mask) {
    // A shape without a stroke: its transparency is its path.
    const TaggedBlockRef* stroke = FindBlock(layer.Blocks, "vstk");
    const bool filled =
        FindBlock(layer.Blocks, "vscg") != nullptr || FindBlock(layer.Blocks, "SoCo") != nullptr;
    if (filled && stroke == nullptr) ComparePath(state, record, name, "shape", -1, RectOf(layer));
    return;
  }
  const LayerMask& mask = *layer.Mask;
  const bool withUser = mask.Real.has_value() && BlockWithId(state, record, -3) != nullptr;
  if ((mask.Flags & 0x08) == 0 && !withUser) return;
  ComparePath(state, record, name, "mask", -2, {mask.Top, mask.Left, mask.Bottom, mask.Right});
}

void ComparePath(const DocumentState& state, int record, const std::string& name, const char* what,
                 std::int16_t id, const Extent& rect) {
  const LayerVectorMask vector = ReadLayerVectorMask(state, record);
  const ChannelBlock* block = BlockWithId(state, record, id);
  const Extent document{0, 0, state.Header.Rows, state.Header.Columns};
  const Extent inside = Intersection(rect, document);
  if (block == nullptr || inside.Empty()) return;
  const std::int32_t width = state.Header.Columns;
  ChannelRows stored(state, *block, rect, id, true, width);
  Tally tallies[2];
  std::vector<float> drawn(static_cast<std::size_t>(width));
  const FillRule rules[2] = {FillRule::NonZero, FillRule::EvenOdd};
  PathCoverageRead coverages[2] = {
      MakePathCoverage(*vector.Mask, width, state.Header.Rows, rules[0]),
      MakePathCoverage(*vector.Mask, width, state.Header.Rows, rules[1])};
  if (coverages[0].Coverage == nullptr) {
    std::printf("%s\t%s\t%d\t-\t%s\n", what, name.c_str(), record, coverages[0].Problem.c_str());
    return;
  }
  for (std::int32_t y = rect.Top; y < inside.Bottom; ++y) {
    const float* row = stored.Row(y, inside.Left, inside.Right);
    if (y < inside.Top) continue;
    for (int r = 0; r < 2; ++r) {
      coverages[r].Coverage->Fill(y, y, y + 1, inside.Left, inside.Right, drawn.data(), 0);
      for (std::int32_t x = inside.Left; x < inside.Right; ++x) {
        tallies[r].Add(std::abs(row[x] - drawn[static_cast<std::size_t>(x)]) * 255.0);
      }
    }
  }
  std::printf("%s\t%s\t%d\t%ld\t%.2f\t%.4f\t%.2f\t%.4f\n", what, name.c_str(), record,
              tallies[0].Count, tallies[0].Mean(),
              static_cast<double>(tallies[0].Off) / static_cast<double>(tallies[0].Count),
              tallies[1].Mean(),
              static_cast<double>(tallies[1].Off) / static_cast<double>(tallies[1].Count));
}

// The enabled overlays of kind `single` ('GrFl', 'patternFill') or their
// lists (`multi`) in an effects descriptor.
std::vector<const Descriptor*> Overlays(const Descriptor& effects, std::string_view single,
                                        std::string_view multi) {
  std::vector<const Descriptor*> found;
  if (const Descriptor* one = effects.Object(single)) found.push_back(one);
  if (const auto* list = effects.Get<std::vector<DescriptorValue>>(multi)) {
    for (const DescriptorValue& value : *list) {
      if (const Descriptor* item = value.As<Descriptor>()) found.push_back(item);
    }
  }
  std::erase_if(found, [](const Descriptor* d) { return !d->Boolean("enab").value_or(false); });
  return found;
}

void ProbeOverlays(const DocumentState& state, int record, const std::string& name,
                   const std::optional<MergedImage>& merged) {
  const LayerRecord& layer = state.Layers[static_cast<std::size_t>(record)];
  const TaggedBlockRef* block = FindBlock(layer.Blocks, "lmfx");
  if (block == nullptr) block = FindBlock(layer.Blocks, "lfx2");
  if (block == nullptr || !merged || state.Header.ColorMode != 3 || state.Header.Depth != 8) return;
  Descriptor effects;
  try {
    const std::vector<std::uint8_t> data = ReadBlockData(state.File, *block, 16 << 20);
    BlockCursor cursor(data, block->Offset, "effects");
    cursor.Skip(4, "version");
    effects = ReadVersionedDescriptor(cursor);
  } catch (const PsdError&) {
    return;
  }
  const LayerVectorMask vector = ReadLayerVectorMask(state, record);
  const PaintFrame frame = FrameOfLayer(state, record, vector.Mask ? &*vector.Mask : nullptr);
  const AdjustmentSpace space = SpaceOf(state);
  const ChannelBlock* alphaBlock = BlockWithId(state, record, -1);
  const Extent rect = Intersection(RectOf(layer), frame.Document);
  if (alphaBlock == nullptr || rect.Empty()) return;
  for (const bool gradient : {true, false}) {
    const auto overlays = gradient ? Overlays(effects, "GrFl", "gradientFillMulti")
                                   : Overlays(effects, "patternFill", "patternFillMulti");
    for (const Descriptor* overlay : overlays) {
      const auto* mode = overlay->Get<Enumerated>("Md  ");
      if ((mode != nullptr && mode->Value != "Nrml") || overlay->Number("Opct").value_or(100) < 100)
        continue;
      const PaintRead paint = gradient ? ReadGradientPaint(*overlay, frame, space)
                                       : ReadPatternPaint(*overlay, state, frame, space);
      const char* kind = gradient ? "gradient" : "pattern";
      if (paint.Source == nullptr) {
        std::printf("overlay\t%s\t%d\t%s\t-\t-\t-\t%s\n", name.c_str(), record, kind,
                    paint.Problem.c_str());
        continue;
      }
      ChannelRows alpha(state, *alphaBlock, RectOf(layer), -1, true, state.Header.Columns);
      const auto count = static_cast<std::size_t>(rect.Right - rect.Left);
      std::vector<std::vector<float>> painted(4, std::vector<float>(count));
      std::vector<float> opacity(count);
      std::array<float*, 4> planes{painted[0].data(), painted[1].data(), painted[2].data(),
                                   painted[3].data()};
      Tally tally;
      for (std::int32_t y = layer.Top; y < layer.Bottom; ++y) {
        if (y < rect.Top || y >= rect.Bottom) continue;
        const float* a = alpha.Row(y, rect.Left, rect.Right);
        paint.Source->FillRow(y, rect.Left, static_cast<std::int32_t>(count),
                              std::span<float* const>(planes.data(), 4), opacity.data());
        for (std::size_t k = 0; k < count; ++k) {
          const std::size_t x = static_cast<std::size_t>(rect.Left) + k;
          if (a[x] < 0.99f || opacity[k] < 0.99f) continue;
          const std::uint32_t word =
              merged->Pixels[static_cast<std::size_t>(y) * state.Header.Columns + x];
          double worst = 0;
          for (int c = 0; c < 3; ++c) {
            const double stored = (word >> (16 - 8 * c)) & 0xff;
            worst = std::max(worst, std::abs(stored - painted[c][k] * 255.0));
          }
          tally.Add(worst);
        }
      }
      std::printf("overlay\t%s\t%d\t%s\t%ld\t%.2f\t%.1f\n", name.c_str(), record, kind, tally.Count,
                  tally.Mean(), tally.Max);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: paint_probe FILE...\n");
    return 2;
  }
  for (int k = 1; k < argc; ++k) {
    const std::string path = argv[k];
    const std::string name = path.substr(path.find_last_of('/') + 1);
    DocumentState state;
    if (const auto failure = Open(path, state)) {
      std::printf("error\t%s\t%s\n", name.c_str(), failure->c_str());
      continue;
    }
    const MergedImageResult merged = ReadMergedImage(state);
    for (int record = 0; record < static_cast<int>(state.Layers.size()); ++record) {
      try {
        ProbeFill(state, record, name);
        ProbeMask(state, record, name);
        ProbeOverlays(state, record, name, merged.Image);
      } catch (const PsdError& error) {
        std::printf("error\t%s\t%d\t%s\n", name.c_str(), record, error.what());
      }
    }
  }
  return 0;
}
