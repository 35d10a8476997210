#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "compose/Adjustments.h"
#include "compose/adjustments/LookupTable.h"
#include "psd/ColorModeCodes.h"

namespace plymark {
namespace {

// A settings block written big-endian, as the maker writes it.
struct Block {
  std::vector<std::uint8_t> Bytes;
  Block& U8(int v) {
    Bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  Block& I16(int v) { return U8(v >> 8).U8(v); }
  Block& I32(std::uint32_t v) { return I16(static_cast<int>(v >> 16)).I16(static_cast<int>(v)); }
  Block& F32(float v) { return I32(std::bit_cast<std::uint32_t>(v)); }
  Block& Type(std::string_view type) {
    for (char c : type) U8(c);
    return *this;
  }
  Block& Key(std::string_view key) {  // a descriptor key: length 0 for four characters
    return I32(key.size() == 4 ? 0 : static_cast<std::uint32_t>(key.size())).Type(key);
  }
};

// Colour balance: shadows, midtones, highlights (cyan-red, magenta-green,
// yellow-blue each), then "preserve luminosity".
Block ColourBalance(std::array<int, 9> sliders, bool preserveLuminosity) {
  Block block;
  for (int v : sliders) block.I16(v);
  return block.U8(preserveLuminosity ? 1 : 0);
}

// A version-16 descriptor of class 'null' whose items are whole numbers.
Block NumberDescriptor(std::initializer_list<std::pair<std::string_view, int>> items) {
  Block block;
  block.I32(16).I32(0).Key("null").I32(static_cast<std::uint32_t>(items.size()));
  for (const auto& [key, value] : items) {
    block.Key(key).Type("long").I32(static_cast<std::uint32_t>(value));
  }
  return block;
}

// Photo filter, version 2: colour space, four components, density, "preserve luminosity".
Block PhotoFilter(int space, std::array<int, 3> colour, int density, bool preserve) {
  Block block;
  block.I16(2).I16(space);
  for (int v : colour) block.I16(v);
  return block.I16(0).I32(static_cast<std::uint32_t>(density)).U8(preserve ? 1 : 0);
}

// Channel mixer, version 1: monochrome, then red, green, blue and a fourth
// record, each four source weights and a constant in percent.
Block ChannelMixer(bool monochrome, std::array<std::array<int, 5>, 3> records) {
  Block block;
  block.I16(1).I16(monochrome ? 1 : 0);
  for (const auto& record : records) {
    for (int v : record) block.I16(v);
  }
  return block.I16(0).I16(0).I16(0).I16(100).I16(0);
}

constexpr std::array<int, 5> kRed{100, 0, 0, 0, 0}, kGreen{0, 100, 0, 0, 0}, kBlue{0, 0, 100, 0, 0};

// Selective colour, version 1: method (0 relative), an unused record, then
// cyan, magenta, yellow and black for reds, ..., whites, neutrals, blacks.
Block SelectiveColour(int method, int range, std::array<int, 4> inks) {
  Block block;
  block.I16(1).I16(method).I32(0).I32(0);
  for (int r = 0; r < 9; ++r) {
    for (int v : inks) block.I16(r == range ? v : 0);
  }
  return block;
}

// The `CgEd` descriptor (version 16, class 'null') with brightness and contrast.
Block BrightnessDescriptor(int brightness, int contrast, bool legacy = false) {
  Block block;
  block.I32(16).I32(0).Key("null").I32(3);
  block.Key("Brgh").Type("long").I32(static_cast<std::uint32_t>(brightness));
  block.Key("Cntr").Type("long").I32(static_cast<std::uint32_t>(contrast));
  return block.Key("useLegacy").Type("bool").U8(legacy ? 1 : 0);
}

// Levels: version 2, the master record, then channel records; 29 in all.
Block Levels(std::vector<std::array<int, 5>> records) {
  Block block;
  block.I16(2);
  records.resize(29, {0, 255, 0, 255, 100});
  for (const auto& r : records) {
    for (int v : r) block.I16(v);
  }
  return block;
}

// Hue/saturation: colourise flag, colourisation, master, the maker's default
// ranges (reds 315..345..15..45, then every 60 degrees), the reds' hue shift.
Block HueSaturation(int colorize, std::array<int, 3> colorization, std::array<int, 3> master,
                    int redsHue = 0) {
  Block block;
  block.I16(2).U8(colorize).U8(0);
  for (int v : colorization) block.I16(v);
  for (int v : master) block.I16(v);
  for (int range = 0; range < 6; ++range) {
    const int start = 315 + 60 * range;
    for (int limit : {start, start + 30, start + 60, start + 90}) block.I16(limit % 360);
    block.I16(range == 0 ? redsHue : 0).I16(0).I16(0);
  }
  return block;
}

std::array<float, 3> Apply(std::string_view key, const Block& block, std::array<float, 3> rgb,
                           AdjustmentSpace space = {}) {
  const auto read = ReadAdjustment(key, block.Bytes, space);
  EXPECT_NE(read.Mapping, nullptr) << key << ": " << read.Problem;
  if (read.Mapping == nullptr) return rgb;
  float* const planes[3] = {&rgb[0], &rgb[1], &rgb[2]};
  read.Mapping->Apply({planes, static_cast<std::size_t>(space.ColourChannels)}, 1);
  return rgb;
}

struct KnownValue {
  const char* Key;
  Block Settings;
  std::array<int, 3> In, Out;  ///< 8-bit backdrop and the maker's merged pixel
  float Tolerance = 1.01f;
};

// Pixels of the maker's 8-bit merged images over known backdrops, within 1/255.
TEST(Adjustments, MatchTheMakersMergedPixels) {
  Block curves;  // master (57 -> 66, 172 -> 181), red (136 -> 84), output stored first
  curves.U8(0).I16(1).I32(0b11).I16(4).I16(0).I16(0).I16(66).I16(57).I16(181).I16(172);
  curves.I16(255).I16(255).I16(3).I16(0).I16(0).I16(84).I16(136).I16(255).I16(255);
  const KnownValue cases[] = {
      {"levl", Levels({{30, 225, 0, 255, 150}}), {11, 25, 133}, {0, 0, 167}},
      {"levl", Levels({{30, 225, 0, 255, 150}}), {204, 170, 193}, {237, 204, 226}},
      {"levl",
       Levels({{0, 255, 0, 255, 100},
               {0, 180, 0, 255, 100},
               {50, 255, 0, 255, 100},
               {0, 150, 0, 255, 100}}),
       {253, 120, 132},
       {255, 87, 224}},
      {"curv", curves, {11, 25, 133}, {5, 29, 144}},
      {"curv", curves, {253, 177, 143}, {252, 186, 154}},
      {"expA", Block().I16(1).F32(4).F32(0).F32(1), {11, 25, 133}, {39, 88, 255}},
      {"expA", Block().I16(1).F32(0).F32(0.4f).F32(1), {253, 120, 132}, {255, 201, 207}},
      {"expA", Block().I16(1).F32(0).F32(0).F32(4), {11, 25, 133}, {116, 143, 217}},
      {"hue2", HueSaturation(0, {0, 25, 0}, {180, 0, 0}), {253, 177, 143}, {143, 219, 253}},
      {"hue2", HueSaturation(0, {0, 25, 0}, {0, 100, 0}), {11, 25, 133}, {0, 16, 144}},
      {"hue2", HueSaturation(0, {0, 25, 0}, {0, -100, 0}), {253, 120, 132}, {186, 186, 186}},
      {"hue2", HueSaturation(1, {0, 25, 0}, {0, 0, 0}), {11, 25, 133}, {90, 55, 55}},
      {"hue2", HueSaturation(0, {0, 0, 0}, {0, 0, -100}), {11, 25, 133}, {0, 0, 0}},
      {"nvrt", Block(), {11, 25, 133}, {244, 230, 122}},
      {"post", Block().I16(4).I16(0), {253, 120, 132}, {255, 85, 170}},
      {"post", Block().I16(16).I16(0), {47, 48, 255}, {34, 51, 255}},
      {"thrs", Block().I16(128).I16(0), {253, 120, 132}, {255, 255, 255}},
      {"thrs", Block().I16(255).I16(0), {255, 255, 254}, {0, 0, 0}},
      {"blnc",
       ColourBalance({50, 0, -50, 0, 0, 0, 0, 0, 0}, true),
       {252, 120, 131},
       {252, 87, 53},
       2.01f},
      {"blnc",
       ColourBalance({50, 0, -50, 0, 0, 0, 0, 0, 0}, true),
       {243, 244, 249},
       {243, 241, 245},
       2.01f},
      {"blnc",
       ColourBalance({0, 0, 0, -50, 0, 50, 0, 0, 0}, true),
       {252, 120, 131},
       {251, 120, 160},
       2.01f},
      {"blnc",
       ColourBalance({0, 0, 0, 0, 0, 0, 0, -50, -50}, true),
       {235, 115, 135},
       {255, 115, 135},
       2.01f},
      {"blnc",
       ColourBalance({0, 0, 0, 0, 0, 0, 0, -50, -50}, false),
       {252, 120, 132},
       {253, 104, 115},
       2.01f},
      {"blnc",
       ColourBalance({-100, -100, -100, -100, -100, -100, -100, -100, -100}, false),
       {252, 120, 131},
       {236, 0, 0},
       2.01f},
      {"CgEd", BrightnessDescriptor(150, 0), {252, 120, 131}, {255, 234, 240}, 2.01f},
      {"CgEd", BrightnessDescriptor(-150, 0), {243, 244, 249}, {139, 141, 161}, 2.01f},
      {"CgEd", BrightnessDescriptor(0, 100), {252, 163, 92}, {254, 182, 73}, 2.01f},
      {"CgEd", BrightnessDescriptor(0, -50), {252, 120, 131}, {251, 123, 130}, 2.01f},
      // The maker's settings over white.
      {"blwh", NumberDescriptor({}), {255, 255, 255}, {255, 255, 255}},
      {"phfl", PhotoFilter(7, {6706, 3200, 12000}, 25, true), {255, 255, 255}, {255, 255, 255}},
  };
  for (const auto& c : cases) {
    std::array<float, 3> in{};
    for (int i = 0; i < 3; ++i) in[i] = static_cast<float>(c.In[i]) / 255.0f;
    const auto out = Apply(c.Key, c.Settings, in);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(out[i] * 255.0f, c.Out[i], c.Tolerance) << c.Key << " component " << i;
    }
  }
}

// What the dialogs' settings mean, where the corpus holds no values: mixes
// taken from the right records, grey kept by black & white and a lookup,
// the photo filter's colour and density, selective colour's two methods
// (relative adds no cyan where there is none), vibrance sparing saturated
// colours.
TEST(Adjustments, ColourMixesFollowTheirSettings) {
  const KnownValue cases[] = {
      {"mixr", ChannelMixer(true, {kRed, kBlue, kBlue}), {200, 50, 10}, {200, 200, 200}},
      {"mixr",
       ChannelMixer(false, {kGreen, kRed, {0, 0, 50, 0, 20}}),
       {200, 50, 10},
       {50, 200, 56}},
      {"blwh", NumberDescriptor({{"Rd  ", 100}}), {128, 128, 128}, {128, 128, 128}},
      {"blwh", NumberDescriptor({{"Rd  ", 100}, {"Yllw", 0}}), {255, 0, 0}, {255, 255, 255}},
      {"phfl", PhotoFilter(0, {65535, 0, 0}, 100, false), {200, 100, 50}, {200, 0, 0}},
      {"phfl", PhotoFilter(0, {65535, 0, 0}, 0, false), {200, 100, 50}, {200, 100, 50}},
      {"selc", SelectiveColour(1, 0, {100, 0, 0, 0}), {255, 0, 0}, {0, 0, 0}},
      {"selc", SelectiveColour(0, 0, {100, 0, 0, 0}), {255, 0, 0}, {255, 0, 0}},
      {"vibA", NumberDescriptor({{"vibrance", 100}}), {255, 0, 0}, {255, 0, 0}},
  };
  for (const auto& c : cases) {
    std::array<float, 3> in{};
    for (int i = 0; i < 3; ++i) in[i] = static_cast<float>(c.In[i]) / 255.0f;
    const auto out = Apply(c.Key, c.Settings, in);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i] * 255.0f, c.Out[i], 1.01f) << c.Key << " " << i;
  }
}

