#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>

#include "app/OpenWorkflow.h"
#include "compose/BlendFormulas.h"
#include "compose/RenderDocument.h"
#include "platform/MemoryTileSurface.h"
#include "psd/PsdError.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using namespace std::string_view_literals;
using test::Bytes;
using test::SolidLayer;
using test::TestDocument;
using test::TestLayer;

// The whole drawn document, gathered from its bands.
struct Drawn : RenderSink {
  std::int32_t Width = 0;
  int Channels = 0;
  std::vector<std::vector<float>> Colour{4};
  std::vector<float> Alpha;
  int Bands = 0;
  RenderResult Result;

  void TakeBand(const RenderedBand& band) override {
    ++Bands;
    Width = band.Width;
    Channels = band.ColourChannels;
    const auto count = static_cast<std::size_t>(band.Rows) * static_cast<std::size_t>(band.Width);
    for (int c = 0; c < band.ColourChannels; ++c) {
      const float* plane = band.Colour[static_cast<std::size_t>(c)];
      Colour[static_cast<std::size_t>(c)].insert(Colour[static_cast<std::size_t>(c)].end(), plane,
                                                 plane + count);
    }
    Alpha.insert(Alpha.end(), band.Alpha, band.Alpha + count);
  }
  float At(int c, int x, int y = 0) const {
    return Colour[static_cast<std::size_t>(c)][static_cast<std::size_t>(y * Width + x)];
  }
  // The pixel as 8-bit components and alpha, 0xAARRGGBB.
  std::uint32_t Word(int x, int y = 0) const {
    const auto byte = [](float v) { return static_cast<std::uint32_t>(std::lround(v * 255.0f)); };
    std::uint32_t word = byte(Alpha[static_cast<std::size_t>(y * Width + x)]) << 24;
    for (int c = 0; c < 3; ++c) word |= byte(At(c, x, y)) << (16 - 8 * c);
    return word;
  }
};

Drawn Render(const TestDocument& document, RenderOptions options = {}) {
  test::FakeFileSource files;
  files.Add("doc.psd", test::BuildPsd(document));
  test::FakeMessageSink messages;
  MemoryTileSurface tiles(0);
  DocumentState state;
  EXPECT_FALSE(OpenDocument("doc.psd", state, files, messages, tiles));
  Drawn drawn;
  drawn.Result = RenderDocument(state, drawn, options);
  return drawn;
}

Bytes Block(const std::string& key, const Bytes& data) {
  return test::TaggedBlock("8BIM", key, data);
}

// A group's record and its bounding divider around `members`, bottom first.
std::vector<TestLayer> Group(const std::string& mode, std::uint8_t opacity,
                             std::vector<TestLayer> members) {
  TestLayer end{
      0, 0, 0, 0, {}, "norm", test::LayerExtra("</Layer group>", {}, test::SectionDivider(3))};
  test::ByteWriter divider;
  divider.I32(1).Text("8BIM").Text(mode);
  TestLayer group{
      0, 0, 0, 0, {}, "norm", test::LayerExtra("group", {}, Block("lsct", divider.Data()))};
  group.Opacity = opacity;
  members.insert(members.begin(), end);
  members.push_back(group);
  return members;
}

TestLayer WithFill(TestLayer layer, std::uint8_t fill) {
  layer.Extra = test::LayerExtra("filled", {}, Block("iOpa", {fill, 0, 0, 0}));
  return layer;
}

