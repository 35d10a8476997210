#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "psd/BinaryAdjustments.h"
#include "psd/BlockCursor.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/LayerSettings.h"
#include "psd/PsdError.h"
#include "psd/TextEngineData.h"
#include "tests/support/DescriptorWriter.h"
#include "tests/support/Fakes.h"
#include "tests/support/RealBlocks.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;

std::string Utf16Name(const std::u16string& name) {
  std::string bytes = "\xfe\xff";
  for (const char16_t unit : name) {
    for (const char byte : {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)}) {
      if (byte == '(' || byte == ')' || byte == '\\') bytes += '\\';
      bytes += byte;
    }
  }
  return bytes;
}

// Engine data of two runs over "Hello\rWorld" and the engine's own extra
// carriage return: the first sets its font and colour, the second takes the
// normal style sheet's.
std::string EngineData() {
  return "\n\n<<\n\t/EngineDict\n\t<<\n\t\t/StyleRun\n\t\t<<\n\t\t\t/RunArray [\n"
         "\t\t\t<< /StyleSheet << /StyleSheetData << /Font 1 /FillColor << /Type 1 /Values [ "
         "1.0 1.0 0.0 .5 ] >> >> >> >>\n"
         "\t\t\t<< /StyleSheet << /StyleSheetData << >> >> >>\n\t\t\t]\n"
         "\t\t\t/RunLengthArray [ 6 6 ]\n\t\t>>\n\t>>\n"
         "\t/ResourceDict << /FontSet [ << /Name (" +
         Utf16Name(u"Arial") + ") >> << /Name (" + Utf16Name(u"My(Font)") +
         ") >> ]\n"
         "\t\t/StyleSheetSet [ << /StyleSheetData << /Font 0 /FontSize 12.0 >> >> ]\n"
         "\t\t/TheNormalStyleSheet 0 >>\n>>";
}

Bytes TypeToolBlock(const std::string& engine) {
  ByteWriter out;
  out.I16(1).Append(Bytes(48, 0)).I16(50);
  out.Append(test::Versioned(
      "TxLr", {{"Txt ", test::TextValue(u"Hello\rWorld")},
               {"EngineData", test::RawValue(Bytes(engine.begin(), engine.end()))}}));
  return out.Data();
}

// One entry of a linked-files block: its length, then the entry, padded to 4.
Bytes LinkedFileEntry(const std::string& type, const std::string& id, const Bytes& data,
                      const Bytes& descriptor = {}) {
  ByteWriter entry;
  entry.Text(type).I32(7).U8(static_cast<std::uint8_t>(id.size())).Text(id);
  entry.Append(test::UnicodeString(u"jpeg444.jpg")).Text("JPEG").I32(0);
  entry.I64(static_cast<std::int64_t>(data.size())).U8(0).Append(descriptor).Append(data);
  ByteWriter out;
  out.I64(static_cast<std::int64_t>(entry.Size())).Append(entry.Data());
  while (out.Size() % 4 != 0) out.U8(0);
  return out.Data();
}

struct Document {
  Bytes File;
  DocumentState State;

  explicit Document(Bytes file) : File(std::move(file)) {
    test::FakeMessageSink messages;
    ReadFrontSections(File, State, messages);
    ReadLayerRecords(File, State, messages);
    State.File = FileView(File);
  }
};

Bytes SettingsDocument() {
  using test::TaggedBlock;
  test::TestDocument document;
  const Bytes first =
      ByteWriter()
          .Append(TaggedBlock("8BIM", "lyid", ByteWriter().I32(7).Data()))
          .Append(TaggedBlock("8BIM", "TySh", TypeToolBlock(EngineData())))
          .Append(TaggedBlock("8BIM", "lfx2", test::FromHex(test::kDropShadowEffects)))
          .Append(TaggedBlock("8BIM", "PlLd", test::FromHex(test::kPlacedLayer)))
          .Append(TaggedBlock(
              "8BIM", "artb",
              test::Versioned("artboard",
                              {{"artboardRect", test::ObjectValue("classFloatRect", {})}})))
          .Data();
  // A damaged id costs only itself.
  const Bytes second =
      ByteWriter()
          .Append(TaggedBlock("8BIM", "lyid", ByteWriter().I16(7).Data()))
          .Append(TaggedBlock("8BIM", "lrFX", test::FromHex(test::kLegacyEffects)))
          .Append(TaggedBlock("8BIM", "SoCo", test::FromHex(test::kSolidColourFill)))
          .Data();
  document.Layers = {test::TestLayer{0, 0, 0, 0, {}, "norm", test::LayerExtra("text", {}, first)},
                     test::TestLayer{0, 0, 0, 0, {}, "norm", test::LayerExtra("old", {}, second)}};
  const Bytes link =
      test::Versioned("ExternalFileLink", {{"fullPath", test::TextValue(u"/a.png")}});
  document.GlobalBlocks = TaggedBlock(
      "8BIM", "lnk2",
      ByteWriter()
          .Append(LinkedFileEntry("liFD", "74c7235b-f22c-1176-a533-fc87f56c4ea0", {'J', 'P', 'G'}))
          .Append(LinkedFileEntry("liFE", "external", {}, link))
          .Append(LinkedFileEntry("liXX", "damaged", {}))
          .Data());
  return test::BuildPsd(document);
}