// An identity table of side 2 as a .cube (red fastest, 0..1) or a .3dl
// (blue fastest, 0..1023 after its input levels).
std::string IdentityTable(bool cube) {
  std::string text = cube ? "TITLE \"x\"\nLUT_3D_SIZE 2\n" : "3DMESH\n0 1023\n";
  for (int k = 0; k < 8; ++k) {
    const int r = cube ? k & 1 : k >> 2, g = (k >> 1) & 1, b = cube ? k >> 2 : k & 1;
    const int one = cube ? 1 : 1023;
    text += std::to_string(r * one) + " " + std::to_string(g * one) + " " +
            std::to_string(b * one) + "\n";
  }
  return text;
}

// Embedded lookup tables: an identity keeps colours (so the entries' order
// is right); damaged text is a problem, never a grid.
TEST(Adjustments, LookupTablesReadOrNameTheirDamage) {
  const std::string cube = IdentityTable(true);
  const struct {
    std::string Text;
    bool Cube, Reads;
  } cases[] = {
      {cube, true, true},
      {IdentityTable(false), false, true},
      {"DOMAIN_MIN 0 0 0\nDOMAIN_MAX 2 2 2\n" + cube, true, true},
      {cube.substr(0, cube.size() - 6), true, false},
      {"LUT_3D_SIZE 1000\n", true, false},
      {"LUT_1D_SIZE 2\n0 0 0\n1 1 1\n", true, false},
      {"DOMAIN_MIN 1 1 1\nDOMAIN_MAX 0 0 0\n" + cube, true, false},
      {cube + "nan 0 0\n", true, false},
      {"0\n0 0 0\n", false, false},
  };
  for (const auto& c : cases) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(c.Text.data()), c.Text.size());
    auto read = c.Cube ? adjustments::ReadCubeTable(bytes) : adjustments::Read3dlTable(bytes);
    ASSERT_EQ(read.Grid.has_value(), c.Reads) << c.Text << read.Problem;
    if (!c.Reads) continue;
    EXPECT_TRUE(read.Problem.empty());
    const float scale = read.Grid->DomainMax[0];
    std::array<float, 3> rgb{0.2f * scale, 0.6f * scale, 0.9f * scale};
    float* const planes[3] = {&rgb[0], &rgb[1], &rgb[2]};
    adjustments::LookupAdjustment(std::move(*read.Grid)).Apply(planes, 1);
    EXPECT_NEAR(rgb[0], 0.2f, 1e-5f);
    EXPECT_NEAR(rgb[1], 0.6f, 1e-5f);
    EXPECT_NEAR(rgb[2], 0.9f, 1e-5f);
  }
}

