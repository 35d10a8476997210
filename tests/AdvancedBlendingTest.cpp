// Knockout, blend-if, channel restrictions, transparency shapes, artboards
// and clipped layers blending on their own, on documents of 1 x 2 pixels
// whose values are worked out by hand from each rule.

#include <gtest/gtest.h>

#include <cmath>

#include "app/OpenWorkflow.h"
#include "compose/RenderDocument.h"
#include "platform/MemoryTileSurface.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::TestLayer;

// The two drawn pixels as 0xAARRGGBB.
struct Pixels : RenderSink {
  std::array<std::uint32_t, 2> Words{};
  std::vector<std::string> Omissions;
  void TakeBand(const RenderedBand& band) override {
    const auto byte = [](float v) { return static_cast<std::uint32_t>(std::lround(v * 255.0f)); };
    for (std::size_t x = 0; x < 2; ++x) {
      Words[x] = byte(band.Alpha[x]) << 24;
      for (std::size_t c = 0; c < 3; ++c) Words[x] |= byte(band.Colour[c][x]) << (16 - 8 * c);
    }
  }
};

Pixels Render(const std::vector<TestLayer>& layers) {
  test::TestDocument document;
  document.Rows = 1;
  document.Columns = 2;
  document.Layers = layers;
  test::FakeFileSource files;
  files.Add("doc.psd", test::BuildPsd(document));
  test::FakeMessageSink messages;
  MemoryTileSurface tiles(0);
  DocumentState state;
  EXPECT_FALSE(OpenDocument("doc.psd", state, files, messages, tiles));
  Pixels drawn;
  drawn.Omissions = RenderDocument(state, drawn, {}).Omissions;
  return drawn;
}

