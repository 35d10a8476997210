#include <gtest/gtest.h>

#include <limits>

#include "platform/MemoryTileSurface.h"
#include "psd/ChannelData.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"
#include "render/LayerLoop.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"
#include "tests/support/RenderedDocument.h"

namespace plymark {
namespace {

using test::Bytes;
using test::SolidLayer;
using test::TestChannel;
using test::TestDocument;
using test::TestLayer;

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return 0xff000000u | (r << 16) | (g << 8) | b;
}

using Rendered = test::RenderedDocument;

TEST(LayerLoop, TileSizeIsTheRectanglesSizeWhicheverWayItsEdgesLie) {
  TestDocument document;
  document.Layers = {SolidLayer(10, 20, 110, 220, 1, 2, 3), SolidLayer(110, 220, 10, 20, 4, 5, 6)};
  Rendered rendered(document);
  rendered.Render();
  for (const int tile : {0, 1}) {
    EXPECT_EQ(rendered.tiles.At(tile).Width, 200);
    EXPECT_EQ(rendered.tiles.At(tile).Height, 100);
    EXPECT_TRUE(rendered.tiles.At(tile).Shown);
  }
  // The last layer's size stays in the document; its rows went straight
  // into the tile, with no pixel buffer kept.
  EXPECT_EQ(rendered.state.TileWidth, 200);
  EXPECT_EQ(rendered.state.TileHeight, 100);
  EXPECT_TRUE(rendered.state.Pixels.empty());
  EXPECT_EQ(rendered.Pixel(1, 0, 0), Rgb(4, 5, 6));
  EXPECT_EQ(rendered.Pixel(0, 199, 99), Rgb(1, 2, 3));
}

TEST(LayerLoop, EveryPixelIsPaintedFromItsRecordRowByRow) {
  TestDocument document;
  TestLayer layer{0, 0, 2, 3, {}, "norm", {}};
  layer.Channels = {{-1, 0, Bytes(6, 255)},
                    {0, 0, {255, 0, 0, 1, 10, 20}},
                    {1, 0, {0, 255, 0, 2, 11, 21}},
                    {2, 0, {0, 0, 255, 3, 12, 22}}};
  document.Layers = {layer};
  Rendered rendered(document);
  rendered.Render();
  EXPECT_EQ(rendered.Pixel(0, 0, 0), Rgb(255, 0, 0));
  EXPECT_EQ(rendered.Pixel(0, 1, 0), Rgb(0, 255, 0));
  EXPECT_EQ(rendered.Pixel(0, 2, 0), Rgb(0, 0, 255));
  EXPECT_EQ(rendered.Pixel(0, 0, 1), Rgb(1, 2, 3));
  EXPECT_EQ(rendered.Pixel(0, 1, 1), Rgb(10, 11, 12));
  EXPECT_EQ(rendered.Pixel(0, 2, 1), Rgb(20, 21, 22));
}

TEST(LayerLoop, ColourPlanesAreChosenByChannelIdWhereverTheyStand) {
  TestDocument document;
  // ImageMagick's order: colour first, transparency last.
  TestLayer colourFirst{0,      0, 1, 1, {{0, 0, {10}}, {1, 0, {20}}, {2, 0, {30}}, {-1, 0, {99}}},
                        "norm", {}};
  // No transparency channel at all.
  TestLayer noAlpha{0, 0, 1, 1, {{0, 0, {40}}, {1, 0, {50}}, {2, 0, {60}}}, "norm", {}};
  // A user mask behind the colour channels is never a colour.
  TestLayer withMask{
      0,      0, 1, 1, {{-1, 0, {1}}, {0, 0, {70}}, {1, 0, {80}}, {2, 0, {90}}, {-2, 0, {5}}},
      "norm", {}};
  // Blue is missing: its component stays 0.
  TestLayer noBlue{0, 0, 1, 1, {{-1, 0, {1}}, {1, 0, {7}}, {0, 0, {6}}}, "norm", {}};
  document.Layers = {colourFirst, noAlpha, withMask, noBlue};
  Rendered rendered(document);
  rendered.Render();
  EXPECT_EQ(rendered.Pixel(0, 0, 0), Rgb(10, 20, 30));
  EXPECT_EQ(rendered.Pixel(1, 0, 0), Rgb(40, 50, 60));
  EXPECT_EQ(rendered.Pixel(2, 0, 0), Rgb(70, 80, 90));
  EXPECT_EQ(rendered.Pixel(3, 0, 0), Rgb(6, 7, 0));
}

TEST(LayerLoop, GrayscaleAndDuotoneShowChannelZeroAsGrey) {
  for (const std::int16_t mode : std::initializer_list<std::int16_t>{1, 8}) {
    TestDocument document;
    document.ColorMode = mode;
    document.Channels = 1;
    document.Layers = {TestLayer{0, 0, 1, 2, {{-1, 0, {255, 255}}, {0, 0, {30, 200}}}, "norm", {}}};
    Rendered rendered(document);
    rendered.Render();
    EXPECT_EQ(rendered.Pixel(0, 0, 0), Rgb(30, 30, 30)) << "mode " << mode;
    EXPECT_EQ(rendered.Pixel(0, 1, 0), Rgb(200, 200, 200)) << "mode " << mode;
  }
}

TEST(LayerLoop, AnUndecodableBluePlaneIsPaintedAsZero) {
  TestDocument document;
  TestLayer layer{
      0,      0, 1, 1, {{-1, 0, {1}}, {0, 0, {11}}, {1, 1, {0, 2, 0, 22}}, {2, 2, {0x78, 0x9C}}},
      "norm", {}};
  TestLayer nothing{0, 0, 1, 1, {{0, 5, {1}}, {1, 2, {2}}, {2, -3, {3}}}, "norm", {}};
  document.Layers = {layer, nothing};
  Rendered rendered(document);
  rendered.Render();
  EXPECT_EQ(rendered.Pixel(0, 0, 0), Rgb(11, 22, 0));
  EXPECT_TRUE(rendered.tiles.At(1).Shown);
  EXPECT_EQ(rendered.Pixel(1, 0, 0), Rgb(0, 0, 0));
}

TEST(LayerLoop, TwelveLayersFillTwelveTilesAndLaterOnesAreDecodedButNotShown) {
  TestDocument document;
  for (int i = 0; i < 14; ++i) {
    document.Layers.push_back(SolidLayer(0, 0, 1 + i, 2, static_cast<std::uint8_t>(i), 0, 0));
  }
  // Layer 13 is damaged: a raw plane with too few bytes. Its damage is still
  // found although no tile shows it.
  document.Layers[13].Channels[1].Data.resize(3);
  Rendered rendered(document);
  EXPECT_THROW(rendered.Render(), PsdError);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(rendered.tiles.At(i).Height, 1 + i);
    EXPECT_EQ(rendered.Pixel(i, 1, i), Rgb(static_cast<std::uint32_t>(i), 0, 0));
  }

