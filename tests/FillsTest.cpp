#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <string>

#include "app/OpenWorkflow.h"
#include "compose/RenderDocument.h"
#include "platform/MemoryTileSurface.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using namespace test;

// A document of one row of four pixels, gathered as 0xAARRGGBB words.
struct Row : RenderSink {
  std::array<std::uint32_t, 4> Words{};
  RenderResult Result;
  void TakeBand(const RenderedBand& band) override {
    const auto byte = [](float v) { return static_cast<std::uint32_t>(std::lround(v * 255.0f)); };
    for (std::size_t x = 0; x < 4; ++x) {
      std::uint32_t word = byte(band.Alpha[x]) << 24;
      for (std::size_t c = 0; c < 3; ++c) word |= byte(band.Colour[c][x]) << (16 - 8 * c);
      Words[x] = word;
    }
  }
};

// A layer without pixels of tagged blocks `blocks`, over `below`.
Row Render(const Bytes& blocks, const Bytes& global, std::vector<TestLayer> below = {}) {
  TestDocument document;
  document.Rows = 1;
  document.Columns = 4;
  document.GlobalBlocks = global;
  document.Layers = std::move(below);
  document.Layers.push_back(TestLayer{0, 0, 0, 0, {}, "norm", LayerExtra("fill", {}, blocks)});
  FakeFileSource files;
  files.Add("doc.psd", BuildPsd(document));
  FakeMessageSink messages;
  MemoryTileSurface tiles(0);
  DocumentState state;
  EXPECT_FALSE(OpenDocument("doc.psd", state, files, messages, tiles));
  Row row;
  row.Result = RenderDocument(state, row, {});
  return row;
}

