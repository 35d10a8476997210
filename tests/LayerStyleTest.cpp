// Reading a layer's effects into what is drawn: which effects, in which
// order, with which sizes, and what is named instead.

#include <gtest/gtest.h>

#include "compose/effects/LayerStyle.h"
#include "psd/BlockCursor.h"
#include "psd/Descriptor.h"
#include "tests/support/DescriptorWriter.h"

namespace plymark {
namespace {

using test::Items;

// An effect switched on, with `extra` before (so in place of) the defaults.
test::Value On(const char* kind, Items items = {}) {
  const Items defaults = {{"enab", test::BoolValue(true)},
                          {"Clr ", test::ObjectValue("RGBC", {{"Rd  ", test::DoubleValue(1)},
                                                              {"Grn ", test::DoubleValue(2)},
                                                              {"Bl  ", test::DoubleValue(3)}})},
                          {"blur", test::UnitValue("#Pxl", 7)}};
  items.insert(items.end(), defaults.begin(), defaults.end());
  return test::ObjectValue(kind, items);
}

struct StyleCase {
  const char* Name;
  Items Settings;
  std::vector<EffectKind> Drawn;  ///< bottom to top, the content among them
  float FirstSize;                ///< the bottom effect's size
  const char* Named;              ///< part of the one omission; null for none
};

class LayerStyles : public testing::TestWithParam<StyleCase> {};

TEST_P(LayerStyles, ReadWhatIsDrawn) {
  const StyleCase& test = GetParam();
  const test::Bytes bytes = test::Versioned("null", test.Settings);
  LayerSettings settings;
  BlockCursor cursor(bytes, 0, "the test block");
  settings.Effects = SettingsBlock{"lfx2", ReadVersionedDescriptor(cursor)};
  StyleContext context;
  context.Space = {3, 8, 3};
  const StyleRead read = ReadLayerStyle(settings, context);
  std::vector<EffectKind> kinds;
  if (read.Style) {
    for (const Effect& effect : read.Style->Effects) kinds.push_back(effect.Kind);
    EXPECT_FLOAT_EQ(read.Style->Effects.front().Size, test.FirstSize);
  }
  EXPECT_EQ(kinds, test.Drawn);
  if (test.Named == nullptr) {
    EXPECT_TRUE(read.Omissions.empty());
  } else {
    ASSERT_EQ(read.Omissions.size(), 1u);
    EXPECT_NE(read.Omissions[0].find(test.Named), std::string::npos) << read.Omissions[0];
  }
}

using K = EffectKind;

INSTANTIATE_TEST_SUITE_P(
    Cases, LayerStyles,
    testing::Values(
        // Stored top first, drawn in the dialog's order: shadow at the bottom, stroke on top.
        StyleCase{"DialogOrder",
                  {{"FrFX", On("FrFX", {{"Sz  ", test::UnitValue("#Pxl", 3)}})},
                   {"SoFi", On("SoFi")},
                   {"DrSh", On("DrSh")}},
                  {K::DropShadow, K::Content, K::ColourOverlay, K::Stroke},
                  7.0f,
                  nullptr},
        StyleCase{"MasterSwitchOff",
                  {{"masterFXSwitch", test::BoolValue(false)}, {"DrSh", On("DrSh")}},
                  {},
                  0.0f,
                  nullptr},
        StyleCase{"DisabledEffect",
                  {{"IrSh", On("IrSh", {{"enab", test::BoolValue(false)}})}},
                  {},
                  0.0f,
                  nullptr},
        // A list keeps its first on top.
        StyleCase{"ListOfShadows",
                  {{"dropShadowMulti",
                    test::ListValue({On("DrSh", {{"blur", test::UnitValue("#Pxl", 2)}}),
                                     On("DrSh", {{"blur", test::UnitValue("#Pxl", 9)}})})}},
                  {K::DropShadow, K::DropShadow, K::Content},
                  9.0f,
                  nullptr},
        StyleCase{"SizeCapped",
                  {{"OrGl", On("OrGl", {{"blur", test::UnitValue("#Pxl", 1e9)}})}},
                  {K::OuterGlow, K::Content},
                  kLargestEffectSize,
                  nullptr},
        StyleCase{"UnknownModeNamed",
                  {{"SoFi", On("SoFi", {{"Md  ", test::EnumValue("BlnM", "what")}})}},
                  {},
                  0.0f,
                  "blend mode 'what'"},
        StyleCase{"NoiseNamed",
                  {{"IrGl", On("IrGl", {{"Nose", test::UnitValue("#Prc", 10)}})}},
                  {K::Content, K::InnerGlow},
                  0.0f,
                  "noise"}),
    [](const testing::TestParamInfo<StyleCase>& param) { return std::string(param.param.Name); });

}  // namespace
}  // namespace plymark
