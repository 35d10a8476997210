#include "render/LayerLoop.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "psd/ChannelData.h"
#include "psd/LayerGroups.h"
#include "psd/LayerSettings.h"
#include "psd/PsdError.h"
#include "render/ColourManagement.h"
#include "render/ColourModes.h"
#include "render/DecodePlane.h"
#include "render/DeepSamples.h"
#include "render/LayerDescription.h"
#include "render/LayerRows.h"
#include "render/PaintLayerTile.h"

namespace plymark {
namespace {

// All layers of a file together may have this many pixels beyond what their
// channels can fill: twelve layers' allowance. Without this cap every layer
// record of 34 bytes could ask for 65536 pixels to be made and cleared.
constexpr std::int64_t kFilePixelAllowance = 12 * kPixelAllowance;

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

// The red, green and blue planes of a layer that the row-by-row way can
// render (RGB, multichannel, grayscale and duotone), or none.
std::optional<std::array<const ChannelBlock*, 3>> PlanesByRows(const ColourChannels& colour) {
  const auto& blocks = colour.Blocks;
  if (colour.Model == ColourModel::Rgb) return std::array{blocks[0], blocks[1], blocks[2]};
  if (colour.Model == ColourModel::Gray) return std::array{blocks[0], blocks[0], blocks[0]};
  return std::nullopt;
}

// Refuses a layer whose size its stored bytes could not produce, before any
// memory is taken for it. Each sample takes `bytesPerSample` bytes.
// `unfilledSoFar` counts the pixels of the layers before that lie beyond what
// their channels can fill. True when the layer is to be shown; false when it
// is a PSB layer too large for a tile, left out.
bool CheckLayerSize(std::int32_t width, std::int32_t height, std::int16_t version,
                    const std::array<const ChannelBlock*, 4>& sources, const LayerRecord& record,
                    int layer, int bytesPerSample, std::int64_t& unfilledSoFar) {
  const std::int32_t largestSide = version == 2 ? kLargestPsbLayerSide : kLargestLayerSide;
  if (width > largestSide || height > largestSide) {
    throw PsdError::Damaged(record.RecordOffset, LayerField(layer, "rectangle"),
                            "measures " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels, more than the " + std::to_string(largestSide) +
                                " a side a " + (version == 2 ? "PSB" : "PSD") + " layer can have");
  }
  std::int64_t producible = 0;
  for (const ChannelBlock* block : sources) {
    if (block == nullptr) continue;
    producible = std::max(
        producible, block->DataLength * GreatestExpansion(block->Compression) / bytesPerSample);
  }
  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  if (pixels > kPixelAllowance + producible) {
    throw PsdError::Damaged(record.RecordOffset, LayerField(layer, "rectangle"),
                            "measures " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels, more than its stored channel data can fill");
  }
  if (width > kLargestLayerSide || height > kLargestLayerSide) return false;
  unfilledSoFar += std::max<std::int64_t>(0, pixels - producible);
  if (unfilledSoFar > kFilePixelAllowance) {
    throw PsdError::Damaged(record.RecordOffset, LayerField(layer, "rectangle"),
                            "brings the pixels that no stored channel data fills to " +
                                std::to_string(unfilledSoFar) + ", more than the " +
                                std::to_string(kFilePixelAllowance) + " a file may have");
  }
  return true;
}

// Reads the stored bytes of the layer's colour channels.
void LoadColourChannels(DocumentState& state, int layer, const ColourChannels& colour) {
  std::array<ChannelBlock*, 4> blocks{};
  auto& entry = state.ChannelData[static_cast<std::size_t>(layer)];
  for (std::size_t plane = 0; plane < blocks.size(); ++plane) {
    if (colour.Blocks[plane] != nullptr) {
      blocks[plane] =
          &entry.Blocks[static_cast<std::size_t>(colour.Blocks[plane] - entry.Blocks.data())];
    }
  }
  LoadChannelBlocks(state, layer, blocks);
}

// Decodes the layer's colour channels into Pixels (CMYK's K into a plane of
// its own) and turns them into red, green and blue, through the document's
// colour profile when it has a conversion.
void DecodeColourPlanes(DocumentState& state, int layer, const ColourChannels& colour) {
  if (colour.Model == ColourModel::Unshowable) return;  // the planes stay 0
  const DocumentColour* conversion = state.Colour.get();
  // The profile's conversion takes 16-bit samples whole.
  const SampleScale scale = conversion != nullptr && conversion->InputDepth() == 16
                                ? SampleScale::Whole16Bits
                                : SampleScale::To8Bits;
  const std::array<Component, 3> targets = {Component::Red, Component::Green, Component::Blue};
  for (std::size_t plane = 0; plane < targets.size(); ++plane) {
    const ChannelBlock* block = colour.Blocks[plane];
    if (block == nullptr) continue;  // a missing colour channel leaves its component 0
    const PlaneName name{layer, static_cast<int>(plane)};
    DecodePlane(*block, state.TileWidth, state.TileHeight, state.Pixels, targets[plane], name,
                state.Header.Depth, scale);
  }
  std::vector<PixelRecord> black;
  if (colour.Model == ColourModel::Cmyk) {
    black.resize(state.Pixels.size());
    if (const ChannelBlock* block = colour.Blocks[3]; block != nullptr) {
      DecodePlane(*block, state.TileWidth, state.TileHeight, black, Component::Red,
                  PlaneName{layer, 3}, state.Header.Depth, scale);
    }
  }
  if (conversion != nullptr) {
    conversion->Convert(state.Pixels, black);
    return;
  }
  ConvertToRgb(colour.Model, state.Pixels, black, state.ColorTable);
}

}  // namespace

// Run-length: two bytes repeat a value 128 times; deflate gives at most 1032.
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

void RenderLayers(DocumentState& state, TileSurface& tiles, StageClock* clock) {
  const int tileCount = tiles.TileCount();
  LayerRows rows;
  std::int64_t unfilledSoFar = 0;
  state.SkippedLayers.clear();
  // The texts that tooltips show come out of one budget for the whole Open.
  SettingsBudget textBudget;
  for (int i = 0; i < state.LayerCount; ++i) {
    const LayerRecord& record = state.Layers[static_cast<std::size_t>(i)];
    const std::int32_t width = EdgeDistance(record.Left, record.Right, record, i, "width");
    const std::int32_t height = EdgeDistance(record.Top, record.Bottom, record, i, "height");
    const ColourChannels colour = FindColourChannels(state, i);
    // A depth that cannot be shown decodes nothing; its layers are sized as 8-bit ones.
    const int bytesPerSample = std::max(1, BytesPerSample(state.Header.Depth));
    if (!CheckLayerSize(width, height, state.Header.Version, colour.Blocks, record, i,
                        bytesPerSample, unfilledSoFar)) {
      state.SkippedLayers.push_back({i, width, height});
      if (i < tileCount) tiles.ResizeTile(i, 0, 0);
      continue;
    }
    if (colour.Model != ColourModel::Unshowable) {
      const StageTimer timer(clock, Stage::FileRead);
      LoadColourChannels(state, i, colour);
    }

    state.TileWidth = width;
    state.TileHeight = height;
    const bool shown = i < tileCount;
    const std::size_t pixelCount =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    bool byRows = false;
    // A document converted through its colour profile takes the plane-by-plane way.
    const auto planesByRows = PlanesByRows(colour);
    if (pixelCount > 0 && state.Header.Depth == 8 && planesByRows && !state.Colour) {
      const StageTimer timer(clock, Stage::PlaneDecoding);
      byRows = rows.Prepare(*planesByRows, width, height);
    }
    {
      const StageTimer timer(clock, Stage::LayerSetup);
      if (shown) {
        tiles.ResizeTile(i, width, height);
        const auto text = ReadTextOfLayer(state, i, textBudget);
        tiles.DescribeTile(
            i, DescribeLayer(record, width, height, GroupPath(state.Layers, state.Places, i),
                             text ? text->Text : std::string()));
      }
      if (byRows) {
        state.Pixels = {};  // painted straight from the decoded rows
      } else {
        state.Pixels.assign(pixelCount, PixelRecord{});
      }
    }
    if (pixelCount == 0) continue;  // a layer without pixels leaves its tile empty
    if (byRows) {
      // Prepare has checked every row; a layer no tile shows needs nothing more.
      if (shown) rows.Render(tiles, i, clock);
      continue;
    }
    // Deeper samples, ZIP and other codes, damaged planes, run-length rows
    // that do not match the layer's width and the colour modes that need a
    // conversion take the plane-by-plane way, which reports damage.
    {
      const StageTimer timer(clock, Stage::PlaneDecoding);
      DecodeColourPlanes(state, i, colour);
    }
    if (shown) {
      const StageTimer timer(clock, Stage::Painting);
      PaintLayerTile(state, i, tiles);
    }
  }
}

}  // namespace plymark
