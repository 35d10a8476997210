// Layer effects drawn through the whole render: a red square on white with
// one style each, read back at pixels whose values the maker's drawing fixes.

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

using test::Items;

struct Pixels : RenderSink {
  std::int32_t Width = 0;
  std::vector<std::uint32_t> Words;  ///< 0xRRGGBB over the bands
  void TakeBand(const RenderedBand& band) override {
    Width = band.Width;
    const auto count = static_cast<std::size_t>(band.Rows) * static_cast<std::size_t>(band.Width);
    const auto byte = [](float v) { return static_cast<std::uint32_t>(std::lround(v * 255.0f)); };
    for (std::size_t k = 0; k < count; ++k) {
      std::uint32_t word = 0;
      for (std::size_t c = 0; c < 3; ++c) word |= byte(band.Colour[c][k]) << (16 - 8 * c);
      Words.push_back(word);
    }
  }
};

test::Value Colour(double r, double g, double b) {
  return test::ObjectValue("RGBC", {{"Rd  ", test::DoubleValue(r)},
                                    {"Grn ", test::DoubleValue(g)},
                                    {"Bl  ", test::DoubleValue(b)}});
}

test::Value Px(double value) {
  return test::UnitValue("#Pxl", value);
}
test::Value Percent(double value) {
  return test::UnitValue("#Prc", value);
}
test::Value Mode(const char* mode) {
  return test::EnumValue("BlnM", mode);
}

const Items kBlueOverlay = {{"SoFi", test::ObjectValue("SoFi", {{"enab", test::BoolValue(true)},
                                                                {"Md  ", Mode("Nrml")},
                                                                {"Clr ", Colour(0, 0, 255)},
                                                                {"Opct", Percent(50)}})}};

Items Stroke(const char* position, double size) {
  return {{"FrFX", test::ObjectValue("FrFX", {{"enab", test::BoolValue(true)},
                                              {"Styl", test::EnumValue("FStl", position)},
                                              {"PntT", test::EnumValue("FrFl", "SClr")},
                                              {"Md  ", Mode("Nrml")},
                                              {"Opct", Percent(100)},
                                              {"Sz  ", Px(size)},
                                              {"Clr ", Colour(0, 255, 0)}})}};
}

// Light from above: the shadow falls `distance` rows down, unblurred.
const Items kHardShadow = {
    {"DrSh", test::ObjectValue("DrSh", {{"enab", test::BoolValue(true)},
                                        {"Md  ", Mode("Mltp")},
                                        {"Clr ", Colour(0, 0, 0)},
                                        {"Opct", Percent(100)},
                                        {"uglg", test::BoolValue(false)},
                                        {"lagl", test::UnitValue("#Ang", 90)},
                                        {"Dstn", Px(4)},
                                        {"blur", Px(0)}})}};

struct EffectCase {
  const char* Name;
  Items Effects;
  bool Master = true;
  std::uint8_t Opacity = 255;
  std::uint8_t Fill = 255;
  int X, Y;  ///< the pixel read; the square covers [8, 16) both ways
  std::uint32_t Expected;
  std::uint8_t ClippedOver = 0;  ///< the square's alpha under a clipped blue layer; 0: none
  double VectorStroke = 0;       ///< the width of the square's shape stroke ('vstk'); 0: none
};

class LayerEffects : public testing::TestWithParam<EffectCase> {};