TEST(LayerSettings, EachBlockIsReadAndADamagedOneCostsOnlyItself) {
  Document document(SettingsDocument());
  const DocumentSettings settings = ReadDocumentSettings(document.State);
  ASSERT_EQ(settings.Layers.size(), 2u);
  const LayerSettings& first = settings.Layers[0];
  EXPECT_EQ(first.Id, 7);
  EXPECT_TRUE(first.Problems.empty());
  ASSERT_TRUE(first.Text);
  EXPECT_EQ(first.Text->Text, "Hello\rWorld");
  ASSERT_EQ(first.Text->Runs.size(), 2u);
  EXPECT_EQ(first.Text->Runs[0].Font, "My(Font)");
  EXPECT_EQ(first.Text->Runs[0].Size, 12);
  EXPECT_EQ(first.Text->Runs[0].Colour, (std::array<double, 4>{1, 1, 0, 0.5}));
  EXPECT_EQ(first.Text->Runs[1].Start, 6u);
  EXPECT_EQ(first.Text->Runs[1].Length, 5u);  // the engine's extra carriage return left out
  EXPECT_EQ(first.Text->Runs[1].Font, "Arial");
  EXPECT_FALSE(first.Text->Runs[1].Colour);
  // The drop shadow as Photoshop shows it: multiply, 50 %, 120 degrees, 5 px.
  ASSERT_TRUE(first.Effects);
  EXPECT_EQ(first.Effects->Key, "lfx2");
  const Descriptor& effects = *first.Effects->Settings;
  EXPECT_EQ(effects.Boolean("masterFXSwitch"), true);
  const Descriptor* shadow = effects.Object("DrSh");
  ASSERT_NE(shadow, nullptr);
  EXPECT_EQ(shadow->Boolean("enab"), true);
  EXPECT_EQ(shadow->Get<Enumerated>("Md  ")->Value, "Mltp");
  EXPECT_EQ(shadow->Get<UnitFloat>("Opct")->Unit, "#Prc");
  EXPECT_EQ(shadow->Number("Opct"), 50);
  EXPECT_EQ(shadow->Number("lagl"), 120);
  EXPECT_EQ(shadow->Number("Dstn"), 5);
  EXPECT_EQ(shadow->Object("Clr ")->Number("Blck"), 100);
  // The placed layer names the embedded file of the linked-files block.
  EXPECT_EQ(first.SmartObjectId, "74c7235b-f22c-1176-a533-fc87f56c4ea0");
  EXPECT_EQ(first.Artboard->Object("artboardRect")->ClassId, "classFloatRect");
  const LinkedFile* linked = FindLinkedFile(settings.Linked, *first.SmartObjectId);
  ASSERT_NE(linked, nullptr);
  EXPECT_EQ(linked->FileName, "jpeg444.jpg");
  EXPECT_EQ(document.State.File.Bytes(linked->DataOffset, 3, "data")[2], 'G');
  ASSERT_EQ(settings.Linked.Files.size(), 2u);
  EXPECT_EQ(*settings.Linked.Files[1].Link->String("fullPath"), "/a.png");
  ASSERT_EQ(settings.Linked.Problems.size(), 1u);

  const LayerSettings& second = settings.Layers[1];
  EXPECT_FALSE(second.Id);
  ASSERT_EQ(second.Problems.size(), 1u);
  EXPECT_EQ(second.Problems[0].substr(0, 6), "lyid: ");
  ASSERT_TRUE(second.OldEffects);
  ASSERT_EQ(second.OldEffects->Effects.size(), 7u);
  const LegacyEffect& dropShadow = second.OldEffects->Effects[1];
  EXPECT_EQ(dropShadow.Key, "dsdw");
  EXPECT_EQ(dropShadow.Blur, 5);
  EXPECT_EQ(dropShadow.Angle, 120);
  EXPECT_EQ(dropShadow.BlendMode, "mul ");
  EXPECT_EQ(dropShadow.Opacity, 191);
  EXPECT_EQ(second.OldEffects->Effects[4].Invert, true);  // the inner glow's
  ASSERT_TRUE(second.Fill);
  EXPECT_EQ(second.Fill->Key, "SoCo");
  EXPECT_EQ(second.Fill->Settings->Object("Clr ")->ClassId, "Grsc");
  EXPECT_NEAR(*second.Fill->Settings->Object("Clr ")->Number("Gry "), 44.72, 0.01);
}

