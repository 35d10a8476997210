#include <gtest/gtest.h>

#include <functional>

#include "psd/BlockCursor.h"
#include "psd/Descriptor.h"
#include "psd/DescriptorColour.h"
#include "psd/PsdError.h"
#include "tests/support/DescriptorWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;

// The bits of the double 3.0.
constexpr std::int64_t kThree = 0x4008000000000000;

Descriptor Read(const Bytes& bytes) {
  BlockCursor cursor(bytes, 1000, "the test block");
  return ReadVersionedDescriptor(cursor);
}

// One item of every type the format lists, with the check of what is read.
struct ItemCase {
  std::string Key;
  Bytes Value;
  std::function<void(const DescriptorValue&)> Check;
};

std::vector<ItemCase> EveryItemType() {
  using namespace test;
  const Bytes object = Object("RGBC", {{"Rd  ", DoubleValue(255)}});
  return {
      {"Objc", ObjectValue("RGBC", {{"Rd  ", DoubleValue(255)}}),
       [](const DescriptorValue& v) { EXPECT_EQ(v.As<Descriptor>()->Number("Rd  "), 255); }},
      {"GlbO", ByteWriter().Text("GlbO").Append(object).Data(),
       [](const DescriptorValue& v) { EXPECT_EQ(v.As<Descriptor>()->ClassId, "RGBC"); }},
      {"VlLs", ListValue({LongValue(1), LongValue(2)}),
       [](const DescriptorValue& v) {
         ASSERT_EQ(v.As<std::vector<DescriptorValue>>()->size(), 2u);
         EXPECT_EQ(*(*v.As<std::vector<DescriptorValue>>())[1].As<std::int32_t>(), 2);
       }},
      {"doub", DoubleValue(0.5), [](const DescriptorValue& v) { EXPECT_EQ(*v.As<double>(), 0.5); }},
      {"UntF", UnitValue("#Ang", 120),
       [](const DescriptorValue& v) {
         EXPECT_EQ(v.As<UnitFloat>()->Unit, "#Ang");
         EXPECT_EQ(v.As<UnitFloat>()->Value, 120);
       }},
      {"UnFl", ByteWriter().Text("UnFl").Text("#Pxl").I32(2).I64(kThree).I64(0).Data(),
       [](const DescriptorValue& v) {
         EXPECT_EQ(v.As<UnitFloats>()->Values, (std::vector<double>{3, 0}));
       }},
      {"long", LongValue(-7),
       [](const DescriptorValue& v) { EXPECT_EQ(*v.As<std::int32_t>(), -7); }},
      {"comp", ByteWriter().Text("comp").I64(std::int64_t{1} << 40).Data(),
       [](const DescriptorValue& v) { EXPECT_EQ(*v.As<std::int64_t>(), std::int64_t{1} << 40); }},
      {"bool", BoolValue(true), [](const DescriptorValue& v) { EXPECT_TRUE(*v.As<bool>()); }},
      {"TEXT", TextValue(u"Hi \u00e9\U0001F600"),
       [](const DescriptorValue& v) { EXPECT_EQ(*v.As<std::string>(), "Hi \u00e9\U0001F600"); }},
      {"type", ByteWriter().Text("type").Append(UnicodeString(u"")).Append(Id("Lyr ")).Data(),
       [](const DescriptorValue& v) { EXPECT_EQ(v.As<ClassReference>()->ClassId, "Lyr "); }},
      {"GlbC", ByteWriter().Text("GlbC").Append(UnicodeString(u"")).Append(Id("layerFX")).Data(),
       [](const DescriptorValue& v) { EXPECT_EQ(v.As<ClassReference>()->ClassId, "layerFX"); }},
      {"enum", EnumValue("BlnM", "Mltp"),
       [](const DescriptorValue& v) {
         EXPECT_EQ(v.As<Enumerated>()->Type, "BlnM");
         EXPECT_EQ(v.As<Enumerated>()->Value, "Mltp");
       }},
      {"obj ",
       ByteWriter()
           .Text("obj ")
           .I32(2)
           .Text("Enmr")
           .Append(UnicodeString(u""))
           .Append(Id("Lyr "))
           .Append(Id("Ordn"))
           .Append(Id("Trgt"))
           .Text("indx")
           .Append(UnicodeString(u""))
           .Append(Id("Dcmn"))
           .I32(3)
           .Data(),
       [](const DescriptorValue& v) {
         const auto& items = v.As<Reference>()->Items;
         ASSERT_EQ(items.size(), 2u);
         EXPECT_EQ(items[0].Value, "Trgt");
         EXPECT_EQ(items[1].Number, 3);
       }},
      {"alis", ByteWriter().Text("alis").I32(2).U8(7).U8(8).Data(),
       [](const DescriptorValue& v) {
         EXPECT_EQ(v.As<Alias>()->Bytes, (Bytes{7, 8}));
       }},
      {"tdta", RawValue({1, 2, 3}),
       [](const DescriptorValue& v) {
         EXPECT_EQ(v.As<RawData>()->Bytes, (Bytes{1, 2, 3}));
       }},
      {"ObAr",
       ByteWriter()
           .Text("ObAr")
           .I32(2)
           .Append(UnicodeString(u""))
           .Append(Id("Pnt "))
           .I32(1)
           .Append(Id("Hrzn"))
           .Text("UnFl")
           .Text("#Pxl")
           .I32(2)
           .I64(kThree)
           .I64(0)
           .Data(),
       [](const DescriptorValue& v) {
         EXPECT_EQ(v.As<ObjectArray>()->Count, 2u);
         EXPECT_EQ(v.As<ObjectArray>()->Items[0].Value.As<UnitFloats>()->Unit, "#Pxl");
       }},
      // Behind its length: 'utxt' little-endian, the length and the count
      // little-endian, the UTF-16 little-endian units.
      {"Pth ",
       ByteWriter()
           .Text("Pth ")
           .I32(16)
           .Text("txtu")
           .Append({16, 0, 0, 0, 2, 0, 0, 0})
           .Append({'a', 0, '/', 0})
           .Data(),
       [](const DescriptorValue& v) { EXPECT_EQ(v.As<FilePath>()->Path, "a/"); }},
  };
}