  document.Layers[13].Channels[1].Data.assign(28, 13);
  Rendered whole(document);
  whole.Render();
  EXPECT_EQ(whole.state.TileWidth, 2);
  EXPECT_EQ(whole.state.TileHeight, 14);
}

TEST(LayerLoop, AZeroSizeLayerEmptiesItsTile) {
  TestDocument document;
  document.Layers = {TestLayer{5, 5, 5, 40, {{0, 0, {}}}, "norm", {}}};
  Rendered rendered(document);
  rendered.Render();
  EXPECT_EQ(rendered.tiles.At(0).Width, 35);
  EXPECT_EQ(rendered.tiles.At(0).Height, 0);
  EXPECT_FALSE(rendered.tiles.At(0).Shown);
  EXPECT_TRUE(rendered.state.Pixels.empty());
}

TEST(LayerLoopDamage, TilesPaintedBeforeADamagedLayerKeepTheirPictures) {
  TestDocument document;
  TestLayer broken{0, 0, 1, 2, {{0, 1, {0x00, 0x02, 0xFD, 0x07}}}, "norm", {}};
  document.Layers = {SolidLayer(0, 0, 1, 1, 9, 8, 7), broken};
  Rendered rendered(document);
  EXPECT_THROW(rendered.Render(), PsdError);
  EXPECT_TRUE(rendered.tiles.At(0).Shown);
  EXPECT_EQ(rendered.Pixel(0, 0, 0), Rgb(9, 8, 7));
  EXPECT_FALSE(rendered.tiles.At(1).Shown);
}

