#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/MemoryTileSurface.h"
#include "psd/ChannelData.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"
#include "render/LayerLoop.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::TestChannel;
using test::TestDocument;
using test::TestLayer;

struct Rgb8 {
  int Red = 0;
  int Green = 0;
  int Blue = 0;
};

// Reads and renders a file built from `document` the way an Open does.
struct Rendered {
  Bytes file;
  DocumentState state;
  MemoryTileSurface tiles{12};
  test::FakeMessageSink messages;

  explicit Rendered(const TestDocument& document) : file(test::BuildPsd(document)) {
    ReadFileHeader(file, state);
    ReadColorModeSection(file, state, messages);
    ReadImageResourceSection(file, state);
    ReadChannelData(file, state, ReadLayerRecords(file, state, messages));
    state.File = FileView(file);  // as the Open keeps it
    RenderLayers(state, tiles);
  }

  Rgb8 Pixel(int tile, int k) const {
    const std::uint32_t word = tiles.At(tile).Image.at(static_cast<std::size_t>(k));
    return {static_cast<int>((word >> 16) & 0xff), static_cast<int>((word >> 8) & 0xff),
            static_cast<int>(word & 0xff)};
  }
};

// A layer one pixel high with the given channels.
TestLayer Row(std::size_t width, std::vector<TestChannel> channels) {
  return TestLayer{0, 0, 1, static_cast<std::int32_t>(width), std::move(channels), "norm", {}};
}

// Lab (D50) to sRGB worked out directly in double precision: XYZ, Bradford to
// D65, the sRGB primaries and transfer curve.
Rgb8 LabFormula(int lByte, int aByte, int bByte) {
  const double lightness = lByte * 100.0 / 255.0;
  const double fy = (lightness + 16.0) / 116.0;
  const double fx = fy + (aByte - 128) / 500.0;
  const double fz = fy - (bByte - 128) / 200.0;
  const auto inverse = [](double t) {
    const double delta = 6.0 / 29.0;
    return t > delta ? std::pow(t, 3.0) : 3.0 * delta * delta * (t - 4.0 / 29.0);
  };
  const double x = 0.96422 * inverse(fx);
  const double y = 1.00000 * inverse(fy);
  const double z = 0.82521 * inverse(fz);
  const double x65 = 0.9555766 * x - 0.0230393 * y + 0.0631636 * z;
  const double y65 = -0.0282895 * x + 1.0099416 * y + 0.0210077 * z;
  const double z65 = 0.0122982 * x - 0.0204830 * y + 1.3299098 * z;
  const auto encode = [](double linear) {
    const double c = std::clamp(linear, 0.0, 1.0);
    const double v = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
    return static_cast<int>(std::lround(v * 255.0));
  };
  return {encode(3.2404542 * x65 - 1.5371385 * y65 - 0.4985314 * z65),
          encode(-0.9692660 * x65 + 1.8760108 * y65 + 0.0415560 * z65),
          encode(0.0556434 * x65 - 0.2040259 * y65 + 1.0572252 * z65)};
}

void ExpectNear(Rgb8 actual, Rgb8 expected, int tolerance, const std::string& what) {
  EXPECT_NEAR(actual.Red, expected.Red, tolerance) << what;
  EXPECT_NEAR(actual.Green, expected.Green, tolerance) << what;
  EXPECT_NEAR(actual.Blue, expected.Blue, tolerance) << what;
}