TEST(RenderDocument, FillActsInsideTheFormulaOfLinearLight) {
  const bool drawn = blend::VisitBlendMode(BlendMode::LinearLight, [](const auto& formula) {
    return !std::is_same_v<std::decay_t<decltype(formula)>, blend::Normal>;
  });
  if (!drawn) GTEST_SKIP() << "linear light has no formula yet";
  TestDocument document;
  document.Rows = document.Columns = 1;
  TestLayer blue = SolidLayer(0, 0, 1, 1, 0, 0, 255);
  blue.Opacity = 153;
  TestLayer green = SolidLayer(0, 0, 1, 1, 0, 255, 0);
  green.BlendKey = "lLit";
  green.Opacity = 102;
  TestLayer red = WithFill(SolidLayer(0, 0, 1, 1, 255, 0, 0), 51);
  red.BlendKey = "lLit";
  document.Layers = {blue, green, red};
  const std::uint32_t word = Render(document).Word(0);
  const std::uint32_t expected[] = {206, 63, 78, 66};  // coverage-only fill: 63, 101, 91
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(static_cast<double>((word >> (24 - 8 * k)) & 0xff), expected[k], 1.0) << k;
  }
}

TEST(RenderDocument, APassThroughGroupsOpacityScalesItsLayers) {
  // Over an opaque backdrop (x < 2) and over nothing (x >= 2).
  TestLayer backdrop = SolidLayer(0, 0, 2, 2, 100, 150, 200);
  TestLayer layer = SolidLayer(0, 0, 2, 4, 200, 50, 25);
  layer.BlendKey = "mul ";
  layer.Channels[0].Data = Bytes(8, 200);
  TestDocument grouped;
  grouped.Rows = 2;
  grouped.Layers = Group("pass", 128, {layer});
  grouped.Layers.insert(grouped.Layers.begin(), backdrop);
  TestDocument alone;
  alone.Rows = 2;
  layer.Opacity = 128;
  alone.Layers = {backdrop, layer};
  const Drawn a = Render(grouped);
  const Drawn b = Render(alone);
  for (int c = 0; c < 3; ++c) {
    for (std::size_t k = 0; k < a.Alpha.size(); ++k) {
      EXPECT_NEAR(a.Colour[static_cast<std::size_t>(c)][k],
                  b.Colour[static_cast<std::size_t>(c)][k], 1e-5);
      EXPECT_NEAR(a.Alpha[k], b.Alpha[k], 1e-6);
    }
  }
}

struct MaskCase {
  const char* Name;
  bool Clipped;           ///< a green base carries the mask and the red layer is clipped to it
  std::uint8_t Outside;   ///< the mask's default colour
  std::uint8_t Inside;    ///< its pixels, over columns 2 and 3
  std::uint32_t AtLeft;   ///< the drawn pixel at x = 0
  std::uint32_t AtRight;  ///< and at x = 3
};

class Masks : public testing::TestWithParam<MaskCase> {};

TEST_P(Masks, ShowTheLayerWhereTheMaskLetsItThrough) {
  const MaskCase& test = GetParam();
  TestLayer red = SolidLayer(0, 0, 1, 4, 255, 0, 0);
  TestLayer masked = test.Clipped ? SolidLayer(0, 0, 1, 4, 0, 255, 0) : red;
  masked.Extra = test::LayerExtra("masked", test::UserMaskData(0, 2, 1, 4, test.Outside));
  masked.Channels.push_back({-2, 0, Bytes(2, test.Inside)});
  TestDocument document;
  document.Rows = 1;
  document.Layers = {SolidLayer(0, 0, 1, 4, 255, 255, 255), masked};
  if (test.Clipped) {
    red.Clipping = 1;
    document.Layers.push_back(red);
  }
  const Drawn drawn = Render(document);
  EXPECT_EQ(drawn.Word(0), test.AtLeft);
  EXPECT_EQ(drawn.Word(3), test.AtRight);
}

constexpr std::uint32_t kWhite = 0xffffffffu;
constexpr std::uint32_t kRed = 0xffff0000u;
INSTANTIATE_TEST_SUITE_P(
    DefaultColours, Masks,
    testing::Values(MaskCase{"HiddenOutside", false, 0, 255, kWhite, kRed},
                    MaskCase{"ShownOutside", false, 255, 0, kRed, kWhite},
                    MaskCase{"ClippedHiddenOutside", true, 0, 255, kWhite, kRed},
                    MaskCase{"ClippedShownOutside", true, 255, 0, kRed, kWhite}),
    [](const testing::TestParamInfo<MaskCase>& param) { return std::string(param.param.Name); });