TEST(Adjustments, LegacyBrightnessAddsAndContrastStretchesAboutTheMean) {
  const auto brighter = Apply("brit", Block().I16(51).I16(0).I16(128).U8(0).U8(0), {0.2f, 0.5f, 1});
  EXPECT_NEAR(brighter[0], 0.4f, 1e-3f);
  EXPECT_NEAR(brighter[2], 1.0f, 1e-3f);
  const auto hard = Apply("brit", Block().I16(0).I16(100).I16(128).U8(0).U8(0), {0.49f, 0.51f, 0});
  EXPECT_EQ(hard[0], 0.0f);
  EXPECT_EQ(hard[1], 1.0f);
}

// A 16-bit document's finer table agrees with the 8-bit one on 8-bit levels;
// 32-bit exposure works on linear light without the 2.2 curve.
TEST(Adjustments, DeeperDocuments) {
  const Block levels = Levels({{30, 225, 0, 255, 150}});
  for (int v : {31, 64, 128, 224}) {
    const float x = static_cast<float>(v) / 255.0f;
    EXPECT_NEAR(Apply("levl", levels, {x, x, x}, {3, 16, 3})[0],
                Apply("levl", levels, {x, x, x}, {3, 8, 3})[0], 2e-4f);
  }
  const auto linear =
      Apply("expA", Block().I16(1).F32(1).F32(0).F32(1), {0.25f, 0.75f, 2}, {3, 32, 3});
  EXPECT_FLOAT_EQ(linear[1], 1.5f);
  EXPECT_FLOAT_EQ(linear[2], 4.0f);
  const auto grey =
      Apply("hue2", HueSaturation(0, {0, 0, 0}, {90, 0, 50}), {0.5f, 0, 0}, {1, 8, 1});
  EXPECT_NEAR(grey[0], 0.75f, 1e-3f);
}

