#include "compose/fills/FillLayer.h"

#include <algorithm>
#include <cmath>

#include "compose/fills/PathCoverage.h"
#include "psd/BlockCursor.h"
#include "psd/PsdError.h"
#include "psd/TaggedBlocks.h"
#include "render/ColourModes.h"

namespace plymark {
namespace {

// Settings blocks are read whole; real fills take a few kilobytes, a vector
// mask of thousands of knots a few hundred.
constexpr std::size_t kLargestBlock = std::size_t{16} << 20;

const TaggedBlockRef* FirstOf(const LayerRecord& layer,
                              std::initializer_list<std::string_view> keys) {
  for (const TaggedBlockRef& block : layer.Blocks) {
    if (std::find(keys.begin(), keys.end(), block.Key) != keys.end()) return &block;
  }
  return nullptr;
}

std::string Context(const TaggedBlockRef& block, int record) {
  return "the '" + block.Key + "' block of layer " + std::to_string(record);
}

}  // namespace

LayerVectorMask ReadLayerVectorMask(const DocumentState& state, int record) {
  const LayerRecord& layer = state.Layers[static_cast<std::size_t>(record)];
  const TaggedBlockRef* block = FirstOf(layer, {"vmsk", "vsms"});
  if (block == nullptr) return {};
  try {
    const std::vector<std::uint8_t> data = ReadBlockData(state.File, *block, kLargestBlock);
    return {ReadVectorMask(data, block->Offset, Context(*block, record)), {}};
  } catch (const PsdError& error) {
    return {std::nullopt,
            std::string("vector mask damaged, drawn without it (") + error.what() + ")"};
  }
}

bool HoldsPixels(const DocumentState& state, int record) {
  const LayerRecord& layer = state.Layers[static_cast<std::size_t>(record)];
  if (layer.Top >= layer.Bottom || layer.Left >= layer.Right) return false;
  const ColourChannels colour = FindColourChannels(state, record);
  const int channels =
      colour.Model == ColourModel::Cmyk
          ? 4
          : (colour.Model == ColourModel::Gray || colour.Model == ColourModel::Indexed ? 1 : 3);
  for (int c = 0; c < channels; ++c) {
    const ChannelBlock* block = colour.Blocks[static_cast<std::size_t>(c)];
    if (block == nullptr || block->DataLength <= 0) return false;
  }
  return true;
}

PaintFrame FrameOfLayer(const DocumentState& state, int record, const VectorMask* mask) {
  const LayerRecord& layer = state.Layers[static_cast<std::size_t>(record)];
  const Extent document{0, 0, state.Header.Rows, state.Header.Columns};
  Extent box{std::min(layer.Top, layer.Bottom), std::min(layer.Left, layer.Right),
             std::max(layer.Top, layer.Bottom), std::max(layer.Left, layer.Right)};
  if (mask != nullptr) {
    const Extent path = PathBounds(*mask, state.Header.Columns, state.Header.Rows);
    if (!path.Empty()) box = path;
  }
  if (box.Empty()) box = document;
  PaintFrame frame{box, document};
  if (const TaggedBlockRef* point = FindBlock(layer.Blocks, "fxrp")) {
    try {
      const std::vector<std::uint8_t> data = ReadBlockData(state.File, *point, 16);
      BlockCursor cursor(data, point->Offset, Context(*point, record));
      const double x = cursor.Double("reference point x");
      const double y = cursor.Double("reference point y");
      if (std::isfinite(x) && std::isfinite(y)) {
        frame.ReferenceX = x;
        frame.ReferenceY = y;
      }
    } catch (const PsdError&) {
      // Laid from the document's origin.
    }
  }
  return frame;
}

LayerFill ReadLayerFill(const DocumentState& state, int record, const PaintFrame& frame,
                        const AdjustmentSpace& space, SettingsBudget& budget) {
  const LayerRecord& layer = state.Layers[static_cast<std::size_t>(record)];
  const TaggedBlockRef* block = FirstOf(layer, {"SoCo", "GdFl", "PtFl", "vscg"});
  if (block == nullptr) return {};
  LayerFill fill{true, {}};
  try {
    budget.TakeBytes(block->Offset, Context(*block, record),
                     static_cast<std::uint64_t>(std::max<std::int64_t>(0, block->Length)));
    const std::vector<std::uint8_t> data = ReadBlockData(state.File, *block, kLargestBlock);
    BlockCursor cursor(data, block->Offset, Context(*block, record));
    // A shape's fill names its kind first.
    const std::string kind = block->Key == "vscg" ? cursor.FourCharacters("fill kind") : block->Key;
    const Descriptor settings = ReadVersionedDescriptor(cursor, budget);
    if (kind == "SoCo") {
      fill.Paint = ReadColourPaint(settings, space);
    } else if (kind == "GdFl") {
      fill.Paint = ReadGradientPaint(settings, frame, space);
    } else if (kind == "PtFl") {
      fill.Paint = ReadPatternPaint(settings, state, frame, space);
    } else {
      fill.Paint.Problem = "its fill kind '" + kind + "' is unknown";
    }
  } catch (const PsdError& error) {
    fill.Paint = {nullptr, std::string("its settings are damaged (") + error.what() + ")"};
  }
  return fill;
}

}  // namespace plymark