Bytes Block(const std::string& key, const Bytes& data) {
  return test::TaggedBlock("8BIM", key, data);
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Extra data with `ranges` as blending ranges and `blocks`.
Bytes Extra(const Bytes& blocks, const Bytes& ranges = {}) {
  test::ByteWriter extra;
  extra.I32(0).I32(static_cast<std::int64_t>(ranges.size())).Append(ranges);
  return extra.U8(3).Text("lay").Append(blocks).Data();
}

TestLayer Solid(std::uint8_t red, std::uint8_t green, std::uint8_t blue, std::uint8_t alpha = 255,
                const std::string& key = "norm", const Bytes& blocks = {},
                const Bytes& ranges = {}) {
  TestLayer layer = test::SolidLayer(0, 0, 1, 2, red, green, blue);
  layer.Channels[0].Data = Bytes(2, alpha);
  layer.BlendKey = key;
  layer.Extra = Extra(blocks, ranges);
  return layer;
}

// The document's background: no transparency channel.
TestLayer Background(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  TestLayer layer = test::SolidLayer(0, 0, 1, 2, red, green, blue);
  layer.Channels.erase(layer.Channels.begin());
  return layer;
}

Bytes Fill(std::uint8_t fill) {
  return Block("iOpa", {fill, 0, 0, 0});
}
Bytes KnocksOut(std::uint8_t kind) {
  return Block("knko", {kind, 0, 0, 0});
}

TestLayer Clipped(TestLayer layer) {
  layer.Clipping = 1;
  return layer;
}

// Bottom first: the group's divider, its members, its record.
std::vector<TestLayer> Group(const std::string& mode, std::vector<TestLayer> members,
                             const Bytes& blocks = {}, std::uint8_t opacity = 255) {
  TestLayer end{0, 0, 0, 0, {}, "norm", Extra(test::SectionDivider(3))};
  TestLayer group{
      0,
      0,
      0,
      0,
      {},
      "norm",
      Extra(Block("lsct", test::ByteWriter().I32(1).Text("8BIM").Text(mode).Data()) + blocks)};
  group.Opacity = opacity;
  members.insert(members.begin(), end);
  members.push_back(group);
  return members;
}

std::vector<TestLayer> Stack(std::initializer_list<std::vector<TestLayer>> parts) {
  std::vector<TestLayer> layers;
  for (const auto& part : parts) layers.insert(layers.end(), part.begin(), part.end());
  return layers;
}

// Blending ranges: grey, then red, green, blue; each this layer's, then the
// underlying layer's (black low, black high, white low, white high).
Bytes Ranges(std::initializer_list<std::uint8_t> changed, std::size_t at) {
  Bytes ranges;
  for (int k = 0; k < 8; ++k) ranges = ranges + Bytes{0, 0, 255, 255};
  std::copy(changed.begin(), changed.end(), ranges.begin() + static_cast<std::ptrdiff_t>(at));
  return ranges;
}

Bytes Artboard(std::int32_t background) {
  using namespace test;
  const Items rect = {{"Top ", DoubleValue(0)},
                      {"Left", DoubleValue(0)},
                      {"Btom", DoubleValue(1)},
                      {"Rght", DoubleValue(1)}};
  return Block("artb", Versioned("artboard", {{"artboardRect", ObjectValue("classFloatRect", rect)},
                                              {"artboardBackgroundType", LongValue(background)}}));
}

struct BlendingCase {
  const char* Name;
  std::vector<TestLayer> Layers;
  std::uint32_t Left;   ///< the drawn pixel at x = 0
  std::uint32_t Right;  ///< at x = 1
};

class AdvancedBlending : public testing::TestWithParam<BlendingCase> {};

TEST_P(AdvancedBlending, DrawsAsTheRuleSays) {
  const Pixels drawn = Render(GetParam().Layers);
  EXPECT_TRUE(drawn.Omissions.empty()) << drawn.Omissions.front();
  const std::uint32_t expected[] = {GetParam().Left, GetParam().Right};
  for (std::size_t x = 0; x < 2; ++x) {
    for (int shift = 0; shift < 32; shift += 8) {
      EXPECT_NEAR(static_cast<int>((drawn.Words[x] >> shift) & 0xff),
                  static_cast<int>((expected[x] >> shift) & 0xff), 1)
          << "x " << x << ": " << std::hex << drawn.Words[x];
    }
  }
}

const TestLayer kWhite = Background(255, 255, 255);
const TestLayer kRed = Solid(255, 0, 0);
const TestLayer kGreen = Solid(0, 255, 0);
// A blue layer of fill 0 that knocks out shallow (1) or deep (2).
TestLayer Hole(std::uint8_t kind, std::uint8_t opacity = 255) {
  TestLayer hole = Solid(0, 0, 255, 255, "norm", KnocksOut(kind) + Fill(0));
  hole.Opacity = opacity;
  return hole;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AdvancedBlending,
    testing::Values(
        BlendingCase{"KnockoutRevealsTheBackground", {kWhite, kRed, Hole(1)}, ~0u, ~0u},
        BlendingCase{
            "KnockoutWithoutBackgroundRevealsNothing", {Solid(255, 255, 255), kRed, Hole(2)}, 0, 0},
        // Half the fill: blue at 0.502 over white; opacity 0.502: half the hole.
        BlendingCase{"KnockoutFillsWithItsFill",
                     {kWhite, kRed, Solid(0, 0, 255, 255, "norm", KnocksOut(1) + Fill(128))},
                     0xff7f7fff,
                     0xff7f7fff},
        BlendingCase{
            "KnockoutShapeTakesTheOpacity", {kWhite, kRed, Hole(1, 128)}, 0xffff8080, 0xffff8080},
        BlendingCase{"ShallowStopsAtAPassThroughGroup",
                     Stack({{kWhite, kGreen}, Group("pass", {kRed, Hole(1)})}), 0xff00ff00,
                     0xff00ff00},
        BlendingCase{"DeepPassesAPassThroughGroup",
                     Stack({{kWhite, kGreen}, Group("pass", {kRed, Hole(2)})}), ~0u, ~0u},
        BlendingCase{"DeepStopsAtAnIsolatedGroup",
                     Stack({{kWhite, kGreen}, Group("norm", {kRed, Hole(2)})}), 0xff00ff00,
                     0xff00ff00},
        BlendingCase{"ShallowRevealsTheClippingBase",
                     {kWhite, kGreen, Clipped(kRed), Clipped(Hole(1))},
                     0xff00ff00,
                     0xff00ff00},
        // Left pixel transparent: with 'tsly' off the whole layer knocks out.
        BlendingCase{"TransparencyShapesTheKnockout",
                     {kWhite, kRed, Solid(0, 0, 255, 0, "norm", KnocksOut(1))},
                     0xffff0000,
                     0xffff0000},
        BlendingCase{"WithoutTransparencyShapesTheWholeLayerKnocksOut",
                     {kWhite, kRed, Solid(0, 0, 255, 0, "norm", KnocksOut(1) + Block("tsly", {0}))},
                     ~0u,
                     ~0u},
        // Colour dodge of (100, 150, 200) by 100 at transparency 0.502: inside
        // the formula, Cb / (1 - 0.502 x 0.392) = (125, 187, 249); as coverage
        // (132, 199, 228).
        BlendingCase{"TransparencyActsAsFillInSpecialModes",
                     {Background(100, 150, 200),
                      Solid(100, 100, 100, 128, "div ", Block("tsly", {0, 0, 0, 0}))},
                     0xff7dbbf9,
                     0xff7dbbf9},
        BlendingCase{"TransparencyShapesSpecialModes",
                     {Background(100, 150, 200), Solid(100, 100, 100, 128, "div ")},
                     0xff84c7e4,
                     0xff84c7e4},
        // Red's grey is 76.5: below this layer's black 80 it is hidden.
        BlendingCase{"BlendIfHidesThisLayersDarkValues",
                     {kWhite, Solid(255, 0, 0, 255, "norm", {}, Ranges({80, 80}, 0))},
                     ~0u,
                     ~0u},
        // Red 128 between white 100 and 200: 0.72 of it over white.
        BlendingCase{"BlendIfRampsBetweenSplitHalves",
                     {kWhite, Solid(128, 0, 0, 255, "norm", {}, Ranges({0, 0, 100, 200}, 8))},
                     0xffa44747,
                     0xffa44747},
        BlendingCase{"BlendIfReadsTheUnderlyingLayer",
                     {kWhite, Solid(255, 0, 0, 255, "norm", {}, Ranges({0, 0, 200, 200}, 4))},
                     ~0u,
                     ~0u},
        BlendingCase{"RestrictedChannelsKeepTheBackdrop",
                     {Background(100, 150, 200),
                      Solid(10, 20, 30, 255, "norm", Block("brst", {0, 0, 0, 0}))},
                     0xff64141e,
                     0xff64141e},
        // The left pixel is the black artboard's, the red member clipped to it.
        BlendingCase{"ArtboardsFillAndClip", Group("pass", {Solid(255, 0, 0, 128)}, Artboard(2)),
                     0xff800000, 0},
        // Measured on a file of the maker's: the base blends at full coverage,
        // the clipped layers onto it, the whole mixed with the backdrop by the
        // base's shape. Multiply red, then blue at 0.804, by 0.502 over white.
        BlendingCase{"ClippedLayersBlendOnTheirOwn",
                     {kWhite, Solid(255, 0, 0, 128, "mul ", Block("clbl", {0, 0, 0, 0})),
                      Clipped(Solid(0, 0, 255, 205))},
                     0xff987fe6,
                     0xff987fe6},
        // Photoshop's own drawing, as psd-tools' maintainers measured it: red
        // (no background) under a group of fill 0.5 holding blue.
        BlendingCase{"AGroupsFillFadesIt",
                     Stack({{kRed}, Group("norm", {Solid(0, 0, 255)}, Fill(128))}), 0xff7f0080,
                     0xff7f0080},
        BlendingCase{"AGroupsDeepKnockoutReachesTransparency",
                     Stack({{kRed}, Group("norm", {Solid(0, 0, 255)}, Fill(128) + KnocksOut(2))}),
                     0x800000ff, 0x800000ff}),
    [](const testing::TestParamInfo<BlendingCase>& param) {
      return std::string(param.param.Name);
    });

TEST(AdvancedBlending, APassThroughGroupClippedToAnAdjustmentHasItsLevel) {
  const TestLayer invert{0, 0, 0, 0, {}, "norm", Extra(Block("nvrt", {}))};
  std::vector<TestLayer> layers = Stack({{kWhite, invert}, Group("pass", {Solid(255, 0, 0, 128)})});
  layers.back().Clipping = 1;                       // the group's record
  EXPECT_EQ(Render(layers).Words[0], 0xff800000u);  // red at half over inverted white
}

}  // namespace
}  // namespace plymark