TEST(RenderDocument, BandsOfAnyHeightDrawTheSameDocument) {
  TestDocument document;
  document.Rows = 37;
  document.Columns = 5;
  // Run-length rows from above the document, ZIP rows with prediction below
  // its middle, a mask across both.
  TestLayer packed{-3, 0, 30, 5, {}, "mul ", {}};
  TestLayer zipped{
      7, 1, 37, 4, {}, "norm", test::LayerExtra("zip", test::UserMaskData(5, 0, 20, 5, 0))};
  std::vector<Bytes> rows;
  Bytes plane;
  for (int y = 0; y < 33; ++y) rows.push_back({1, 1, 1, static_cast<std::uint8_t>(y * 7), 9});
  for (int k = 0; k < 90; ++k) plane.push_back(static_cast<std::uint8_t>(k * 37));
  for (std::int16_t id = -1; id < 3; ++id) {
    packed.Channels.push_back({id, 1, test::PackBitsPlane(rows)});
    zipped.Channels.push_back({id, 3, test::PredictedZipPlane(plane, 3, 30, 1)});
  }
  zipped.Channels.push_back({-2, 0, Bytes(75, 128)});
  document.Layers = {SolidLayer(0, 0, 37, 5, 90, 80, 70), packed, zipped};
  const Drawn whole = Render(document);
  EXPECT_EQ(whole.Bands, 1);
  for (const std::size_t budget : {std::size_t{3000}, std::size_t{800}}) {
    RenderOptions options;
    options.BandBudgetBytes = budget;
    const Drawn banded = Render(document, options);
    EXPECT_GT(banded.Bands, 2);
    for (int c = 0; c < 3; ++c)
      EXPECT_EQ(banded.Colour[static_cast<std::size_t>(c)],
                whole.Colour[static_cast<std::size_t>(c)]);
    EXPECT_EQ(banded.Alpha, whole.Alpha);
  }
  RenderOptions tiny;
  tiny.BandBudgetBytes = 10;
  EXPECT_THROW(Render(document, tiny), PsdError);
}

TEST(RenderDocument, SixteenBitLayersKeepTheirPrecision) {
  TestDocument document;
  document.Depth = 16;
  document.LayerBlockKey = "Lr16";
  document.Rows = 1;
  document.Columns = 2;
  TestLayer layer{0, 0, 1, 2, {}, "norm", {}};
  layer.Channels = {{-1, 0, test::Samples16({65535, 32768})},
                    {0, 0, test::Samples16({32769, 1000})},
                    {1, 0, test::Samples16({0, 0})},
                    {2, 0, test::Samples16({65535, 65535})}};
  document.Layers = {layer};
  const Drawn drawn = Render(document);
  EXPECT_NEAR(drawn.At(0, 0), 32769.0f / 65535.0f, 1e-6);
  EXPECT_NEAR(drawn.At(0, 1), 1000.0f / 65535.0f, 1e-6);
  EXPECT_NEAR(drawn.Alpha[1], 32768.0f / 65535.0f, 1e-6);
}

TEST(RenderDocument, ADamagedTransparencyChannelDrawsTheLayerOpaque) {
  TestLayer layer = SolidLayer(0, 0, 1, 4, 10, 20, 30);
  layer.Channels[0].Data = {7, 7};  // raw, two samples short
  TestDocument document;
  document.Rows = 1;
  document.Layers = {layer};
  const Drawn drawn = Render(document);
  EXPECT_EQ(drawn.Word(3), 0xff0a141eu);
  ASSERT_EQ(drawn.Result.Omissions.size(), 1u);
  EXPECT_NE(drawn.Result.Omissions[0].find("transparency channel damaged"), std::string::npos);
}

struct StructureCase {
  const char* Name;
  std::vector<TestLayer> Layers;  ///< above an opaque white background
  std::uint32_t Expected;         ///< the drawn pixel
};

class Structure : public testing::TestWithParam<StructureCase> {};

