#include "render/LayerLoop.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "platform/Prefault.h"
#include "psd/PsdError.h"
#include "render/DecodePlane.h"
#include "render/DeepSamples.h"
#include "render/LayerRows.h"
#include "render/PaintLayerTile.h"

namespace plymark {
namespace {

constexpr std::int16_t kGrayscale = 1;
constexpr std::int16_t kDuotone = 8;

// A layer may have this many pixels whatever its channels hold.
constexpr std::int64_t kPixelAllowance = 65536;

// The most plane bytes one stored byte can give under a compression code: raw 1;
// run-length 64 (two bytes repeat a value 128 times); deflate at most 1032.
std::int64_t GreatestExpansion(std::int16_t compression) {
  switch (compression) {
    case 0:
      return 1;
    case 1:
      return 64;
    case 2:
    case 3:
      return 1032;
    default:
      return 0;
  }
}

std::string LayerField(int layer, const char* field) {
  return std::string(field) + " of layer " + std::to_string(layer);
}

// |a - b| of two edges, refused when it does not fit 32 bits.
std::int32_t EdgeDistance(std::int32_t a, std::int32_t b, const LayerRecord& record, int layer,
                          const char* field) {
  const std::int64_t distance = std::abs(static_cast<std::int64_t>(a) - b);
  if (distance > std::numeric_limits<std::int32_t>::max()) {
    throw PsdError::Damaged(
        record.RecordOffset, LayerField(layer, field),
        "is " + std::to_string(distance) + " pixels, which does not fit 32 bits");
  }
  return static_cast<std::int32_t>(distance);
}

// The block of the layer's first channel with `id`, or none.
const ChannelBlock* BlockWithId(const LayerRecord& layer, const ChannelTableEntry& entry,
                                std::int16_t id) {
  for (std::size_t m = 0; m < layer.ChannelInfo.size() && m < entry.Blocks.size(); ++m) {
    if (layer.ChannelInfo[m].ChannelId == id) return &entry.Blocks[m];
  }
  return nullptr;
}

// The channels feeding red, green and blue, picked by channel id: 0, 1, 2, or
// channel 0 for all three in a grayscale or duotone document.
std::array<const ChannelBlock*, 3> ColourSources(const DocumentState& state, int layer) {
  const LayerRecord& record = state.Layers[static_cast<std::size_t>(layer)];
  const ChannelTableEntry& entry = state.ChannelData[static_cast<std::size_t>(layer)];
  const std::int16_t mode = state.Header.ColorMode;
  if (mode == kGrayscale || mode == kDuotone) {
    const ChannelBlock* gray = BlockWithId(record, entry, 0);
    return {gray, gray, gray};
  }
  return {BlockWithId(record, entry, 0), BlockWithId(record, entry, 1),
          BlockWithId(record, entry, 2)};
}

// Refuses a layer whose size its stored bytes could not produce, before any
// memory is taken for it. Each sample takes `bytesPerSample` bytes.
void CheckLayerSize(std::int32_t width, std::int32_t height,
                    const std::array<const ChannelBlock*, 3>& sources, const LayerRecord& record,
                    int layer, int bytesPerSample) {
  if (width > kLargestLayerSide || height > kLargestLayerSide) {
    throw PsdError::Damaged(record.RecordOffset, LayerField(layer, "rectangle"),
                            "measures " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels, more than the 30000 a side a PSD layer can have");
  }
  std::int64_t producible = 0;
  for (const ChannelBlock* block : sources) {
    if (block == nullptr) continue;
    producible = std::max(producible, static_cast<std::int64_t>(block->Data.size()) *
                                          GreatestExpansion(block->Compression) / bytesPerSample);
  }
  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  if (pixels > kPixelAllowance + producible) {
    throw PsdError::Damaged(record.RecordOffset, LayerField(layer, "rectangle"),
                            "measures " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels, more than its stored channel data can fill");
  }
}

void DecodeColourPlanes(DocumentState& state, int layer,
                        const std::array<const ChannelBlock*, 3>& sources) {
  const std::array<Component, 3> targets = {Component::Red, Component::Green, Component::Blue};
  const bool gray = sources[0] != nullptr && sources[0] == sources[1] && sources[1] == sources[2];
  for (std::size_t plane = 0; plane < targets.size(); ++plane) {
    const ChannelBlock* block = sources[plane];
    if (block == nullptr) continue;  // a missing colour channel leaves its component 0
    const PlaneName name{layer, static_cast<int>(plane)};
    DecodePlane(*block, state.TileWidth, state.TileHeight, state.Pixels, targets[plane], name,
                state.Header.Depth);
    if (gray) {
      // One gray channel feeds all three components alike.
      for (PixelRecord& pixel : state.Pixels) pixel.Green = pixel.Blue = pixel.Red;
      break;
    }
  }
}

// Gives the pixel buffer `count` records without clearing those it has: the
// row-by-row decoding writes every component of every record.
void SizePixelBuffer(std::vector<PixelRecord>& pixels, std::size_t count) {
  if (pixels.size() == count) return;
  if (pixels.capacity() < count) {
    pixels = {};  // the previous layer's buffer goes first
    pixels.reserve(count);
    PrefaultInParallel(pixels.data(), count * sizeof(PixelRecord));
  }
  pixels.resize(count);
}

}  // namespace

void RenderLayers(DocumentState& state, TileSurface& tiles, StageClock* clock) {
  const int tileCount = tiles.TileCount();
  LayerRows rows;
  for (int i = 0; i < state.LayerCount; ++i) {
    const LayerRecord& record = state.Layers[static_cast<std::size_t>(i)];
    const std::int32_t width = EdgeDistance(record.Left, record.Right, record, i, "width");
    const std::int32_t height = EdgeDistance(record.Top, record.Bottom, record, i, "height");
    const auto sources = ColourSources(state, i);
    // A depth that cannot be shown decodes nothing; its layers are sized as 8-bit ones.
    const int bytesPerSample = std::max(1, BytesPerSample(state.Header.Depth));
    CheckLayerSize(width, height, sources, record, i, bytesPerSample);

    state.TileWidth = width;
    state.TileHeight = height;
    const bool shown = i < tileCount;
    const std::size_t pixelCount =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    bool byRows = false;
    if (pixelCount > 0 && state.Header.Depth == 8) {
      const StageTimer timer(clock, Stage::PlaneDecoding);
      byRows = rows.Prepare(sources, width, height);
    }
    {
      const StageTimer timer(clock, Stage::LayerSetup);
      if (shown) tiles.ResizeTile(i, width, height);
      if (byRows) {
        SizePixelBuffer(state.Pixels, pixelCount);
      } else {
        state.Pixels.assign(pixelCount, PixelRecord{});
      }
    }
    if (state.Pixels.empty()) continue;  // a layer without pixels leaves its tile empty
    if (byRows) {
      rows.Render(state.Pixels, shown ? &tiles : nullptr, i, clock);
      continue;
    }
    // Deeper samples, ZIP and other codes, damaged planes and run-length rows
    // that do not match the layer's width take the plane-by-plane way, which
    // reports damage.
    {
      const StageTimer timer(clock, Stage::PlaneDecoding);
      DecodeColourPlanes(state, i, sources);
    }
    if (shown) {
      const StageTimer timer(clock, Stage::Painting);
      PaintLayerTile(state, i, tiles);
    }
  }
}

}  // namespace plymark