Bytes EveryItemDescriptor() {
  test::Items items;
  for (const ItemCase& item : EveryItemType()) items.emplace_back("key " + item.Key, item.Value);
  // A key of four characters is stored with length 0.
  items.emplace_back("Md  ", test::EnumValue("BlnM", "Nrml"));
  return test::Versioned("null", items);
}

TEST(Descriptor, ReadsEveryItemTypeUnderItsKey) {
  const Descriptor read = Read(EveryItemDescriptor());
  EXPECT_EQ(read.ClassId, "null");
  for (const ItemCase& item : EveryItemType()) {
    SCOPED_TRACE(item.Key);
    const DescriptorValue* value = read.Find("key " + item.Key);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->Type, item.Key);
    item.Check(*value);
  }
  EXPECT_EQ(read.Get<Enumerated>("Md  ")->Value, "Nrml");
}

TEST(Descriptor, EveryCutShortDescriptorIsADamagedBlock) {
  const Bytes whole = EveryItemDescriptor();
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_THROW(Read(cut), PsdError) << size;
  }
}

TEST(Descriptor, RefusesWhatTheFormatDoesNotAllow) {
  using namespace test;
  Bytes deep = ObjectValue("null", {});
  for (int level = 0; level < 64; ++level) deep = ObjectValue("null", {{"in  ", deep}});
  const struct {
    const char* What;
    Bytes Block;
    const char* Message;
  } cases[] = {
      {"unknown type", Versioned("null", {{"Xx  ", Bytes{'x', 'x', 'x', 'x'}}}),
       "type the format does not list"},
      {"control bytes in a type", Versioned("null", {{"Xx  ", Bytes{0, 'x', 0x1F, 'x'}}}),
       "'\\x00x\\x1Fx'"},
      {"version", ByteWriter().I32(15).Append(Object("null", {})).Data(), "is 15, not 16"},
      {"nesting", Versioned("null", {{"in  ", deep}}), "deeper than 64"},
      {"item count",
       ByteWriter().I32(16).Append(UnicodeString(u"")).Append(Id("null")).I32(0x7FFFFFFF).Data(),
       "more than the 0 left"},
      {"string length", ByteWriter().I32(16).I32(0x7FFFFFFF).Data(), "needs 4294967294 bytes"},
      {"key length", ByteWriter().I32(16).Append(UnicodeString(u"")).I32(-1).Data(),
       "needs 4294967295 bytes"},
      {"unit floats",
       Versioned("null", {{"Pts ", ByteWriter().Text("UnFl").Text("#Pxl").I32(0x7FFFFFFF).Data()}}),
       "needs"},
      {"reference form",
       Versioned("null", {{"obj ", ByteWriter()
                                       .Text("obj ")
                                       .I32(1)
                                       .Text("what")
                                       .Append(UnicodeString(u""))
                                       .Append(Id("Lyr "))
                                       .Data()}}),
       "form the format"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    try {
      Read(c.Block);
      ADD_FAILURE() << "read";
    } catch (const PsdError& error) {
      EXPECT_NE(std::string(error.what()).find(c.Message), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find("the test block"), std::string::npos);
    }
  }
}

TEST(DescriptorColour, ReadsEachModel) {
  using namespace test;
  const struct {
    Bytes Object;
    const char* Model;
    std::vector<double> Components;
  } cases[] = {
      {Object("RGBC",
              {{"Rd  ", DoubleValue(255)}, {"Grn ", DoubleValue(1)}, {"Bl  ", DoubleValue(2)}}),
       "RGBC",
       {255, 1, 2}},
      {Object("RGBC", {{"redFloat", DoubleValue(1)},
                       {"greenFloat", DoubleValue(0)},
                       {"blueFloat", DoubleValue(0.5)}}),
       "RGBC",
       {255, 0, 127.5}},
      {Object("HSBC", {{"H   ", UnitValue("#Ang", 110)},
                       {"Strt", DoubleValue(100)},
                       {"Brgh", DoubleValue(85)}}),
       "HSBC",
       {110, 100, 85}},
      {Object("CMYC", {{"Cyn ", DoubleValue(0)},
                       {"Mgnt", DoubleValue(0)},
                       {"Ylw ", DoubleValue(100)},
                       {"Blck", DoubleValue(0)}}),
       "CMYC",
       {0, 0, 100, 0}},
      {Object("Grsc", {{"Gry ", DoubleValue(44)}}), "Grsc", {44}},
      {Object("RGBC", {{"Rd  ", DoubleValue(255)}}), "", {}},  // a component missing
  };
  for (const auto& c : cases) {
    BlockCursor cursor(c.Object, 0, "colour");
    const auto colour = ReadColour(ReadDescriptor(cursor));
    EXPECT_EQ(colour ? colour->Model : "", c.Model);
    if (colour) {
      EXPECT_EQ(colour->Components, c.Components);
    }
  }
}

}  // namespace
}  // namespace plymark