TEST_P(Structure, DrawsLayersAsTheMakerMergesThem) {
  TestDocument document;
  document.Rows = document.Columns = 1;
  document.Layers = {SolidLayer(0, 0, 1, 1, 255, 255, 255)};
  for (const TestLayer& layer : GetParam().Layers) document.Layers.push_back(layer);
  EXPECT_EQ(Render(document).Word(0), GetParam().Expected);
}

TestLayer Solid(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha = 255,
                const std::string& key = "norm") {
  TestLayer layer = SolidLayer(0, 0, 1, 1, red, green, blue);
  layer.Channels[0].Data = {alpha};
  layer.BlendKey = key;
  return layer;
}

TestLayer Clipped(TestLayer layer) {
  layer.Clipping = 1;
  return layer;
}

TestLayer Hidden(TestLayer layer) {
  layer.Flags = 0x02;
  return layer;
}

std::vector<TestLayer> Below(TestLayer bottom, std::vector<TestLayer> above) {
  above.insert(above.begin(), bottom);
  return above;
}

TestLayer Apart(TestLayer base) {
  base.Extra = test::LayerExtra("apart", {}, Block("clbl", {0, 0, 0, 0}));
  return base;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Structure,
    testing::Values(StructureCase{"HiddenBaseHidesItsClippedLayers",
                                  {Hidden(Solid(0, 255, 0)), Clipped(Solid(255, 0, 0))},
                                  0xffffffffu},
                    StructureCase{"ClippedLayerWithoutBaseIsDrawn",
                                  Group("pass", 255, {Clipped(Solid(255, 0, 0))}), 0xffff0000u},
                    // Over a backdrop of (100, 150, 200): multiply gives (78, 59, 39).
                    StructureCase{"PassThroughLetsLayersBlendWithTheBackdrop",
                                  Below(Solid(100, 150, 200),
                                        Group("pass", 255, {Solid(200, 100, 50, 255, "mul ")})),
                                  0xff4e3b27u},
                    StructureCase{"IsolatedGroupHidesTheBackdropFromItsLayers",
                                  Below(Solid(100, 150, 200),
                                        Group("norm", 255, {Solid(200, 100, 50, 255, "mul ")})),
                                  0xffc86432u},
                    StructureCase{
                        "IsolatedGroupBlendsWithItsMode",
                        Below(Solid(100, 150, 200), Group("mul ", 255, {Solid(200, 100, 50)})),
                        0xff4e3b27u},
                    // Half-covering red base, blue clipped onto it: blue inside the base's shape.
                    StructureCase{"ClippingSetBlendsAsAGroup",
                                  {Solid(255, 0, 0, 128), Clipped(Solid(0, 0, 255))},
                                  0xff7f7fffu},
                    // In Normal, as in the maker's drawing, as a group or not alike.
                    StructureCase{"ClippedLayersBlendOnTheirOwn",
                                  {Apart(Solid(255, 0, 0, 128)), Clipped(Solid(0, 0, 255))},
                                  0xff7f7fffu}),
    [](const testing::TestParamInfo<StructureCase>& param) {
      return std::string(param.param.Name);
    });

struct OmissionCase {
  const char* Name;
  std::string BlendKey;
  Bytes Blocks;       ///< the record's tagged blocks
  Bytes Ranges;       ///< its blending ranges
  const char* Named;  ///< what the omission says; null for none
};

class Omissions : public testing::TestWithParam<OmissionCase> {};

TEST_P(Omissions, NameWhatIsNotDrawn) {
  const OmissionCase& test = GetParam();
  TestLayer layer = Solid(10, 20, 30);
  layer.BlendKey = test.BlendKey;
  test::ByteWriter extra;
  extra.I32(0).I32(static_cast<std::int64_t>(test.Ranges.size())).Append(test.Ranges);
  extra.U8(3).Text("abc").Append(test.Blocks);
  layer.Extra = extra.Data();
  TestDocument document;
  document.Rows = document.Columns = 1;
  document.Layers = {layer};
  const std::vector<std::string> omissions = Render(document).Result.Omissions;
  if (test.Named == nullptr) {
    EXPECT_TRUE(omissions.empty());
    return;
  }
  ASSERT_EQ(omissions.size(), 1u);
  EXPECT_EQ(omissions[0].rfind("layer 0 \"abc\": ", 0), 0u) << omissions[0];
  EXPECT_NE(omissions[0].find(test.Named), std::string::npos) << omissions[0];
}