// A colour range shifts its own hues fully, the hues in its fades partly.
TEST(Adjustments, HueRangesFadeAtTheirEdges) {
  const Block reds = HueSaturation(0, {0, 0, 0}, {0, 0, 0}, 60);
  const struct {
    std::array<float, 3> In, Out;
  } cases[] = {
      {{1, 0, 0}, {1, 1, 0}},                // red, full weight: to yellow
      {{1, 0.5f, 0}, {1, 1, 0}},             // hue 30, half way down the fade: 30 + 30
      {{1, 5.0f / 6, 0}, {1, 5.0f / 6, 0}},  // hue 50, past the fade
      {{0, 0, 1}, {0, 0, 1}},
  };
  for (const auto& c : cases) {
    const auto out = Apply("hue2", reds, c.In);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], c.Out[i], 1e-4f) << i;
  }
}

// Damaged, unknown or undrawable settings are a problem text, never a throw.
TEST(Adjustments, DamagedOrUndrawableSettingsAreNamed) {
  const struct {
    const char* Key;
    Block Settings;
    AdjustmentSpace Space;
  } cases[] = {
      {"levl", Block().I16(2).I16(0), {}},
      {"levl", Block().I16(7), {}},
      {"curv", Block().U8(0).I16(1).I32(1).I16(40000 - 65536), {}},
      {"curv", Block().U8(0).I16(1).I32(1).I16(3).I16(0), {}},
      {"brit", Block().I16(10), {}},
      {"expA", Block().I16(1).F32(std::numeric_limits<float>::infinity()).F32(0).F32(1), {}},
      {"expA", Block().I16(1).F32(0).F32(0).F32(1), {color_mode::kLab, 8, 3}},
      {"hue2", Block().I16(2).U8(0), {}},
      {"hue2", HueSaturation(0, {0, 0, 0}, {0, 0, 0}), {color_mode::kLab, 8, 3}},
      {"post", Block(), {}},
      {"thrs", Block().I16(128).I16(0), {color_mode::kCmyk, 8, 4}},
      {"vibA", Block(), {}},
      {"blnc", Block().I16(10), {}},
      {"blnc", ColourBalance({}, true), {color_mode::kLab, 8, 3}},
      {"CgEd", Block().I32(16).I32(0), {}},
      {"phfl", PhotoFilter(2, {0, 0, 0}, 50, false), {}},
      {"phfl", Block().I16(4), {}},
      {"mixr", Block().I16(1).I16(0), {}},
      {"selc", Block().I16(1).I16(0).I32(0), {}},
      {"blwh", NumberDescriptor({}), {color_mode::kCmyk, 8, 4}},
      {"clrL",
       Block()
           .I16(1)
           .I32(16)
           .I32(0)
           .Key("null")
           .I32(1)
           .Key("lookupType")
           .Type("enum")
           .Key("colorLookupType")
           .Key("3DLUT"),
       {}},
  };
  for (const auto& c : cases) {
    const auto read = ReadAdjustment(c.Key, c.Settings.Bytes, c.Space);
    EXPECT_EQ(read.Mapping, nullptr) << c.Key;
    EXPECT_NE(read.Problem.find(std::string(AdjustmentName(c.Key))), std::string::npos)
        << c.Key << ": " << read.Problem;
  }
  EXPECT_TRUE(ReadAdjustment("lsct", {}, {}).Problem.empty());
}