TEST(LayerLoopDamage, EdgeDifferencesBeyond32BitsAreRefused) {
  TestDocument document;
  document.Layers = {TestLayer{0,
                               std::numeric_limits<std::int32_t>::min(),
                               1,
                               std::numeric_limits<std::int32_t>::max(),
                               {},
                               "norm",
                               {}}};
  Rendered rendered(document);
  EXPECT_THROW(rendered.Render(), PsdError);
}

TEST(LayerLoopDamage, LayersLargerThanTheFormatOrTheirDataAllowAreRefused) {
  // More than 30000 pixels a side.
  TestDocument wide;
  wide.Layers = {TestLayer{0, 0, 1, 30001, {{0, 1, Bytes(600, 0x81)}}, "norm", {}}};
  Rendered tooWide(wide);
  EXPECT_THROW(tooWide.Render(), PsdError);

  // 20000 x 20000 pixels from ten raw bytes: refused before any buffer is made.
  TestDocument huge;
  huge.Layers = {TestLayer{0, 0, 20000, 20000, {{0, 0, Bytes(10, 1)}}, "norm", {}}};
  Rendered tooLarge(huge);
  try {
    tooLarge.Render();
    FAIL() << "400 million pixels cannot come from 10 bytes";
  } catch (const PsdError& error) {
    EXPECT_NE(std::string(error.what()).find("20000 x 20000"), std::string::npos);
  }
  EXPECT_TRUE(tooLarge.state.Pixels.empty());
  EXPECT_EQ(tooLarge.tiles.At(0).Width, 0);

  // Up to 65536 pixels need no data at all; run-length data may expand 64 times.
  TestDocument allowed;
  allowed.Layers = {TestLayer{0, 0, 256, 256, {}, "norm", {}},
                    TestLayer{0, 0, 257, 256, {{0, 1, {0, 4, 0x81, 1}}}, "norm", {}}};
  Rendered fine(allowed);
  EXPECT_THROW(fine.Render(), PsdError);  // the run-length plane itself is short
  EXPECT_EQ(fine.tiles.At(0).Width, 256);
  EXPECT_EQ(fine.tiles.At(1).Width, 256);

  TestDocument oneByteLess;
  oneByteLess.Layers = {TestLayer{0, 0, 257, 256, {{0, 1, {0, 4, 0x81}}}, "norm", {}}};
  Rendered refused(oneByteLess);
  try {
    refused.Render();
    FAIL() << "65792 pixels cannot come from 3 run-length bytes";
  } catch (const PsdError& error) {
    EXPECT_NE(std::string(error.what()).find("more than its stored channel data"),
              std::string::npos);
  }
}

TEST(LayerLoopDamage, PixelsNoDataFillsAreCappedForTheWholeFile) {
  // Twelve layers of 65536 pixels without channels are allowed, and so is a
  // thirteenth whose data fills it; one pixel that no data fills is not.
  TestDocument document;
  for (int i = 0; i < 12; ++i) document.Layers.push_back(TestLayer{0, 0, 256, 256, {}, "norm", {}});
  document.Layers.push_back(TestLayer{0, 0, 1, 2, {{0, 0, Bytes{7, 7}}}, "norm", {}});
  Rendered allowed(document);
  EXPECT_NO_THROW(allowed.Render());

  document.Layers.back().Channels.clear();
  Rendered refused(document);
  try {
    refused.Render();
    FAIL() << "a thirteenth layer beyond its data passes the file's allowance";
  } catch (const PsdError& error) {
    EXPECT_NE(std::string(error.what()).find("rectangle of layer 12"), std::string::npos);
    EXPECT_NE(std::string(error.what()).find("more than the 786432 a file may have"),
              std::string::npos);
  }
  EXPECT_EQ(refused.tiles.At(11).Width, 256);  // the layers before keep their tiles
}

}  // namespace
}  // namespace plymark