// One budget serves a whole document: blocks read once it is spent are
// refused, each with its problem.
TEST(LayerSettings, BlocksPastTheDocumentsBudgetAreRefused) {
  Document document(SettingsDocument());
  SettingsBudget budget(20);  // values
  const LayerSettings first = ReadLayerSettings(document.State, 0, budget);
  EXPECT_EQ(first.Id, 7);
  EXPECT_TRUE(first.Text);
  EXPECT_FALSE(first.Effects);  // some 60 values, and the artboard's two behind them
  ASSERT_EQ(first.Problems.size(), 2u);
  EXPECT_NE(first.Problems[0].find("values a document's settings may"), std::string::npos);
  EXPECT_FALSE(ReadLayerSettings(document.State, 1, budget).OldEffects);
  SettingsBudget bytes(SettingsBudget::kValues, 10);  // the id's 4 bytes, not the text's
  const LayerSettings cut = ReadLayerSettings(document.State, 0, bytes);
  EXPECT_EQ(cut.Id, 7);
  EXPECT_FALSE(cut.Text);
  EXPECT_NE(cut.Problems[0].find("MiB they may have"), std::string::npos);
}

TEST(LayerSettings, DamagedEngineDataCostsTheRunsOnly) {
  const char* const damaged[] = {"<< /A 1",      "<< /A (abc", "<< /A 1x >>", "[ 1 ]",
                                 "<< /A [ 1 >>", "<< A 1 >>",  "<< /A nan >>"};
  for (const char* engine : damaged) {
    SCOPED_TRACE(engine);
    const Bytes block = TypeToolBlock(engine);
    EXPECT_THROW(ReadTextEngineData(Bytes(engine, engine + std::strlen(engine)), 0, "test"),
                 PsdError);
    const LayerText text = ReadLayerText(block, 0, "test");
    EXPECT_EQ(text.Text, "Hello\rWorld");
    EXPECT_TRUE(text.Runs.empty());
    EXPECT_FALSE(text.RunsProblem.empty());
  }
  // A run longer than any text ends where the text ends.
  const LayerText huge = ReadLayerText(
      TypeToolBlock("<< /EngineDict << /StyleRun << /RunLengthArray [ 1e300 ] >> >> >>"), 0,
      "test");
  ASSERT_EQ(huge.Runs.size(), 1u);
  EXPECT_EQ(huge.Runs[0].Length, 11u);
  std::string deep(200, '[');
  EXPECT_THROW(ReadTextEngineData(Bytes(deep.begin(), deep.end()), 0, "test"), PsdError);
}