Bytes Block(const std::string& key, const Bytes& data) {
  return TaggedBlock("8BIM", key, data);
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Value Rgb(double red, double green, double blue) {
  return ObjectValue(
      "RGBC",
      {{"Rd  ", DoubleValue(red)}, {"Grn ", DoubleValue(green)}, {"Bl  ", DoubleValue(blue)}});
}

// Colour stops: red, green, blue, location.
using Stops = std::vector<std::array<double, 4>>;

// Black to white unless `colours` are given, the last stop's midpoint at
// `midpoint` percent.
Bytes Gradient(const std::string& method, bool reverse, double smoothness, int midpoint = 50,
               const std::string& form = "CstS", const std::string& shape = "Lnr ",
               const Stops& colours = {{0, 0, 0, 0}, {255, 255, 255, 4096}}) {
  std::vector<Value> stops;
  for (const auto& [red, green, blue, location] : colours) {
    stops.push_back(ObjectValue(
        "Clrt", {{"Clr ", Rgb(red, green, blue)},
                 {"Type", EnumValue("Clry", "UsrS")},
                 {"Lctn", LongValue(static_cast<std::int32_t>(std::lround(location)))},
                 {"Mdpn", LongValue(stops.size() + 1 == colours.size() ? midpoint : 50)}}));
  }
  const Value gradient = ObjectValue("Grdn", {{"GrdF", EnumValue("GrdF", form)},
                                              {"Intr", DoubleValue(smoothness)},
                                              {"Clrs", ListValue(stops)}});
  return Block("GdFl", Versioned("null", {{"Grad", gradient},
                                          {"Angl", UnitValue("#Ang", 0)},
                                          {"Type", EnumValue("GrdT", shape)},
                                          {"Rvrs", BoolValue(reverse)},
                                          {"gradientsInterpolationMethod",
                                           EnumValue("gradientInterpolationMethodType", method)}}));
}

Bytes Solid() {
  return Block("SoCo", Versioned("null", {{"Clr ", Rgb(255, 0, 0)}}));
}

// A vector mask: the initial fill record, then closed rectangles spanning
// columns [left, right) of the document's four (and its one row), each with
// its path operation.
Bytes VectorMask(bool startsFull, std::vector<std::array<double, 3>> rectangles) {
  ByteWriter out;
  out.I32(3).I32(0);
  const auto record = [&](std::int32_t selector) { out.I16(selector); };
  record(8);
  out.I16(startsFull ? 1 : 0).Append(Bytes(22, 0));
  for (const auto& [left, right, operation] : rectangles) {
    record(0);
    out.I16(4).I16(static_cast<std::int32_t>(operation)).Append(Bytes(20, 0));
    for (const auto& [x, y] : {std::pair{left, 0.0}, {right, 0.0}, {right, 1.0}, {left, 1.0}}) {
      record(2);
      for (int k = 0; k < 3; ++k)
        out.I32(std::lround(y * 16777216.0)).I32(std::lround(x / 4 * 16777216.0));
    }
  }
  return Block("vmsk", out.Data());
}

// A 'Patt' block of one 2 x 1 RGB pattern, red then blue, of id "p1", of
// `depth` bits; `length` overrides the record's length to damage it, `count`
// the channel count its list declares.
Bytes Patterns(std::int64_t length = 0, int depth = 8, std::int64_t count = 3) {
  ByteWriter channels;
  channels.I32(0).I32(0).I32(1).I32(2).I32(count);
  const std::array<std::array<std::uint8_t, 2>, 3> planes{{{255, 0}, {0, 0}, {0, 255}}};
  for (const auto& plane : planes) {
    Bytes samples;
    for (const std::uint8_t value : plane) samples.insert(samples.end(), depth / 8, value);
    channels.I32(1).I32(23 + static_cast<std::int64_t>(samples.size())).I32(depth);
    channels.I32(0).I32(0).I32(1).I32(2).I16(depth).U8(0).Append(samples);
  }
  ByteWriter pattern;
  pattern.I32(1).I32(3).I16(1).I16(2).Append(UnicodeString(u"p")).U8(2).Text("p1");
  pattern.I32(3).I32(static_cast<std::int64_t>(channels.Size())).Append(channels.Data());
  ByteWriter block;
  block.I32(length != 0 ? length : static_cast<std::int64_t>(pattern.Size()))
      .Append(pattern.Data());
  while (block.Size() % 4 != 0) block.U8(0);
  return Block("Patt", block.Data());
}

Bytes PatternFill() {
  const Value named = ObjectValue("Ptrn", {{"Nm  ", TextValue(u"p")}, {"Idnt", TextValue(u"p1")}});
  return Block("PtFl", Versioned("null", {{"Ptrn", named}, {"Scl ", UnitValue("#Prc", 100)}}));
}

Bytes ReferencePoint(double x, double y) {
  return Block(
      "fxrp",
      ByteWriter().I64(std::bit_cast<std::int64_t>(x)).I64(std::bit_cast<std::int64_t>(y)).Data());
}

struct FillCase {
  const char* Name;
  Bytes Blocks;
  Bytes Global;
  std::array<std::uint32_t, 4> Words;  ///< 0xAARRGGBB; alpha only where colour is 0x1
  const char* Omission = nullptr;      ///< what the omission says, when one is expected
};

class Fills : public testing::TestWithParam<FillCase> {};

TEST_P(Fills, DrawTheLayerFromItsSettings) {
  const FillCase& test = GetParam();
  const Row row = Render(test.Blocks, test.Global);
  for (std::size_t x = 0; x < 4; ++x) {
    if ((test.Words[x] & 0xffffff) == 0x1) {
      EXPECT_EQ(row.Words[x] >> 24, test.Words[x] >> 24) << "pixel " << x;
    } else {
      EXPECT_EQ(row.Words[x], test.Words[x]) << "pixel " << x << std::hex << " " << row.Words[x];
    }
  }
  if (test.Omission == nullptr) {
    EXPECT_TRUE(row.Result.Omissions.empty()) << row.Result.Omissions.front();
  } else {
    ASSERT_EQ(row.Result.Omissions.size(), 1u);
    EXPECT_NE(row.Result.Omissions[0].find(test.Omission), std::string::npos)
        << row.Result.Omissions[0];
  }
}

// Known values of the maker's gradients: classic of smoothness 0 is a straight
// line in the stored values; a midpoint is where the mix is even; linear mixes
// linear light (sRGB 0.5 is 188); a pattern is laid from the reference point.
INSTANTIATE_TEST_SUITE_P(
    Cases, Fills,
    testing::Values(
        FillCase{"Solid", Solid(), {}, {0xffff0000, 0xffff0000, 0xffff0000, 0xffff0000}},
        FillCase{"GradientClassic",
                 Gradient("Gcls", false, 0),
                 {},
                 {0xff000000, 0xff404040, 0xff808080, 0xffbfbfbf}},
        FillCase{"GradientReversed",
                 Gradient("Gcls", true, 0),
                 {},
                 {0xffffffff, 0xffbfbfbf, 0xff808080, 0xff404040}},
        FillCase{"GradientMidpoint",
                 Gradient("Gcls", false, 0, 25),
                 {},
                 {0xff000000, 0xff808080, 0xffaaaaaa, 0xffd4d4d4}},
        // Four stops at full smoothness: the curve runs on through the inner
        // stops and stays between each pair's values. The maker's merged image
        // of an overlay of these stops, 128 pixels wide, at x = 0, 96, 64, 32:
        // fdc2d8 fcb079 ff9469 c25d83 (the old per-pair ease drew blue 112 for 105).
        FillCase{"GradientClassicFourStops",
                 Gradient("Gcls", false, 4096, 50, "CstS", "Lnr ",
                          {{253, 194, 216, 0},
                           {252, 166, 94, 1434},
                           {255, 121, 131, 2662},
                           {4, 18, 130, 4096}}),
                 {},
                 {0xfffdc2d8, 0xfffcb079, 0xffff946a, 0xffc15c83}},
        FillCase{"GradientLinearLight",
                 Gradient("Lnr ", false, 0),
                 {},
                 {0xff000000, 0xff898989, 0xffbcbcbc, 0xffe1e1e1}},
        // Positions are taken at each pixel's top-left corner, as on the
        // maker's gradients: half a pixel above the centre of a row of 4.
        FillCase{"GradientRadial",
                 Gradient("Gcls", false, 0, 50, "CstS", "Rdl "),
                 {},
                 {0xffffffff, 0xff8f8f8f, 0xff404040, 0xff8f8f8f}},
        FillCase{"GradientReflected",
                 Gradient("Gcls", false, 0, 50, "CstS", "Rflc"),
                 {},
                 {0xffffffff, 0xff808080, 0xff000000, 0xff808080}},
        FillCase{"NoiseGradient",
                 Gradient("Gcls", false, 0, 50, "ClNs"),
                 {},
                 {0, 0, 0, 0},
                 "noise gradients"},
        FillCase{"VectorMaskHalfPixel",
                 Solid() + VectorMask(false, {{0, 1.5, 1}}),
                 {},
                 {0xffff0000, 0x80000001, 0x00000001, 0x00000001}},
        FillCase{"VectorMaskStartsFullAndSubtracts",
                 Solid() + VectorMask(true, {{0, 2, 2}, {3, 4, 2}}),
                 {},
                 {0x00000001, 0x00000001, 0xffff0000, 0x00000001}},
        FillCase{"VectorMaskIntersects",
                 Solid() + VectorMask(false, {{0, 3, 1}, {2, 4, 3}}),
                 {},
                 {0x00000001, 0x00000001, 0xffff0000, 0x00000001}},
        FillCase{
            "VectorMaskDamaged",
            Solid() + Block("vmsk",
                            ByteWriter().I32(3).I32(0).I16(0).I16(900).Append(Bytes(22, 0)).Data()),
            {},
            {0xffff0000, 0xffff0000, 0xffff0000, 0xffff0000},
            "vector mask damaged"},
        FillCase{"PatternFromReferencePoint",
                 PatternFill() + ReferencePoint(1, 0),
                 Patterns(),
                 {0xff0000ff, 0xffff0000, 0xff0000ff, 0xffff0000}},
        FillCase{"PatternSixteenBits",
                 PatternFill() + ReferencePoint(1, 0),
                 Patterns(0, 16),
                 {0xff0000ff, 0xffff0000, 0xff0000ff, 0xffff0000}},
        FillCase{"PatternOfTooManyChannels",
                 PatternFill(),
                 Patterns(0, 8, 999),
                 {0, 0, 0, 0},
                 "more than any pattern has"},
        FillCase{
            "PatternDamaged", PatternFill(), Patterns(9999), {0, 0, 0, 0}, "pattern is damaged"},
        FillCase{"PatternMissing", PatternFill(), {}, {0, 0, 0, 0}, "not in the document"}),
    [](const testing::TestParamInfo<FillCase>& param) { return std::string(param.param.Name); });

// A gradient map, black to white (smoothness 0), over red, green, blue and
// white: each pixel's luma, or its inverse when reversed.
TEST(GradientMap, MapsEachPixelsLumaAlongItsGradient) {
  TestLayer below = SolidLayer(0, 0, 1, 4, 0, 0, 0);
  below.Channels[1].Data = {255, 0, 0, 255};
  below.Channels[2].Data = {0, 255, 0, 255};
  below.Channels[3].Data = {0, 0, 255, 255};
  for (const bool reverse : {false, true}) {
    ByteWriter block;
    block.I16(1).U8(reverse ? 1 : 0).U8(0).Append(UnicodeString(u"g")).I16(2);
    for (const int grey : {0, 65535}) {
      block.I32(grey == 0 ? 0 : 4096).I32(50).I16(0).I16(grey).I16(grey).I16(grey).I16(0).I16(0);
    }
    block.I16(0).I16(2).I16(0);
    const Row row = Render(Block("grdm", block.Data()), {}, {below});
    const std::array<std::uint32_t, 4> luma = {0x4c, 0x96, 0x1d, 0xff};
    for (std::size_t x = 0; x < 4; ++x) {
      const std::uint32_t grey = reverse ? 0xff - luma[x] : luma[x];
      EXPECT_EQ(row.Words[x], 0xff000000 | grey * 0x010101) << "pixel " << x << " " << reverse;
    }
  }
}

}  // namespace
}  // namespace plymark
