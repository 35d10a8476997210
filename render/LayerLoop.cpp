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
#include "render/LayerSize.h"
#include "render/PaintLayerTile.h"

namespace plymark {
namespace {

// The red, green and blue planes of a layer that the row-by-row way can
// render (RGB, multichannel, grayscale and duotone), or none.
std::optional<std::array<const ChannelBlock*, 3>> PlanesByRows(const ColourChannels& colour) {
  const auto& blocks = colour.Blocks;
  if (colour.Model == ColourModel::Rgb) return std::array{blocks[0], blocks[1], blocks[2]};
  if (colour.Model == ColourModel::Gray) return std::array{blocks[0], blocks[0], blocks[0]};
  return std::nullopt;
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

LayerSize CheckLayerSize(const DocumentState& state, int layer, std::int64_t& unfilledSoFar) {
  const LayerRecord& record = state.Layers[static_cast<std::size_t>(layer)];
  LayerSize size;
  size.Width = EdgeDistance(record.Left, record.Right, record, layer, "width");
  size.Height = EdgeDistance(record.Top, record.Bottom, record, layer, "height");
  const ColourChannels colour = FindColourChannels(state, layer);
  // A depth that cannot be shown decodes nothing; its layers are sized as 8-bit ones.
  const int bytesPerSample = std::max(1, BytesPerSample(state.Header.Depth));
  size.Skipped = !CheckLayerSize(size.Width, size.Height, state.Header.Version, colour.Blocks,
                                 record, layer, bytesPerSample, unfilledSoFar);
  return size;
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

void RenderLayer(DocumentState& state, int layer, const LayerSize& size, TileSurface& tiles,
                 int tile, LayerRows& rows, StageClock* clock, SettingsBudget* textBudget) {
  const LayerRecord& record = state.Layers[static_cast<std::size_t>(layer)];
  const ColourChannels colour = FindColourChannels(state, layer);
  if (colour.Model != ColourModel::Unshowable) {
    const StageTimer timer(clock, Stage::FileRead);
    LoadColourChannels(state, layer, colour);
  }
  const std::int32_t width = size.Width;
  const std::int32_t height = size.Height;
  state.TileWidth = width;
  state.TileHeight = height;
  const bool shown = tile < tiles.TileCount();
  const std::size_t pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
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
      tiles.ResizeTile(tile, width, height);
      const auto text =
          textBudget != nullptr ? ReadTextOfLayer(state, layer, *textBudget) : std::nullopt;
      tiles.DescribeTile(
          tile, DescribeLayer(record, width, height, GroupPath(state.Layers, state.Places, layer),
                              text ? text->Text : std::string()));
    }
    if (byRows) {
      state.Pixels = {};  // painted straight from the decoded rows
    } else {
      state.Pixels.assign(pixelCount, PixelRecord{});
    }
  }
  if (pixelCount == 0) return;  // a layer without pixels leaves its tile empty
  if (byRows) {
    // Prepare has checked every row; a layer no tile shows needs nothing more.
    if (shown) rows.Render(tiles, tile, clock);
    return;
  }
  // Deeper samples, ZIP and other codes, damaged planes, run-length rows
  // that do not match the layer's width and the colour modes that need a
  // conversion take the plane-by-plane way, which reports damage.
  {
    const StageTimer timer(clock, Stage::PlaneDecoding);
    DecodeColourPlanes(state, layer, colour);
  }
  if (shown) {
    const StageTimer timer(clock, Stage::Painting);
    PaintLayerTile(state, tile, tiles);
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
    const LayerSize size = CheckLayerSize(state, i, unfilledSoFar);
    if (size.Skipped) {
      state.SkippedLayers.push_back({i, size.Width, size.Height});
      if (i < tileCount) tiles.ResizeTile(i, 0, 0);
      continue;
    }
    RenderLayer(state, i, size, tiles, i, rows, clock, &textBudget);
  }
}

}  // namespace plymark