// NaN and values past 1 from a 32-bit file come out finite.
TEST(Adjustments, HostileValuesStayFinite) {
  const std::pair<const char*, Block> settings[] = {
      {"levl", Levels({{0, 255, 0, 255, 999}})},
      {"expA", Block().I16(1).F32(20).F32(0.5f).F32(0.01f)},
      {"hue2", HueSaturation(0, {0, 0, 0}, {90, 50, 50})},
      {"nvrt", Block()},
      {"post", Block().I16(2).I16(0)},
      {"thrs", Block().I16(1).I16(0)},
      {"blnc", ColourBalance({-100, 0, 100, 100, 0, -100, 0, 100, -100}, false)},
      {"CgEd", BrightnessDescriptor(-150, 100)},
      {"vibA", NumberDescriptor({{"vibrance", 100}, {"Strt", 100}})},
      {"blwh", NumberDescriptor({{"Rd  ", 300}, {"Mgnt", -200}})},
      {"phfl", PhotoFilter(0, {65535, 30000, 0}, 100, true)},
      {"mixr", ChannelMixer(false, {{{200, -200, 200, 0, 200}, kGreen, kBlue}})},
      {"selc", SelectiveColour(0, 7, {100, -100, 100, 100})},
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const auto& [key, block] : settings) {
    for (const std::int16_t depth : {std::int16_t{8}, std::int16_t{32}}) {
      for (const std::array<float, 3>& in :
           {std::array<float, 3>{nan, 0.5f, 1e30f}, std::array<float, 3>{-1.0f, 4.0f, 0.0f}}) {
        for (float v : Apply(key, block, in, {3, depth, 3})) {
          EXPECT_TRUE(std::isfinite(v)) << key << " at depth " << depth;
        }
      }
    }
  }
}

}  // namespace
}  // namespace plymark
