// Writes seed inputs for the fuzz targets, built with the tests' PSD writer:
// OUTDIR/open/*.psd (whole files), OUTDIR/decode-plane/* (three choice
// bytes, then a stored plane) and OUTDIR/descriptor/* (a reader's number,
// then a settings block).

#include <lcms2.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/DescriptorWriter.h"
#include "tests/support/PsdWriter.h"
#include "tests/support/RealBlocks.h"

namespace {

using plymark::test::BuildPsd;
using plymark::test::Bytes;
using plymark::test::ByteWriter;
using plymark::test::FromHex;
using plymark::test::kDropShadowEffects;
using plymark::test::kLegacyEffects;
using plymark::test::kPlacedLayer;
using plymark::test::kSolidColourFill;
using plymark::test::LayerExtra;
using plymark::test::PredictedZipPlane;
using plymark::test::RunLengthPlane;
using plymark::test::Samples16;
using plymark::test::Samples32;
using plymark::test::SectionDivider;
using plymark::test::SolidLayer;
using plymark::test::TaggedBlock;
using plymark::test::TestDocument;
using plymark::test::TestLayer;
using plymark::test::UserMaskData;
using plymark::test::ZipPlane;

// Image resource 1039 holding `profile`, and 1041 when `untagged`.
Bytes ProfileResources(const Bytes& profile, bool untagged = false) {
  plymark::test::ByteWriter out;
  out.Text("8BIM").I16(1039).I16(0).I32(static_cast<std::int64_t>(profile.size())).Append(profile);
  if (profile.size() % 2 != 0) out.U8(0);
  if (untagged) out.Text("8BIM").I16(1041).I16(0).I32(1).U8(1).U8(0);
  return out.Data();
}

// A small profile made by Little CMS, saved to bytes.
Bytes SavedProfile(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  Bytes bytes;
  if (profile != nullptr && cmsSaveProfileToMem(profile, nullptr, &size)) {
    bytes.resize(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
  }
  cmsCloseProfile(profile);
  return bytes;
}

// An RGB profile with a gamma of 1.8 and wider primaries than sRGB's.
Bytes WideRgbProfile() {
  const cmsCIExyY white = {0.3457, 0.3585, 1.0};
  const cmsCIExyYTRIPLE primaries = {
      {0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 1.8);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  const Bytes bytes = SavedProfile(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(gamma);
  return bytes;
}

Bytes GrayProfile() {
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.6);
  const Bytes bytes = SavedProfile(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
  cmsFreeToneCurve(gamma);
  return bytes;
}

void Write(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A layer whose three colour channels are run-length coded rows of `width`
// bytes, each row a ramp, with a raw transparency channel.
TestLayer RunLengthLayer(std::int32_t top, std::int32_t left, std::int32_t height,
                         std::int32_t width) {
  TestLayer layer{top, left, top + height, left + width, {}, "mul ", {}};
  const auto pixels = static_cast<std::size_t>(width * height);
  layer.Channels.push_back({-1, 0, Bytes(pixels, 200)});
  for (std::int16_t id = 0; id < 3; ++id) {
    std::vector<Bytes> rows;
    for (std::int32_t y = 0; y < height; ++y) {
      Bytes row;
      for (std::int32_t x = 0; x < width; ++x) {
        row.push_back(static_cast<std::uint8_t>(x * 16 + y + id * 40));
      }
      rows.push_back(row);
    }
    layer.Channels.push_back({id, 1, RunLengthPlane(rows)});
  }
  return layer;
}

// A run-length plane of `height` rows of `width` pixels (a multiple of 128),
// each row repeat packets of 128 equal bytes.
Bytes RepeatedRunLengthPlane(std::int32_t width, std::int32_t height, std::uint8_t value) {
  plymark::test::ByteWriter plane;
  const std::int32_t packets = width / 128;
  for (std::int32_t y = 0; y < height; ++y) plane.I16(2 * packets);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t p = 0; p < packets; ++p)
      plane.U8(0x81).U8(static_cast<std::uint8_t>(value + y));
  }
  return plane.Data();
}

// A group's bounding divider, its members and its record, whose section
// divider block holds `mode`.
std::vector<TestLayer> Group(const std::string& mode, std::uint8_t opacity, const Bytes& maskData,
                             std::vector<TestLayer> members) {
  plymark::test::ByteWriter divider;
  divider.I32(1).Text("8BIM").Text(mode);
  TestLayer end{0, 0, 0, 0, {}, "norm", LayerExtra("</G>", {}, SectionDivider(3))};
  TestLayer group{0,
                  0,
                  0,
                  0,
                  {},
                  "norm",
                  LayerExtra("G", maskData, TaggedBlock("8BIM", "lsct", divider.Data()))};
  group.Opacity = opacity;
  if (!maskData.empty()) group.Channels.push_back({-2, 0, Bytes(4, 0x90)});
  members.insert(members.begin(), end);
  members.push_back(group);
  return members;
}

// Every kind of layer effect on a masked, stroked shape with a layer clipped
// to it, in lists as 'lmfx' keeps them, behind a blocked global light.
Bytes EffectsSeed() {
  namespace t = plymark::test;
  const auto px = [](double v) { return t::UnitValue("#Pxl", v); };
  const auto colour = [](double v) {
    return t::ObjectValue("RGBC", {{"Rd  ", t::DoubleValue(v)},
                                   {"Grn ", t::DoubleValue(v / 2)},
                                   {"Bl  ", t::DoubleValue(255 - v)}});
  };
  const auto effect = [&](const char* kind, t::Items extra) {
    t::Items items = {{"enab", t::BoolValue(true)},
                      {"Md  ", t::EnumValue("BlnM", "Scrn")},
                      {"Clr ", colour(200)},
                      {"Opct", t::UnitValue("#Prc", 80)},
                      {"blur", px(3)},
                      {"Dstn", px(2)},
                      {"Ckmt", t::UnitValue("#Prc", 20)},
                      {"lagl", t::UnitValue("#Ang", 30)}};
    items.insert(items.end(), extra.begin(), extra.end());
    return t::ObjectValue(kind, items);
  };
  const t::Items settings = {
      {"masterFXSwitch", t::BoolValue(true)},
      {"dropShadowMulti", t::ListValue({effect("DrSh", {}), effect("DrSh", {{"blur", px(0)}})})},
      {"OrGl", effect("OrGl", {{"GlwT", t::EnumValue("BETE", "PrBL")}})},
      {"IrGl", effect("IrGl", {{"glwS", t::EnumValue("IGSr", "SrcC")}})},
      {"IrSh", effect("IrSh", {})},
      {"ChFX", effect("ChFX", {{"Invr", t::BoolValue(true)}})},
      {"SoFi", effect("SoFi", {})},
      {"frameFXMulti",
       t::ListValue({effect("FrFX", {{"Styl", t::EnumValue("FStl", "CtrF")}, {"Sz  ", px(2)}}),
                     effect("FrFX", {{"Styl", t::EnumValue("FStl", "InsF")}, {"Sz  ", px(1)}})})},
      {"ebbl", t::ObjectValue("ebbl", {{"enab", t::BoolValue(true)},
                                       {"hglC", colour(255)},
                                       {"sdwC", colour(0)},
                                       {"bvlS", t::EnumValue("BESl", "PlEb")},
                                       {"bvlT", t::EnumValue("bvlT", "Slmt")},
                                       {"blur", px(3)},
                                       {"Sftn", px(1)},
                                       {"uglg", t::BoolValue(true)}})}};
  TestDocument document;
  document.Rows = document.Columns = 12;
  TestLayer styled = SolidLayer(2, 2, 9, 9, 200, 100, 50);
  styled.Channels[0].Data[10] = 0;
  styled.Channels.push_back({-2, 0, Bytes(49, 0x90)});
  styled.Extra = LayerExtra(
      "fx", plymark::test::UserMaskData(2, 2, 9, 9, 255),
      ByteWriter()
          .Append(TaggedBlock("8BIM", "lmfx",
                              ByteWriter().I32(0).Append(t::Versioned("null", settings)).Data()))
          .Append(TaggedBlock("8BIM", "infx", {1, 0, 0, 0}))
          .Append(TaggedBlock("8BIM", "vstk",
                              t::Versioned("strokeStyle", {{"strokeEnabled", t::BoolValue(true)},
                                                           {"strokeStyleLineWidth", px(1.5)}})))
          .Data());
  TestLayer clipped = SolidLayer(0, 0, 6, 6, 9, 99, 199);
  clipped.Clipping = 1;
  document.Layers = {SolidLayer(0, 0, 12, 12, 255, 255, 255), styled, clipped};
  return BuildPsd(document);
}

// Documents for the compositor: every blend mode with and without fill,
// groups of both kinds, clipping, masks and adjustment layers.
void AddComposeSeeds(std::vector<std::pair<std::string, Bytes>>& seeds) {
  static constexpr const char* kModes[] = {"pass", "norm", "diss", "dark", "mul ", "idiv", "lbrn",
                                           "dkCl", "lite", "scrn", "div ", "lddg", "lgCl", "over",
                                           "sLit", "hLit", "vLit", "lLit", "pLit", "hMix", "diff",
                                           "smud", "fsub", "fdiv", "hue ", "sat ", "colr", "lum "};
  TestDocument modes;
  modes.Rows = 2;
  modes.Columns = 28;
  modes.Layers.push_back(SolidLayer(0, 0, 2, 28, 90, 160, 220));
  for (int i = 0; i < 28; ++i) {
    TestLayer layer = SolidLayer(0, i, 2, i + 1, 200, 100, 30);
    layer.BlendKey = kModes[i];
    layer.Channels[0].Data = {128, 255};
    if (i % 2 == 1)
      layer.Extra = LayerExtra("fill", {}, TaggedBlock("8BIM", "iOpa", {102, 0, 0, 0}));
    modes.Layers.push_back(layer);
  }
  seeds.emplace_back("every-mode.psd", BuildPsd(modes));
  TestDocument cmykModes = modes;
  cmykModes.ColorMode = 4;
  cmykModes.Channels = 4;
  for (TestLayer& layer : cmykModes.Layers)
    layer.Channels.push_back({3, 0, Bytes(layer.Channels[1].Data.size(), 40)});
  seeds.emplace_back("every-mode-cmyk.psd", BuildPsd(cmykModes));

  // An isolated multiply group inside a pass-through group with opacity and a mask.
  TestDocument groups;
  TestLayer inner = RunLengthLayer(0, 0, 3, 4);
  inner.BlendKey = "scrn";
  std::vector<TestLayer> members = {SolidLayer(1, 0, 4, 3, 9, 99, 199)};
  for (TestLayer& layer : Group("mul ", 200, {}, {inner})) members.push_back(layer);
  groups.Layers = {SolidLayer(0, 0, 4, 4, 250, 240, 230)};
  for (TestLayer& layer : Group("pass", 128, UserMaskData(1, 1, 3, 3, 255), members)) {
    groups.Layers.push_back(layer);
  }
  seeds.emplace_back("groups.psd", BuildPsd(groups));

  // Clipping sets: onto a layer, onto a group, and one that does not blend as a group.
  TestDocument clipping;
  TestLayer base = SolidLayer(1, 1, 4, 4, 10, 200, 10);
  base.Channels[0].Data = Bytes(9, 180);
  TestLayer clipped = SolidLayer(0, 0, 4, 4, 200, 10, 10);
  clipped.Clipping = 1;
  clipped.BlendKey = "over";
  TestLayer apart = base;
  apart.Extra = LayerExtra("apart", {}, TaggedBlock("8BIM", "clbl", {0, 0, 0, 0}));
  clipping.Layers = {base, clipped, clipped};
  std::vector<TestLayer> groupBase = Group("norm", 255, {}, {SolidLayer(0, 0, 2, 2, 1, 2, 3)});
  clipping.Layers.insert(clipping.Layers.end(), groupBase.begin(), groupBase.end());
  clipping.Layers.insert(clipping.Layers.end(), {clipped, apart, clipped});
  seeds.emplace_back("clipping.psd", BuildPsd(clipping));

  // A user mask and a vector mask's raster together (channels -3 and -2),
  // with density, and a disabled mask.
  TestDocument masks;
  plymark::test::ByteWriter both;
  both.I32(0).I32(0).I32(2).I32(3).U8(0).U8(0x18).U8(0).U8(255).I32(1).I32(1).I32(4).I32(4);
  both.U8(0x05).U8(128).U8(200);
  TestLayer twoMasks = SolidLayer(0, 0, 4, 4, 40, 50, 60);
  twoMasks.Extra = LayerExtra("both", both.Data());
  twoMasks.Channels.push_back({-2, 0, Bytes(6, 0xc0)});
  twoMasks.Channels.push_back({-3, 1, RunLengthPlane(std::vector<Bytes>(3, Bytes(3, 0x30)))});
  TestLayer disabled = SolidLayer(0, 0, 4, 4, 140, 150, 160);
  Bytes off = UserMaskData(0, 0, 2, 2, 0);
  off[17] = 0x02;
  disabled.Extra = LayerExtra("disabled", off);
  disabled.Channels.push_back({-2, 0, Bytes(4, 0)});
  masks.Layers = {twoMasks, disabled};
  seeds.emplace_back("masks.psd", BuildPsd(masks));

  // One adjustment layer of each kind, one clipped, one with a mask; and
  // brightness/contrast beside its descriptor; effects switched on.
  TestDocument adjustments;
  adjustments.Layers = {SolidLayer(0, 0, 4, 4, 30, 130, 230)};
  for (const char* key : {"levl", "curv", "brit", "expA", "hue2", "nvrt", "post", "thrs", "selc"}) {
    TestLayer adjustment{
        0,
        0,
        0,
        0,
        {},
        "norm",
        LayerExtra(key, UserMaskData(0, 0, 2, 4, 255), TaggedBlock("8BIM", key, Bytes(40, 1)))};
    adjustment.Channels.push_back({-2, 0, Bytes(8, 0x70)});
    adjustment.Clipping = key[0] == 'c' ? 1 : 0;
    adjustments.Layers.push_back(adjustment);
  }
  Bytes described = TaggedBlock("8BIM", "brit", Bytes(8, 0));
  const Bytes descriptor = TaggedBlock("8BIM", "CgEd", Bytes(16, 0));
  described.insert(described.end(), descriptor.begin(), descriptor.end());
  adjustments.Layers.push_back({0, 0, 0, 0, {}, "norm", LayerExtra("brit", {}, described)});
  TestLayer effects = SolidLayer(1, 1, 3, 3, 5, 5, 5);
  const std::string switches =
      "masterFXSwitchbool\x01"
      "enabbool\x01";
  effects.Extra =
      LayerExtra("fx", {}, TaggedBlock("8BIM", "lfx2", Bytes(switches.begin(), switches.end())));
  adjustments.Layers.push_back(effects);
  seeds.emplace_back("adjustments.psd", BuildPsd(adjustments));
  seeds.emplace_back("effects.psd", EffectsSeed());
}

// Fill layers without pixels: a solid colour inside a vector mask of curves
// and every path operation, a gradient of each shape and method, and a
// pattern of the document's 'Patt' block, scaled, turned and moved; and a
// gradient map.
Bytes Joined(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void AddFillSeeds(std::vector<std::pair<std::string, Bytes>>& seeds) {
  using namespace plymark::test;
  const auto fixed = [](double v) { return static_cast<std::int64_t>(v * 16777216.0); };
  ByteWriter path;
  path.I32(3).I32(0).I16(8).I16(1).Append(Bytes(22, 0));
  for (int operation : {1, 2, 3, 0, -1}) {
    path.I16(0).I16(3).I16(operation).Append(Bytes(20, 0));
    for (const double at : {0.1, 0.6, 0.9}) {
      path.I16(1);
      for (const double control : {at - 0.2, at, at + 0.3})
        path.I32(fixed(control)).I32(fixed(1 - control));
    }
  }
  const Value red = ObjectValue(
      "RGBC", {{"Rd  ", DoubleValue(255)}, {"Grn ", DoubleValue(9)}, {"Bl  ", DoubleValue(0)}});
  TestDocument fills;
  fills.Rows = 6;
  fills.Columns = 7;
  const auto layer = [&](const Bytes& blocks) {
    fills.Layers.push_back({0, 0, 0, 0, {}, "norm", LayerExtra("fill", {}, blocks)});
  };
  layer(Joined(TaggedBlock("8BIM", "SoCo", Versioned("null", {{"Clr ", red}})),
               TaggedBlock("8BIM", "vmsk", path.Data())));
  const auto stop = [&](int location) {
    return ObjectValue("Clrt",
                       {{"Clr ", red}, {"Lctn", LongValue(location)}, {"Mdpn", LongValue(30)}});
  };
  const auto opacity = [](int location) {
    return ObjectValue("TrnS", {{"Opct", UnitValue("#Prc", 40)}, {"Lctn", LongValue(location)}});
  };
  const Value gradient =
      ObjectValue("Grdn", {{"Intr", DoubleValue(2048)},
                           {"Clrs", ListValue({stop(0), stop(1500), stop(4096)})},
                           {"Trns", ListValue({opacity(100), opacity(4000)})}});
  const char* shapes[] = {"Lnr ", "Rdl ", "Angl", "Rflc", "Dmnd"};
  const char* methods[] = {"Gcls", "Perc", "Lnr ", "Smoo", "GIMs"};
  for (int k = 0; k < 5; ++k) {
    layer(TaggedBlock(
        "8BIM", "GdFl",
        Versioned("null", {{"Grad", gradient},
                           {"Type", EnumValue("GrdT", shapes[k])},
                           {"Angl", UnitValue("#Ang", 30.0 * k)},
                           {"Scl ", UnitValue("#Prc", 40.0 + 30 * k)},
                           {"Rvrs", BoolValue(k % 2 == 1)},
                           {"Algn", BoolValue(k % 2 == 0)},
                           {"Ofst", ObjectValue("Pnt ", {{"Hrzn", UnitValue("#Prc", 10)}})},
                           {"gradientsInterpolationMethod",
                            EnumValue("gradientInterpolationMethodType", methods[k])}})));
  }
  // A 2 x 2 RGB pattern with transparency.
  ByteWriter list;
  list.I32(0).I32(0).I32(2).I32(2).I32(24);
  for (int slot = 0; slot < 26; ++slot) {
    if (slot > 2 && slot != 25) {
      list.I32(0);
      continue;
    }
    list.I32(1).I32(23 + 4).I32(8).I32(0).I32(0).I32(2).I32(2).I16(8).U8(0);
    list.Append({static_cast<std::uint8_t>(60 * slot), 255, 0, 128});
  }
  ByteWriter pattern;
  pattern.I32(1).I32(3).I16(2).I16(2).Append(UnicodeString(u"p")).U8(2).Text("p1");
  pattern.I32(3).I32(static_cast<std::int64_t>(list.Size())).Append(list.Data());
  ByteWriter patterns;
  patterns.I32(static_cast<std::int64_t>(pattern.Size())).Append(pattern.Data());
  while (patterns.Size() % 4 != 0) patterns.U8(0);
  fills.GlobalBlocks = TaggedBlock("8BIM", "Patt", patterns.Data());
  const Value named = ObjectValue("Ptrn", {{"Idnt", TextValue(u"p1")}});
  for (const double scale : {100.0, 37.0}) {
    layer(
        Joined(TaggedBlock(
                   "8BIM", "PtFl",
                   Versioned("null", {{"Ptrn", named},
                                      {"Scl ", UnitValue("#Prc", scale)},
                                      {"Angl", UnitValue("#Ang", scale / 3)},
                                      {"phase", ObjectValue("Pnt ", {{"Hrzn", DoubleValue(3)}})}})),
               TaggedBlock("8BIM", "fxrp", ByteWriter().I64(0x3ff8000000000000).I64(0).Data())));
  }
  // A gradient map of three stops, reversed, over them all.
  ByteWriter map;
  map.I16(1).U8(1).U8(0).Append(UnicodeString(u"g")).I16(3);
  for (const int k : {0, 1, 2}) {
    map.I32(k * 2048).I32(40).I16(k == 2 ? 7 : 0).I16(k * 30000).I16(9000).I16(40000);
    map.I16(0).I16(0);
  }
  map.I16(1).I32(0).I32(50).I16(255).I16(2).I16(3000);
  layer(TaggedBlock("8BIM", "grdm", map.Data()));
  seeds.emplace_back("fills.psd", BuildPsd(fills));
}

// Adjustment layers with settings they draw: colour balance, brightness and
// contrast in `CgEd` beside `brit`, vibrance, black & white with a tint,
// photo filter, channel mixer, selective colour and a colour lookup whose
// .cube table is embedded.
void AddAdjustmentSeeds(std::vector<std::pair<std::string, Bytes>>& seeds) {
  using namespace plymark::test;
  TestDocument document;
  document.Layers = {SolidLayer(0, 0, 4, 4, 200, 90, 40)};
  const std::string cube =
      "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
  const Items rgb = {
      {"Rd  ", DoubleValue(200)}, {"Grn ", DoubleValue(100)}, {"Bl  ", DoubleValue(50)}};
  ByteWriter mixer;
  mixer.I16(1).I16(0);
  for (int k = 0; k < 20; ++k) mixer.I16(k % 6 == 0 ? 100 : -20);
  ByteWriter selective;
  selective.I16(1).I16(0).I32(0).I32(0);
  for (int k = 0; k < 36; ++k) selective.I16(k * 7 % 200 - 100);
  const std::vector<std::pair<std::string, Bytes>> blocks = {
      {"blnc", ByteWriter()
                   .I16(40)
                   .I16(-20)
                   .I16(0)
                   .I16(0)
                   .I16(60)
                   .I16(-60)
                   .I16(-100)
                   .I16(0)
                   .I16(30)
                   .U8(1)
                   .Data()},
      {"CgEd", Versioned("null", {{"Brgh", LongValue(-80)},
                                  {"Cntr", LongValue(60)},
                                  {"useLegacy", BoolValue(false)}})},
      {"vibA", Versioned("null", {{"vibrance", LongValue(70)}, {"Strt", LongValue(-30)}})},
      {"blwh", Versioned("null", {{"Rd  ", LongValue(120)},
                                  {"useTint", BoolValue(true)},
                                  {"tintColor", ObjectValue("RGBC", rgb)}})},
      {"phfl",
       ByteWriter().I16(2).I16(7).I16(6706).I16(3200).I16(12000).I16(0).I32(60).U8(1).Data()},
      {"mixr", mixer.Data()},
      {"selc", selective.Data()},
      {"clrL", ByteWriter()
                   .I16(1)
                   .Append(Versioned(
                       "null", {{"LUTFormat", EnumValue("LUTFormatType", "LUTFormatCUBE")},
                                {"LUT3DFileData", RawValue(Bytes(cube.begin(), cube.end()))}}))
                   .Data()},
  };
  for (const auto& [key, settings] : blocks) {
    Bytes tagged =
        TaggedBlock("8BIM", key == "CgEd" ? "brit" : key, key == "CgEd" ? Bytes(8, 0) : settings);
    if (key == "CgEd") {
      const Bytes descriptor = TaggedBlock("8BIM", key, settings);
      tagged.insert(tagged.end(), descriptor.begin(), descriptor.end());
    }
    document.Layers.push_back({0, 0, 0, 0, {}, "norm", LayerExtra(key, {}, tagged)});
  }
  seeds.emplace_back("adjustments-drawn.psd", BuildPsd(document));
}

// Advanced blending: knockouts to the background, a pass-through group, a
// clipping base and an isolated group; blend-if ranges; channel
// restrictions; 'tsly' off in a special fill mode; an artboard reaching
// beyond the document; clipped layers blending on their own onto a group;
// a pass-through group clipped to an adjustment layer.
void AddBlendingSeeds(std::vector<std::pair<std::string, Bytes>>& seeds) {
  using namespace plymark::test;
  const auto with = [](TestLayer layer, const Bytes& blocks, const Bytes& ranges = {}) {
    ByteWriter extra;
    extra.I32(0).I32(static_cast<std::int64_t>(ranges.size())).Append(ranges);
    layer.Extra = extra.U8(3).Text("lay").Append(blocks).Data();
    return layer;
  };
  const auto block = [](const char* key, const Bytes& data) {
    return TaggedBlock("8BIM", key, data);
  };
  const auto joined = [](std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  const auto append = [](std::vector<TestLayer>& to, const std::vector<TestLayer>& from) {
    to.insert(to.end(), from.begin(), from.end());
  };
  TestDocument document;
  TestLayer background = SolidLayer(0, 0, 4, 4, 200, 210, 220);
  background.Channels.erase(background.Channels.begin());
  document.Layers = {background};
  Bytes ranges;
  for (int k = 0; k < 10; ++k) ranges = joined({ranges, Bytes{20, 60, 180, 240}});
  const Bytes shallow = joined({block("knko", {1, 0, 0, 0}), block("iOpa", {60, 0, 0, 0})});
  const Bytes deep = joined({block("knko", {2, 0, 0, 0}), block("tsly", {0, 0, 0, 0})});
  TestLayer dodge = with(SolidLayer(0, 1, 3, 4, 90, 90, 90), deep);
  dodge.BlendKey = "div ";
  dodge.Channels[0].Data = Bytes(9, 100);
  append(document.Layers,
         Group("pass", 255, {},
               {SolidLayer(0, 0, 4, 2, 250, 10, 10),
                with(SolidLayer(1, 0, 3, 4, 10, 250, 10), shallow, ranges), dodge}));
  TestLayer base = with(SolidLayer(0, 0, 4, 4, 10, 10, 250), block("brst", {0, 0, 0, 1}));
  TestLayer clipped = with(SolidLayer(1, 1, 4, 4, 90, 30, 200), shallow);
  clipped.Clipping = 1;
  document.Layers.insert(document.Layers.end(), {base, clipped});
  std::vector<TestLayer> apart = Group("mul ", 200, {}, {SolidLayer(0, 0, 2, 4, 5, 6, 7)});
  apart.back().Extra =
      LayerExtra("G", {},
                 joined({block("lsct", ByteWriter().I32(1).Text("8BIM").Text("mul ").Data()),
                         block("clbl", {0, 0, 0, 0}), block("iOpa", {128, 0, 0, 0})}));
  append(document.Layers, apart);
  TestLayer onApart = SolidLayer(0, 0, 4, 4, 100, 200, 50);
  onApart.Clipping = 1;
  onApart.BlendKey = "scrn";
  document.Layers.push_back(with(onApart, block("knko", {2, 0, 0, 0})));
  const Items rect = {{"Top ", DoubleValue(-1)},
                      {"Left", DoubleValue(1)},
                      {"Btom", DoubleValue(3.4)},
                      {"Rght", DoubleValue(9)}};
  const Bytes artboard = block(
      "artb", Versioned("artboard", {{"artboardRect", ObjectValue("classFloatRect", rect)},
                                     {"artboardBackgroundType", LongValue(4)},
                                     {"Clr ", ObjectValue("RGBC", {{"Rd  ", DoubleValue(9)},
                                                                   {"Grn ", DoubleValue(99)},
                                                                   {"Bl  ", DoubleValue(199)}})}}));
  std::vector<TestLayer> board = Group("pass", 255, {}, {SolidLayer(0, 0, 4, 4, 1, 2, 3)});
  board.back().Extra = LayerExtra(
      "A", {},
      joined({block("lsct", ByteWriter().I32(1).Text("8BIM").Text("pass").Data()), artboard}));
  append(document.Layers, board);
  document.Layers.push_back({0, 0, 0, 0, {}, "norm", LayerExtra("nvrt", {}, block("nvrt", {}))});
  std::vector<TestLayer> passClipped = Group("pass", 255, {}, {SolidLayer(0, 0, 4, 4, 9, 9, 9)});
  passClipped.back().Clipping = 1;
  append(document.Layers, passClipped);
  seeds.emplace_back("advanced-blending.psd", BuildPsd(document));
}

std::vector<std::pair<std::string, Bytes>> OpenSeeds() {
  std::vector<std::pair<std::string, Bytes>> seeds;
  TestDocument solid;
  solid.Layers = {SolidLayer(0, 0, 4, 4, 10, 20, 30), SolidLayer(1, 1, 3, 4, 200, 100, 50)};
  seeds.emplace_back("solid-raw.psd", BuildPsd(solid));

  TestDocument packed;
  packed.Layers = {RunLengthLayer(0, 0, 5, 7), RunLengthLayer(2, 3, 3, 2)};
  seeds.emplace_back("run-length.psd", BuildPsd(packed));

  TestDocument gray;
  gray.ColorMode = 1;
  gray.Channels = 1;
  TestLayer grayLayer{0, 0, 3, 3, {{-1, 0, Bytes(9, 255)}, {0, 0, Bytes(9, 99)}}, "scrn", {}};
  gray.Layers = {grayLayer};
  seeds.emplace_back("gray.psd", BuildPsd(gray));

  TestDocument extras;
  TestLayer named = SolidLayer(0, 0, 2, 2, 1, 2, 3);
  named.BlendKey = "over";
  // Extra data: an empty mask, empty blending ranges and a Pascal name.
  named.Extra = {0, 0, 0, 0, 0, 0, 0, 0, 3, 'a', 'b', 'c'};
  extras.Layers = {named};
  extras.ColorModeData = Bytes(768, 7);
  extras.ImageResources = {'8', 'B', 'I', 'M', 0x03, 0xED, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0};
  seeds.emplace_back("extras.psd", BuildPsd(extras));

  TestDocument empty;
  empty.WithLayerSection = false;
  seeds.emplace_back("no-layers.psd", BuildPsd(empty));

  TestDocument deep;
  deep.Depth = 16;
  deep.LayerBlockKey = "Lr16";
  TestLayer deepLayer{0, 0, 2, 3, {}, "norm", {}};
  for (std::int16_t id = -1; id < 3; ++id) {
    const Bytes plane = Samples16({0, 1000, 20000, 30000, 65535, static_cast<std::uint16_t>(id)});
    deepLayer.Channels.push_back({id, 3, PredictedZipPlane(plane, 3, 2, 2)});
  }
  deep.Layers = {deepLayer};
  seeds.emplace_back("deep-16-zip.psd", BuildPsd(deep));

  // Large enough for its rows to be shared between two threads.
  TestDocument large;
  TestLayer largeLayer{0, 0, 512, 512, {}, "lite", {}};
  for (std::int16_t id = 0; id < 3; ++id) {
    largeLayer.Channels.push_back(
        {id, 1, RepeatedRunLengthPlane(512, 512, static_cast<std::uint8_t>(id * 60))});
  }
  large.Layers = {largeLayer};
  seeds.emplace_back("large-run-length.psd", BuildPsd(large));

  // A group (divider, members, group record) holding a hidden, half-opaque
  // layer with a run-length user mask whose rectangle reaches past the layer's.
  TestDocument grouped;
  TestLayer masked = RunLengthLayer(1, 1, 3, 4);
  masked.Opacity = 128;
  masked.Flags = 0x02;
  masked.Extra = LayerExtra("Masked", UserMaskData(0, 0, 4, 6, 255));
  std::vector<Bytes> maskRows(4, Bytes(6, 0x40));
  masked.Channels.push_back({-2, 1, RunLengthPlane(maskRows)});
  TestLayer divider{0, 0, 0, 0, {}, "norm", LayerExtra("</G>", {}, SectionDivider(3))};
  TestLayer group{
      0, 0, 0, 0, {}, "norm", LayerExtra("G", UserMaskData(0, 0, 1, 1, 0), SectionDivider(1))};
  group.Channels.push_back({-2, 0, Bytes{9}});  // a 0x0 group with a 1x1 mask
  grouped.Layers = {divider, masked, group};
  seeds.emplace_back("group-and-masks.psd", BuildPsd(grouped));

  TestDocument many;
  for (int i = 0; i < 14; ++i) many.Layers.push_back(SolidLayer(0, i, 2, i + 2, 9, 9, 9));
  seeds.emplace_back("fourteen-layers.psd", BuildPsd(many));

  // PSB (version 2): 8-byte lengths, 4-byte run-length row counts.
  TestDocument psb;
  psb.Version = 2;
  TestLayer psbLayer{0, 0, 3, 4, {{-1, 0, Bytes(12, 128)}}, "norm", {}};
  for (std::int16_t id = 0; id < 3; ++id) {
    psbLayer.Channels.push_back(
        {id, 1,
         RunLengthPlane(std::vector<Bytes>(3, Bytes(4, static_cast<std::uint8_t>(id * 70))), 4)});
  }
  psb.Layers = {psbLayer, SolidLayer(1, 1, 2, 3, 5, 6, 7)};
  seeds.emplace_back("psb-run-length.psb", BuildPsd(psb));

  TestDocument psbDeep = deep;
  psbDeep.Version = 2;
  seeds.emplace_back("psb-deep-16-lr16.psb", BuildPsd(psbDeep));

  // A layer wider than a tile shows: left out in a PSB.
  TestDocument psbWide;
  psbWide.Version = 2;
  TestLayer wide{0, 0, 1, 30001, {}, "norm", {}};
  for (std::int16_t id = 0; id < 3; ++id) wide.Channels.push_back({id, 0, Bytes(30001, 1)});
  psbWide.Layers = {wide, SolidLayer(0, 0, 2, 2, 1, 2, 3)};
  seeds.emplace_back("psb-wide-layer.psb", BuildPsd(psbWide));

  // Documents with colour profiles, which go through Little CMS.
  TestDocument wideRgb;
  wideRgb.ImageResources = ProfileResources(WideRgbProfile());
  wideRgb.Layers = {SolidLayer(0, 0, 3, 3, 200, 40, 90)};
  seeds.emplace_back("rgb-profile.psd", BuildPsd(wideRgb));

  TestDocument grayProfile = gray;
  grayProfile.ImageResources = ProfileResources(GrayProfile());
  seeds.emplace_back("gray-profile.psd", BuildPsd(grayProfile));

  TestDocument cmyk;
  cmyk.ColorMode = 4;
  cmyk.Channels = 4;
  TestLayer inks{0, 0, 2, 3, {}, "norm", {}};
  for (std::int16_t id = -1; id < 4; ++id) {
    inks.Channels.push_back({id, 0, Bytes{0, 40, 90, 128, 200, static_cast<std::uint8_t>(id)}});
  }
  cmyk.Layers = {inks};
  seeds.emplace_back("cmyk-default-profile.psd", BuildPsd(cmyk));

  TestDocument deepWide = deep;
  deepWide.ImageResources = ProfileResources(WideRgbProfile());
  seeds.emplace_back("deep-16-rgb-profile.psd", BuildPsd(deepWide));

  TestDocument untaggedLab = deep;
  untaggedLab.ColorMode = 9;
  untaggedLab.ImageResources = ProfileResources(GrayProfile(), true);
  seeds.emplace_back("deep-16-lab-untagged.psd", BuildPsd(untaggedLab));

  // Settings blocks: an id, effects and a placed layer the maker wrote, a
  // fill, and the embedded file the placed layer names.
  using plymark::test::TaggedBlock;
  TestDocument settings;
  settings.Layers = {SolidLayer(0, 0, 2, 2, 1, 2, 3)};
  settings.Layers[0].Extra =
      LayerExtra("fx", {},
                 ByteWriter()
                     .Append(TaggedBlock("8BIM", "lyid", ByteWriter().I32(7).Data()))
                     .Append(TaggedBlock("8BIM", "lfx2", FromHex(kDropShadowEffects)))
                     .Append(TaggedBlock("8BIM", "lrFX", FromHex(kLegacyEffects)))
                     .Append(TaggedBlock("8BIM", "PlLd", FromHex(kPlacedLayer)))
                     .Append(TaggedBlock("8BIM", "SoCo", FromHex(kSolidColourFill)))
                     .Data());
  ByteWriter entry;
  entry.Text("liFD").I32(2).U8(36).Text("74c7235b-f22c-1176-a533-fc87f56c4ea0");
  entry.Append(plymark::test::UnicodeString(u"a.jpg")).I32(0).I32(0).I64(3).U8(0).Text("JPG");
  settings.GlobalBlocks = TaggedBlock(
      "8BIM", "lnk2",
      ByteWriter().I64(static_cast<std::int64_t>(entry.Size())).Append(entry.Data()).Data());
  seeds.emplace_back("settings.psd", BuildPsd(settings));
  AddComposeSeeds(seeds);
  AddFillSeeds(seeds);
  AddAdjustmentSeeds(seeds);
  AddBlendingSeeds(seeds);
  return seeds;
}

// Three choice bytes (width - 1, height - 1, compression + 4 x depth index of
// 8, 16, 32), then the plane.
Bytes PlaneSeed(std::uint8_t width, std::uint8_t height, std::uint8_t compression,
                const Bytes& plane, std::uint8_t depthIndex = 0) {
  Bytes seed = {static_cast<std::uint8_t>(width - 1), static_cast<std::uint8_t>(height - 1),
                static_cast<std::uint8_t>(compression + 4 * depthIndex)};
  seed.insert(seed.end(), plane.begin(), plane.end());
  return seed;
}

std::vector<std::pair<std::string, Bytes>> DecodePlaneSeeds() {
  std::vector<std::pair<std::string, Bytes>> seeds;
  seeds.emplace_back("raw-4x3", PlaneSeed(4, 3, 0, Bytes(12, 77)));
  std::vector<Bytes> rows = {{1, 2, 3, 4, 5}, {6, 6, 6, 6, 6}, {7, 8, 9, 10, 11}};
  seeds.emplace_back("rle-5x3", PlaneSeed(5, 3, 1, RunLengthPlane(rows)));
  // Repeat packets: two rows of 8 equal bytes each, then a no-operation byte.
  seeds.emplace_back("rle-repeat-8x2", PlaneSeed(8, 2, 1, {0, 2, 0, 3, 0xF9, 5, 0xF9, 6, 0x80}));
  std::vector<Bytes> wide(2, Bytes(64, 42));
  seeds.emplace_back("rle-64x2", PlaneSeed(64, 2, 1, RunLengthPlane(wide)));
  seeds.emplace_back("psb-rle-64x2", PlaneSeed(64, 2, 128 + 1, RunLengthPlane(wide, 4)));
  seeds.emplace_back(
      "psb-rle-16-5x3",
      PlaneSeed(5, 3, 128 + 1, RunLengthPlane(std::vector<Bytes>(3, Bytes(10, 3)), 4), 1));

  Bytes ramp;
  for (int i = 0; i < 6 * 5; ++i) ramp.push_back(static_cast<std::uint8_t>(i * 7));
  seeds.emplace_back("zip-6x5", PlaneSeed(6, 5, 2, ZipPlane(ramp)));
  seeds.emplace_back("zip-predicted-6x5", PlaneSeed(6, 5, 3, PredictedZipPlane(ramp, 6, 5, 1)));
  std::vector<std::uint16_t> deep;
  for (int i = 0; i < 4 * 3; ++i) deep.push_back(static_cast<std::uint16_t>(i * 5000));
  seeds.emplace_back("raw-16-4x3", PlaneSeed(4, 3, 0, Samples16(deep), 1));
  seeds.emplace_back("zip-predicted-16-4x3",
                     PlaneSeed(4, 3, 3, PredictedZipPlane(Samples16(deep), 4, 3, 2), 1));
  const Bytes floats = Samples32({0.0f, 0.25f, 0.5f, 1.0f, 2.0f, -1.0f});
  seeds.emplace_back("raw-32-3x2", PlaneSeed(3, 2, 0, floats, 2));
  seeds.emplace_back("zip-predicted-32-3x2",
                     PlaneSeed(3, 2, 3, PredictedZipPlane(floats, 3, 2, 4), 2));
  return seeds;
}

// The reader's number (as FuzzDescriptor picks them), then the block.
Bytes DescriptorSeed(std::uint8_t reader, const Bytes& block) {
  Bytes seed = {reader};
  seed.insert(seed.end(), block.begin(), block.end());
  return seed;
}

std::vector<std::pair<std::string, Bytes>> DescriptorSeeds() {
  using namespace plymark::test;
  const Items items = {
      {"Clr ", ObjectValue("RGBC", {{"Rd  ", DoubleValue(255)}, {"Grn ", DoubleValue(0)}})},
      {"Md  ", EnumValue("BlnM", "Mltp")},
      {"Opct", UnitValue("#Prc", 50)},
      {"enab", BoolValue(true)},
      {"Nm  ", TextValue(u"Shadow")},
      {"Cnt ", LongValue(3)},
      {"Crv ", ListValue({ObjectValue("CrPt", {{"Hrzn", DoubleValue(0)}})})},
      {"data", RawValue({1, 2, 3})}};
  const std::string engine =
      "\n\n<<\n\t/EngineDict << /StyleRun << /RunArray [ << /StyleSheet << /StyleSheetData "
      "<< /Font 0 /FontSize 12.0 /FillColor << /Type 1 /Values [ 1.0 .5 0.0 1.0 ] >> >> >> >> ] "
      "/RunLengthArray [ 3 ] >> >>\n\t/ResourceDict << /FontSet [ << /Name (Arial) >> ] "
      "/StyleSheetSet [ << /StyleSheetData << /Font 0 >> >> ] /TheNormalStyleSheet 0 >>\n>>";
  const Bytes engineBytes(engine.begin(), engine.end());
  ByteWriter text;
  text.I16(1).Append(Bytes(48, 0)).I16(50);
  text.Append(
      Versioned("TxLr", {{"Txt ", TextValue(u"Hi")}, {"EngineData", RawValue(engineBytes)}}));
  ByteWriter legacy;
  legacy.I16(0).I16(2).Text("8BIMcmnS").I32(7).I32(0).U8(1).I16(0);
  legacy.Text("8BIMdsdw").I32(41).I32(0).I32(5 << 16).I32(0).I32(120 << 16).I32(5 << 16);
  legacy.I16(0).I16(0).I16(0).I16(0).I16(0).Text("8BIMmul ").U8(1).U8(1).U8(191);
  ByteWriter entry;
  entry.Text("liFD").I32(7).U8(2).Text("id").Append(UnicodeString(u"a.png")).Text("png ");
  entry.I32(0).I64(3).U8(0).Text("PNG");
  ByteWriter linked;
  linked.I64(static_cast<std::int64_t>(entry.Size())).Append(entry.Data()).U8(0);
  ByteWriter placed;
  placed.Text("plcL").I32(3).U8(2).Text("id").I32(1).I32(1).I32(16).I32(2);
  return {
      {"descriptor", DescriptorSeed(0, Versioned("null", items))},
      {"effects", DescriptorSeed(1, ByteWriter().I32(0).Append(Versioned("null", items)).Data())},
      {"text", DescriptorSeed(2, text.Data())},
      {"engine-data", DescriptorSeed(3, engineBytes)},
      {"legacy-effects", DescriptorSeed(4, legacy.Data())},
      {"linked-files", DescriptorSeed(5, linked.Data())},
      {"smart-object",
       DescriptorSeed(6, ByteWriter()
                             .Text("soLD")
                             .I32(4)
                             .Append(Versioned("null", {{"Idnt", TextValue(u"id")}}))
                             .Data())},
      {"placed-layer", DescriptorSeed(7, placed.Data())},
      // The key's number among FuzzDescriptor's, then the fixed fields.
      {"brightness", DescriptorSeed(8, ByteWriter().U8(0).I16(-20).I16(30).I16(127).U8(1).Data())},
      {"colour-balance", DescriptorSeed(8, ByteWriter().U8(8).Append(Bytes(18, 1)).U8(1).Data())},
      {"photo-filter",
       DescriptorSeed(8,
                      ByteWriter().U8(9).I16(2).I16(7).Append(Bytes(8, 9)).I32(25).U8(1).Data())},
      // Blocks the maker wrote, as the tests hold them.
      {"real-lfx2", DescriptorSeed(1, FromHex(kDropShadowEffects))},
      {"real-lrfx", DescriptorSeed(4, FromHex(kLegacyEffects))},
      {"real-plld", DescriptorSeed(7, FromHex(kPlacedLayer))},
      {"real-soco", DescriptorSeed(0, FromHex(kSolidColourFill))},
      {"selective-colour",
       DescriptorSeed(8, ByteWriter().U8(11).I16(1).I16(0).Append(Bytes(80, 2)).Data())}};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root(argv[1]);
  const std::vector<std::pair<std::string, std::vector<std::pair<std::string, Bytes>>>> targets = {
      {"open", OpenSeeds()},
      {"decode-plane", DecodePlaneSeeds()},
      {"descriptor", DescriptorSeeds()}};
  for (const auto& [target, seeds] : targets) {
    std::filesystem::create_directories(root / target);
    for (const auto& [name, bytes] : seeds) Write(root / target / ("seed-" + name), bytes);
  }
  return 0;
}