TEST(BinaryAdjustments, EachKindsFieldsAreReadUnderTheirNames) {
  const auto number = [](const Descriptor& object, const char* key) { return *object.Number(key); };
  const auto element = [](const Descriptor& object, const char* list, std::size_t k) {
    return (*object.Get<std::vector<DescriptorValue>>(list))[k];
  };
  const struct {
    const char* Key;
    Bytes Data;
    std::function<void(const Descriptor&)> Check;
  } cases[] = {
      {"brit", ByteWriter().I16(-20).I16(30).I16(127).U8(1).Data(),
       [&](const Descriptor& d) {
         EXPECT_EQ(number(d, "brightness"), -20);
         EXPECT_EQ(d.Boolean("labOnly"), true);
       }},
      {"post", ByteWriter().I16(16).Data(),
       [&](const Descriptor& d) { EXPECT_EQ(number(d, "levels"), 16); }},
      {"expA", ByteWriter().I16(1).I32(0x3F800000).I32(0).I32(0x40000000).Data(),
       [&](const Descriptor& d) { EXPECT_EQ(number(d, "gamma"), 2); }},
      {"blnc",
       ByteWriter().I16(1).I16(2).I16(3).I16(-4).I16(5).I16(6).I16(7).I16(8).I16(9).U8(0).Data(),
       [&](const Descriptor& d) {
         EXPECT_EQ(*element(d, "midtones", 0).As<std::int32_t>(), -4);
         EXPECT_EQ(d.Boolean("preserveLuminosity"), false);
       }},
      {"phfl", ByteWriter().I16(3).I32(1).I32(2).I32(3).I32(25).U8(1).Data(),
       [&](const Descriptor& d) {
         EXPECT_EQ(number(*d.Object("color"), "z"), 3);
         EXPECT_EQ(number(d, "density"), 25);
       }},
      {"mixr", ByteWriter().I16(1).I16(0).I16(100).I16(0).I16(0).I16(0).I16(-5).Data(),
       [&](const Descriptor& d) {
         EXPECT_EQ(number(*element(d, "channels", 0).As<Descriptor>(), "constant"), -5);
       }},
      {"selc", ByteWriter().I16(1).I16(1).Append(Bytes(8 + 9 * 8, 0)).Data(),
       [&](const Descriptor& d) {
         EXPECT_EQ(number(d, "method"), 1);
         EXPECT_EQ(d.Get<std::vector<DescriptorValue>>("colors")->size(), 9u);
       }},
      {"levl", ByteWriter().I16(2).I16(0).I16(255).I16(0).I16(255).I16(150).Data(),
       [&](const Descriptor& d) {
         EXPECT_EQ(number(*element(d, "records", 0).As<Descriptor>(), "gamma"), 150);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Key);
    BlockCursor cursor(c.Data, 0, "test");
    const auto read = ReadBinaryAdjustment(c.Key, cursor);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->ClassId, c.Key);
    c.Check(*read);
    // Cut short by a byte, the fixed fields no longer fit (levels and the
    // mixer take the records that fit).
    if (std::string_view(c.Key) == "levl" || std::string_view(c.Key) == "mixr") continue;
    BlockCursor shorter(std::span(c.Data).first(c.Data.size() - 1), 0, "test");
    EXPECT_THROW(ReadBinaryAdjustment(c.Key, shorter), PsdError);
  }
  BlockCursor curves(Bytes{0, 1}, 0, "test");
  EXPECT_FALSE(ReadBinaryAdjustment("curv", curves));
}

// pixelprobe's text_style_runs.psd of the development corpus, when
// PLYMARK_MAKER_CORPUS names its folder: "Red Green Blue" in three runs.
TEST(LayerSettings, ARealTextLayer) {
  const char* corpus = std::getenv("PLYMARK_MAKER_CORPUS");
  std::ifstream in(std::string(corpus ? corpus : "") + "/pixelprobe-text_style_runs.psd",
                   std::ios::binary);
  if (!in) GTEST_SKIP() << "PLYMARK_MAKER_CORPUS does not name the development corpus";
  Document document{Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
  SettingsBudget budget;
  const auto text = ReadTextOfLayer(document.State, 1, budget);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->Text, "Red Green Blue");
  const struct {
    std::size_t Start, Length;
    const char* Font;
    double Size;
    std::array<double, 4> Colour;
  } runs[] = {{0, 4, "Roboto-Light", 17, {1, 1, 0, 0}},
              {4, 6, "Roboto-Regular", 21, {1, 0, 1, 0}},
              {10, 4, "Roboto-Thin", 23, {1, 0, 0, 1}}};
  ASSERT_EQ(text->Runs.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(text->Runs[k].Start, runs[k].Start);
    EXPECT_EQ(text->Runs[k].Length, runs[k].Length);
    EXPECT_EQ(text->Runs[k].Font, runs[k].Font);
    EXPECT_EQ(text->Runs[k].Size, runs[k].Size);
    EXPECT_EQ(text->Runs[k].Colour, runs[k].Colour);
  }
}

}  // namespace
}  // namespace plymark