TEST_P(LayerEffects, DrawTheMakersPixels) {
  const EffectCase& test = GetParam();
  Items settings = {{"masterFXSwitch", test::BoolValue(test.Master)}};
  settings.insert(settings.end(), test.Effects.begin(), test.Effects.end());
  test::ByteWriter lfx2;
  lfx2.I32(0).Append(test::Versioned("null", settings));
  test::Bytes blocks = test::TaggedBlock("8BIM", "lfx2", lfx2.Data());
  const test::Bytes fill = test::TaggedBlock("8BIM", "iOpa", {test.Fill, 0, 0, 0});
  blocks.insert(blocks.end(), fill.begin(), fill.end());
  if (test.VectorStroke > 0) {
    const test::Bytes stroke = test::TaggedBlock(
        "8BIM", "vstk",
        test::Versioned("strokeStyle", {{"strokeEnabled", test::BoolValue(true)},
                                        {"strokeStyleLineWidth", Px(test.VectorStroke)}}));
    blocks.insert(blocks.end(), stroke.begin(), stroke.end());
  }
  test::TestLayer square = test::SolidLayer(8, 8, 16, 16, 255, 0, 0);
  square.Opacity = test.Opacity;
  square.Extra = test::LayerExtra("square", {}, blocks);
  test::TestDocument document;
  document.Rows = document.Columns = 24;
  document.Layers = {test::SolidLayer(0, 0, 24, 24, 255, 255, 255), square};
  if (test.ClippedOver != 0) {
    std::fill(square.Channels[0].Data.begin(), square.Channels[0].Data.end(), test.ClippedOver);
    document.Layers[1] = square;
    document.Layers.push_back(test::SolidLayer(0, 0, 24, 24, 0, 0, 255));
    document.Layers.back().Clipping = 1;
  }
  test::FakeFileSource files;
  files.Add("doc.psd", test::BuildPsd(document));
  test::FakeMessageSink messages;
  MemoryTileSurface tiles(0);
  DocumentState state;
  ASSERT_FALSE(OpenDocument("doc.psd", state, files, messages, tiles));
  Pixels drawn;
  EXPECT_TRUE(RenderDocument(state, drawn).Omissions.empty());
  EXPECT_EQ(drawn.Words.at(static_cast<std::size_t>(test.Y * drawn.Width + test.X)), test.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LayerEffects,
    testing::Values(
        EffectCase{"OverlayOverTheContent", kBlueOverlay, true, 255, 255, 12, 12, 0x800080},
        EffectCase{"MasterSwitchOff", kBlueOverlay, false, 255, 255, 12, 12, 0xff0000},
        EffectCase{"FillOpacityLeavesTheOverlay", kBlueOverlay, true, 255, 0, 12, 12, 0x8080ff},
        EffectCase{"OutsideStroke", Stroke("OutF", 2), true, 255, 255, 6, 12, 0x00ff00},
        EffectCase{"OutsideStrokeEnds", Stroke("OutF", 2), true, 255, 255, 5, 12, 0xffffff},
        EffectCase{"InsideStroke", Stroke("InsF", 2), true, 255, 255, 9, 12, 0x00ff00},
        EffectCase{"InsideStrokeEnds", Stroke("InsF", 2), true, 255, 255, 10, 12, 0xff0000},
        EffectCase{"CentreStroke", Stroke("CtrF", 2), true, 255, 255, 7, 12, 0x00ff00},
        EffectCase{"OpacityFadesTheStroke", Stroke("OutF", 2), true, 128, 255, 7, 12, 0x7fff7f},
        EffectCase{"FillOpacityLeavesTheStroke", Stroke("OutF", 2), true, 255, 0, 7, 12, 0x00ff00},
        EffectCase{"ShadowFallsBelow", kHardShadow, true, 255, 255, 12, 18, 0x000000},
        EffectCase{"ShadowEnds", kHardShadow, true, 255, 255, 12, 20, 0xffffff},
        EffectCase{"ShadowUnderTheContent", kHardShadow, true, 255, 255, 12, 14, 0xff0000},
        // Over the clipped layers, wholly where it covers the base's shape.
        EffectCase{"InsideStrokeOfAClippingBase", Stroke("InsF", 2), true, 255, 255, 12, 12,
                   0x7fff7f, 128},
        // A shape's stroke, in its stored pixels, lies above its overlays.
        EffectCase{"OverlayLeavesTheShapeStroke", kBlueOverlay, true, 255, 255, 9, 12, 0xff0000, 0,
                   2},
        EffectCase{"OverlayWithinTheShapeStroke", kBlueOverlay, true, 255, 255, 10, 12, 0x800080, 0,
                   2}),
    [](const testing::TestParamInfo<EffectCase>& param) { return std::string(param.param.Name); });

}  // namespace
}  // namespace plymark
