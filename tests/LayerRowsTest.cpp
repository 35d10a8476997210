// The row-by-row way through a layer must give what decoding plane after plane
// and painting afterwards gives: the same records, the same tile pictures and,
// for damaged data, the same error.

#include <gtest/gtest.h>

#include <string>

#include "platform/MemoryTileSurface.h"
#include "psd/ChannelData.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"
#include "render/DecodePlane.h"
#include "render/LayerLoop.h"
#include "render/PaintLayerTile.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"
#include "tests/support/RenderedDocument.h"

namespace plymark {
namespace {

using test::Bytes;
using test::TestChannel;
using test::TestDocument;
using test::TestLayer;

// Component values with runs, noise and long flat stretches, different for
// every plane.
std::vector<Bytes> PlaneValues(int width, int height, int plane) {
  std::vector<Bytes> rows;
  for (int y = 0; y < height; ++y) {
    Bytes row;
    for (int x = 0; x < width; ++x) {
      const auto noise =
          static_cast<std::uint32_t>((x * 7919 + y * 104729 + plane * 31) ^ (x >> 3));
      const int stretch = (x / 9 + y + plane) % 4;
      row.push_back(static_cast<std::uint8_t>(stretch == 0   ? noise * 2654435761u >> 24
                                              : stretch == 1 ? y + plane
                                                             : (x / 200 + plane * 50) & 0xff));
    }
    rows.push_back(row);
  }
  return rows;
}

Bytes Flatten(const std::vector<Bytes>& rows) {
  Bytes all;
  for (const Bytes& row : rows) all.insert(all.end(), row.begin(), row.end());
  return all;
}

using Rendered = test::RenderedDocument;

constexpr std::uint32_t Word(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return 0xff000000u | (r << 16) | (g << 8) | b;
}

// A layer of width x height whose red plane is packed, green raw and blue
// packed, each from PlaneValues.
TestLayer MixedLayer(int width, int height) {
  TestLayer layer{0, 0, height, width, {}, "norm", {}};
  layer.Channels = {{-1, 0, Bytes(static_cast<std::size_t>(width * height), 255)},
                    {0, 1, test::PackBitsPlane(PlaneValues(width, height, 0))},
                    {1, 0, Flatten(PlaneValues(width, height, 1))},
                    {2, 1, test::PackBitsPlane(PlaneValues(width, height, 2))}};
  return layer;
}

TEST(LayerRows, EveryTilePixelComesFromItsPlanes) {
  // Widths around the 16-pixel blocks of the painter, and one layer large
  // enough to be shared between two threads.
  const std::vector<std::pair<int, int>> sizes = {{1, 3},  {15, 2}, {16, 3},
                                                  {17, 5}, {40, 9}, {731, 389}};
  TestDocument document;
  for (const auto& [width, height] : sizes) document.Layers.push_back(MixedLayer(width, height));
  Rendered rendered(document);
  rendered.Render();

  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const auto [width, height] = sizes[i];
    const auto red = Flatten(PlaneValues(width, height, 0));
    const auto green = Flatten(PlaneValues(width, height, 1));
    const auto blue = Flatten(PlaneValues(width, height, 2));
    const auto& tile = rendered.tiles.At(static_cast<int>(i));
    ASSERT_TRUE(tile.Shown);
    ASSERT_EQ(tile.Image.size(), red.size());
    for (std::size_t k = 0; k < red.size(); ++k) {
      ASSERT_EQ(tile.Image[k], Word(red[k], green[k], blue[k])) << "layer " << i << " pixel " << k;
    }
  }
}

TEST(LayerRows, GrayAndMissingPlanes) {
  const int width = 700, height = 400;  // shared between two threads
  const auto gray = PlaneValues(width, height, 0);
  TestDocument grayDocument;
  grayDocument.ColorMode = 1;
  grayDocument.Layers = {
      TestLayer{0, 0, height, width, {{0, 1, test::PackBitsPlane(gray)}}, "norm", {}}};
  Rendered grayRendered(grayDocument);
  grayRendered.Render();
  const auto grayValues = Flatten(gray);
  for (std::size_t k = 0; k < grayValues.size(); ++k) {
    const std::uint32_t v = grayValues[k];
    ASSERT_EQ(grayRendered.tiles.At(0).Image[k], Word(v, v, v)) << k;
  }

  // No channels 1 and 2: green and blue are 0, even in a buffer that held
  // another layer of the same size before.
  TestDocument rgb;
  TestLayer full = MixedLayer(width, height);
  TestLayer partial{0, 0, height, width, {{0, 1, test::PackBitsPlane(gray)}}, "norm", {}};
  rgb.Layers = {full, partial};
  Rendered rgbRendered(rgb);
  rgbRendered.Render();
  for (std::size_t k = 0; k < grayValues.size(); ++k) {
    ASSERT_EQ(rgbRendered.tiles.At(1).Image[k], Word(grayValues[k], 0, 0)) << k;
  }
}

TEST(LayerRows, RowsOfTheWrongLengthKeepThePixelCursorRunning) {
  // Row 0 decodes to one pixel more than the width, row 1 to one fewer: the
  // values flow on across the rows as one stream.
  const int width = 40, height = 2;
  Bytes stream;
  for (int k = 0; k < width * height; ++k) stream.push_back(static_cast<std::uint8_t>(k + 1));
  const Bytes row0(stream.begin(), stream.begin() + width + 1);
  const Bytes row1(stream.begin() + width + 1, stream.end());
  TestDocument document;
  document.Layers = {
      TestLayer{0, 0, height, width, {{0, 1, test::RunLengthPlane({row0, row1})}}, "norm", {}}};
  Rendered rendered(document);
  rendered.Render();
  for (std::size_t k = 0; k < stream.size(); ++k) {
    ASSERT_EQ(rendered.tiles.At(0).Image[k], Word(stream[k], 0, 0)) << k;
  }
}

TEST(LayerRows, ARowLengthTooSmallForItsLastPacketMovesOnlyThatRowsEnd) {
  // Row 10's stored length is one byte short: its last packet still ends the
  // row, and row 11 starts right behind that packet, not at the stored sum.
  const int width = 600, height = 500;  // shared between two threads
  TestLayer layer = MixedLayer(width, height);
  Bytes& red = layer.Channels[1].Data;
  const std::size_t lengthAt = 2 * 10;
  const int length = red[lengthAt] * 256 + red[lengthAt + 1] - 1;
  red[lengthAt] = static_cast<std::uint8_t>(length >> 8);
  red[lengthAt + 1] = static_cast<std::uint8_t>(length & 0xff);
  TestDocument document;
  document.Layers = {layer};
  Rendered rendered(document);
  rendered.Render();
  const auto reds = Flatten(PlaneValues(width, height, 0));
  const auto greens = Flatten(PlaneValues(width, height, 1));
  const auto blues = Flatten(PlaneValues(width, height, 2));
  for (std::size_t k = 0; k < reds.size(); ++k) {
    ASSERT_EQ(rendered.tiles.At(0).Image[k], Word(reds[k], greens[k], blues[k])) << k;
  }
}

TEST(LayerRowsDamage, TheErrorIsTheOnePlaneByPlaneDecodingGives) {
  // Green is cut short, and blue is damaged too: green's error comes first,
  // after red has been decoded; the layer is not shown.
  const int width = 600, height = 500;
  TestLayer layer = MixedLayer(width, height);
  layer.Channels[2].Data.resize(layer.Channels[2].Data.size() - 1);
  layer.Channels[3].Data.resize(layer.Channels[3].Data.size() / 2);
  TestDocument document;
  document.Layers = {MixedLayer(20, 20), layer};
  Rendered rendered(document);

  std::string expected;
  {
    Rendered reference(document);
    try {
      reference.Render();
    } catch (const PsdError&) {
    }
    const ChannelBlock& green = reference.state.ChannelData[1].Blocks[2];
    std::vector<PixelRecord> pixels(static_cast<std::size_t>(width * height));
    try {
      DecodePlane(green, width, height, pixels, Component::Green, {1, 1});
    } catch (const PsdError& error) {
      expected = error.what();
    }
  }
  ASSERT_FALSE(expected.empty());
  try {
    rendered.Render();
    FAIL() << "the damaged layer was accepted";
  } catch (const PsdError& error) {
    EXPECT_EQ(error.what(), expected);
  }
  EXPECT_TRUE(rendered.tiles.At(0).Shown);
  EXPECT_FALSE(rendered.tiles.At(1).Shown);
  const auto red = Flatten(PlaneValues(width, height, 0));
  ASSERT_EQ(rendered.state.Pixels.size(), red.size());
  EXPECT_EQ(rendered.state.Pixels.back().Red, red.back());
  EXPECT_EQ(rendered.state.Pixels.back().Blue, 0);
}

TEST(PaintRow, WritesExactlyTheRowsRecordsAndWords) {
  for (std::size_t width = 1; width <= 70; ++width) {
    Bytes red, green, blue;
    for (std::size_t x = 0; x < width; ++x) {
      red.push_back(static_cast<std::uint8_t>(255 - x));
      green.push_back(static_cast<std::uint8_t>(x * 3));
      blue.push_back(static_cast<std::uint8_t>(x ^ 0x5a));
    }
    const PixelRecord guard{-1, -2, -3};
    std::vector<PixelRecord> records(width + 1, guard);
    std::vector<std::uint32_t> words(width + 1, 7);
    PaintRow(red.data(), green.data(), blue.data(), width, records.data(), words.data());
    for (std::size_t x = 0; x < width; ++x) {
      ASSERT_EQ(records[x].Red, red[x]) << width << " " << x;
      ASSERT_EQ(records[x].Green, green[x]) << width << " " << x;
      ASSERT_EQ(records[x].Blue, blue[x]) << width << " " << x;
      ASSERT_EQ(words[x], Word(red[x], green[x], blue[x])) << width << " " << x;
    }
    EXPECT_EQ(records[width].Red, guard.Red) << width;
    EXPECT_EQ(words[width], 7u) << width;
  }
}

}  // namespace
}  // namespace plymark