// Bytes spelled as text, 0 bytes included.
Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

const Bytes kFullRanges = {0, 0, 255, 255, 0, 0, 255, 255};

Bytes Concat(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Omissions,
    testing::Values(
        OmissionCase{"Nothing", "norm", {}, kFullRanges, nullptr},
        OmissionCase{"Effects", "norm",
                     Block("lfx2", Text("masterFXSwitchbool\x01"
                                        "enabbool\x01"sv)),
                     kFullRanges, "layer effects"},
        OmissionCase{"EffectsSwitchedOff", "norm",
                     Block("lfx2", Text("masterFXSwitchbool\x00"
                                        "enabbool\x01"sv)),
                     kFullRanges, nullptr},
        OmissionCase{"Dissolve", "diss", {}, kFullRanges, "dissolve"},
        OmissionCase{"Knockout", "norm", Block("knko", {1, 0, 0, 0}), kFullRanges, nullptr},
        OmissionCase{"BlendIf", "norm", {}, {0, 0, 255, 255, 30, 40, 255, 255}, nullptr},
        OmissionCase{"ArtboardOfALayer", "norm", Block("artb", {0, 0, 0, 16}), kFullRanges,
                     "artboard"},
        OmissionCase{"UnknownMode", "what", {}, kFullRanges, "blend mode 'what'"},
        // Brightness/contrast is read from `CgEd`, not the `brit` of zeros beside it.
        OmissionCase{"BrightnessFromItsDescriptor", "norm",
                     Concat(Block("brit", Bytes(8, 0)), Block("CgEd", Bytes(6, 0))), kFullRanges,
                     "brightness/contrast adjustment (its settings are cut short"},
        OmissionCase{"BrightnessBesideNoDescriptor", "norm", Block("brit", Bytes(8, 0)),
                     kFullRanges, nullptr}),
    [](const testing::TestParamInfo<OmissionCase>& param) {
      return std::string(param.param.Name);
    });

TEST(RenderDocument, ManyZipLayersGiveTheirStreamsBackBetweenBands) {
  TestDocument document;
  document.Rows = 40;
  document.Columns = 140;
  for (std::int32_t k = 0; k < document.Columns; ++k) {
    TestLayer column{0, k, 40, k + 1, {}, "norm", {}};
    Bytes plane;
    for (int y = 0; y < 40; ++y) plane.push_back(static_cast<std::uint8_t>(y * 5 + k));
    for (std::int16_t id = -1; id < 3; ++id) {
      column.Channels.push_back({id, 3, test::PredictedZipPlane(plane, 1, 40, 1)});
    }
    document.Layers.push_back(column);
  }
  const Drawn whole = Render(document);
  RenderOptions banded;
  banded.BandBudgetBytes = 20000;
  const Drawn bands = Render(document, banded);
  EXPECT_GT(bands.Bands, 4);
  EXPECT_EQ(bands.Colour[1], whole.Colour[1]);
  EXPECT_EQ(bands.Alpha, whole.Alpha);
  EXPECT_NEAR(whole.At(1, 7, 9), (9 * 5 + 7) / 255.0f, 1e-6);
}

TEST(RenderDocument, ADocumentWithoutLayersIsItsMergedImage) {
  TestDocument document;
  document.WithLayerSection = false;
  const Drawn drawn = Render(document);
  EXPECT_EQ(drawn.Word(3, 3), 0xff000000u);  // the writer's merged image is black
  EXPECT_TRUE(drawn.Result.Omissions.empty());
}

}  // namespace
}  // namespace plymark