TEST(ColourModes, IndexedLayersLookTheirIndicesUpInTheColourTable) {
  TestDocument document;
  document.ColorMode = 2;
  document.Channels = 1;
  Bytes table(768);
  for (int k = 0; k < 256; ++k) {
    table[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(255 - k);
    table[static_cast<std::size_t>(256 + k)] = static_cast<std::uint8_t>(k * 7);
    table[static_cast<std::size_t>(512 + k)] = static_cast<std::uint8_t>(k ^ 0x5A);
  }
  document.ColorModeData = table;
  const Bytes indices = {0, 1, 2, 127, 128, 200, 254, 255};
  document.Layers = {Row(8, {{0, 0, indices}}),
                     Row(8, {{-1, 0, Bytes(8, 255)}, {0, 1, test::RunLengthPlane({indices})}})};
  const Rendered rendered(document);
  EXPECT_EQ(rendered.messages.messages.front(), "ERROR");  // colour-mode data is still announced
  EXPECT_EQ(rendered.state.ColorTable, table);
  for (const int tile : {0, 1}) {
    for (std::size_t k = 0; k < indices.size(); ++k) {
      const int index = indices[k];
      const Rgb8 pixel = rendered.Pixel(tile, static_cast<int>(k));
      EXPECT_EQ(pixel.Red, table[static_cast<std::size_t>(index)]);
      EXPECT_EQ(pixel.Green, table[static_cast<std::size_t>(256 + index)]);
      EXPECT_EQ(pixel.Blue, table[static_cast<std::size_t>(512 + index)]);
    }
  }
}

TEST(ColourModes, AShortColourTableLeavesItsMissingEntriesBlack) {
  TestDocument document;
  document.ColorMode = 2;
  document.ColorModeData = {10, 20, 30};  // reds of indices 0 to 2 only
  document.Layers = {Row(2, {{0, 0, {1, 3}}})};
  const Rendered rendered(document);
  ExpectNear(rendered.Pixel(0, 0), {20, 0, 0}, 0, "index 1");
  ExpectNear(rendered.Pixel(0, 1), {0, 0, 0}, 0, "index 3");
}

TEST(ColourModes, CmykIsInvertedInkScaledByBlackWhateverTheChannelOrder) {
  TestDocument document;
  document.ColorMode = 4;
  document.Channels = 4;
  const Bytes cyan = {255, 0, 255, 128, 12, 200, 77, 255};
  const Bytes magenta = {255, 255, 0, 128, 34, 100, 99, 0};
  const Bytes yellow = {255, 255, 255, 0, 56, 50, 121, 10};
  const Bytes black = {255, 255, 255, 128, 250, 3, 180, 0};
  document.Layers = {Row(8, {{3, 1, test::RunLengthPlane({black})},
                             {2, 0, yellow},
                             {0, 0, cyan},
                             {1, 1, test::RunLengthPlane({magenta})},
                             {-1, 0, Bytes(8, 255)}})};
  const Rendered rendered(document);
  int worst = 0;
  for (std::size_t k = 0; k < cyan.size(); ++k) {
    const double kInk = black[k];
    const Rgb8 expected = {static_cast<int>(std::lround(cyan[k] * kInk / 255.0)),
                           static_cast<int>(std::lround(magenta[k] * kInk / 255.0)),
                           static_cast<int>(std::lround(yellow[k] * kInk / 255.0))};
    const Rgb8 actual = rendered.Pixel(0, static_cast<int>(k));
    ExpectNear(actual, expected, 2, "pixel " + std::to_string(k));
    worst =
        std::max({worst, std::abs(actual.Red - expected.Red),
                  std::abs(actual.Green - expected.Green), std::abs(actual.Blue - expected.Blue)});
  }
  EXPECT_EQ(worst, 0);  // rounded, not cut: 99 x 180 / 255 = 69.9 gives 70
  // Paper white and full black are exact.
  ExpectNear(rendered.Pixel(0, 0), {255, 255, 255}, 0, "no ink");
  ExpectNear(rendered.Pixel(0, 7), {0, 0, 0}, 0, "full black");
}

TEST(ColourModes, LabFollowsTheD50ToSrgbFormula) {
  TestDocument document;
  document.ColorMode = 9;
  // Every combination of nine levels of L, a and b: 729 pixels in one row.
  const std::vector<int> levels = {0, 1, 40, 90, 128, 160, 200, 254, 255};
  Bytes l, a, b;
  for (const int lv : levels) {
    for (const int av : levels) {
      for (const int bv : levels) {
        l.push_back(static_cast<std::uint8_t>(lv));
        a.push_back(static_cast<std::uint8_t>(av));
        b.push_back(static_cast<std::uint8_t>(bv));
      }
    }
  }
  // Photoshop's own reference points: white, black and the red primary.
  l.insert(l.end(), {255, 0, 138});
  a.insert(a.end(), {128, 128, 209});
  b.insert(b.end(), {128, 128, 198});
  document.Layers = {Row(
      l.size(),
      {{-1, 0, Bytes(l.size(), 255)}, {0, 0, l}, {1, 1, test::RunLengthPlane({a})}, {2, 0, b}})};
  const Rendered rendered(document);
  int worst = 0;
  for (std::size_t k = 0; k < l.size(); ++k) {
    const Rgb8 actual = rendered.Pixel(0, static_cast<int>(k));
    const Rgb8 expected = LabFormula(l[k], a[k], b[k]);
    ExpectNear(actual, expected, 2,
               "L, a, b bytes " + std::to_string(l[k]) + ", " + std::to_string(a[k]) + ", " +
                   std::to_string(b[k]));
    worst =
        std::max({worst, std::abs(actual.Red - expected.Red),
                  std::abs(actual.Green - expected.Green), std::abs(actual.Blue - expected.Blue)});
  }
  EXPECT_LE(worst, 1);
  RecordProperty("largest difference", worst);
  const int last = static_cast<int>(l.size()) - 1;
  ExpectNear(rendered.Pixel(0, last - 2), {255, 255, 255}, 0, "white");
  ExpectNear(rendered.Pixel(0, last - 1), {0, 0, 0}, 0, "black");
  ExpectNear(rendered.Pixel(0, last), {255, 0, 0}, 6, "red primary");
}

TEST(ColourModes, MultichannelShowsChannelsZeroOneTwoAndIgnoresTheRest) {
  TestDocument document;
  document.ColorMode = 7;
  document.Channels = 4;
  document.Layers = {Row(1, {{3, 0, {99}}, {2, 0, {30}}, {1, 0, {20}}, {0, 0, {10}}})};
  const Rendered rendered(document);
  ExpectNear(rendered.Pixel(0, 0), {10, 20, 30}, 0, "multichannel");
}

TEST(ColourModes, BitmapAndUnknownModesStayBlack) {
  for (const std::int16_t mode : std::initializer_list<std::int16_t>{0, 5, 42, -1}) {
    TestDocument document;
    document.ColorMode = mode;
    document.Layers = {test::SolidLayer(0, 0, 2, 3, 10, 20, 30),
                       test::SolidLayer(0, 0, 1, 1, 40, 50, 60)};
    const Rendered rendered(document);
    EXPECT_EQ(rendered.tiles.At(0).Width, 3);
    EXPECT_TRUE(rendered.tiles.At(0).Shown);
    ExpectNear(rendered.Pixel(0, 5), {0, 0, 0}, 0, "mode " + std::to_string(mode));
    ExpectNear(rendered.Pixel(1, 0), {0, 0, 0}, 0, "mode " + std::to_string(mode));
  }
}

TEST(ColourModes, TheSizeCheckCountsTheChannelsTheModeUses) {
  // 300 x 300 = 90000 pixels: more than the allowance, so some colour
  // channel of the mode must hold enough data.
  const Bytes plane(90000, 255);
  TestLayer blackOnly{0, 0, 300, 300, {{3, 0, plane}, {0, 2, {0x78}}}, "norm", {}};

  TestDocument cmyk;
  cmyk.ColorMode = 4;
  cmyk.Layers = {blackOnly};
  const Rendered rendered(cmyk);
  EXPECT_EQ(rendered.tiles.At(0).Width, 300);

  TestDocument rgb;
  rgb.Layers = {blackOnly};
  EXPECT_THROW(Rendered{rgb}, PsdError);  // channel 3 feeds nothing in RGB

  TestDocument bitmap;
  bitmap.ColorMode = 0;
  bitmap.Layers = {blackOnly};
  EXPECT_EQ(Rendered(bitmap).tiles.At(0).Height, 300);
}

TEST(TileDescriptions, EachShownTileTellsItsLayersNameSizeAndPosition) {
  TestDocument document;
  for (int i = 0; i < 13; ++i) document.Layers.push_back(test::SolidLayer(0, 0, 1, 1, 1, 2, 3));
  document.Layers[0] = test::SolidLayer(10, 20, 110, 220, 1, 2, 3);
  document.Layers[0].Extra = test::NamedExtra("Sky", u"Sky \u2601");
  document.Layers[1] = test::SolidLayer(-5, 7, -15, 2, 1, 2, 3);  // edges stored reversed
  document.Layers[1].Extra = test::NamedExtra("Caf\xe9");
  document.Layers[2] = TestLayer{4, 5, 4, 9, {}, "norm", test::NamedExtra("Empty")};
  const Rendered rendered(document);
  EXPECT_EQ(rendered.tiles.At(0).Description, "Sky \u2601\n200 \u00d7 100 pixels at (20, 10)");
  EXPECT_EQ(rendered.tiles.At(1).Description, "Caf\u00e9\n5 \u00d7 10 pixels at (2, -15)");
  EXPECT_EQ(rendered.tiles.At(2).Description, "Empty\n4 \u00d7 0 pixels at (5, 4)");
  EXPECT_EQ(rendered.tiles.At(3).Description, "(no name)\n1 \u00d7 1 pixels at (0, 0)");
  EXPECT_EQ(rendered.state.Layers[12].Name, "");
}

TEST(TileDescriptions, ALayerInAGroupTellsItsPathAndWhetherItIsHiddenOrSeeThrough) {
  TestDocument document;
  document.Layers = {
      TestLayer{0, 0, 0, 0, {}, "norm", test::LayerExtra("</G>", {}, test::SectionDivider(3))},
      test::SolidLayer(0, 0, 1, 1, 1, 2, 3), test::SolidLayer(0, 0, 1, 1, 1, 2, 3),
      TestLayer{0, 0, 0, 0, {}, "norm", test::LayerExtra("Group 1", {}, test::SectionDivider(1))}};
  document.Layers[1].Extra = test::NamedExtra("Shape 1");
  document.Layers[1].Flags = 0x02;
  document.Layers[1].Opacity = 128;
  document.Layers[2].Extra = test::NamedExtra("Shape 2");
  const Rendered rendered(document);
  EXPECT_EQ(rendered.tiles.At(1).Description,
            "Shape 1\n1 \u00d7 1 pixels at (0, 0)\nGroup 1 / Shape 1\nhidden\nopacity 128 of 255");
  EXPECT_EQ(rendered.tiles.At(2).Description,
            "Shape 2\n1 \u00d7 1 pixels at (0, 0)\nGroup 1 / Shape 2");
  EXPECT_EQ(rendered.tiles.At(3).Description, "Group 1\n0 \u00d7 0 pixels at (0, 0)");
}

TEST(TileDescriptions, ATextLayerTellsTheFirstFortyCharactersOfItsText) {
  const auto textLayer = [](const std::u16string& text, std::int16_t textVersion) {
    const test::Bytes block =
        test::ByteWriter()
            .I16(1)
            .Append(test::Bytes(48, 0))
            .I16(textVersion)
            .Append(test::Versioned("TxLr", {{"Txt ", test::TextValue(text)}}))
            .Data();
    return TestLayer{0,
                     0,
                     1,
                     1,
                     {},
                     "norm",
                     test::LayerExtra("T", {}, test::TaggedBlock("8BIM", "TySh", block))};
  };
  TestDocument document;
  document.Layers = {textLayer(u"Hello\rWorld", 50),
                     textLayer(u"A quick brown fox jumps over the lazy d\u00f6g", 50),
                     textLayer(u"damaged", 49)};
  const Rendered rendered(document);
  EXPECT_EQ(rendered.tiles.At(0).Description,
            "T\n1 \u00d7 1 pixels at (0, 0)\n\u201cHello World\u201d");
  EXPECT_EQ(rendered.tiles.At(1).Description,
            "T\n1 \u00d7 1 pixels at (0, 0)\n\u201cA quick brown fox jumps over the lazy "
            "d\u00f6\u2026\u201d");
  EXPECT_EQ(rendered.tiles.At(2).Description, "T\n1 \u00d7 1 pixels at (0, 0)");
}

}  // namespace
}  // namespace plymark
