#include <gtest/gtest.h>

#include "psd/ChannelData.h"
#include "psd/CodePage.h"
#include "psd/FieldReader.h"
#include "psd/FileHeader.h"
#include "psd/LayerExtraData.h"
#include "psd/LayerRecords.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::NamedExtra;
using test::SolidLayer;
using test::TestDocument;

// The names of the layers of a file built from `document`, read through the
// layer records.
std::vector<std::string> NamesOf(const TestDocument& document) {
  const Bytes file = test::BuildPsd(document);
  test::FakeMessageSink messages;
  DocumentState state;
  ReadFileHeader(file, state);
  ReadColorModeSection(file, state, messages);
  ReadImageResourceSection(file, state);
  ReadChannelData(file, state, ReadLayerRecords(file, state, messages));
  std::vector<std::string> names;
  for (const LayerRecord& layer : state.Layers) names.push_back(layer.Name);
  return names;
}

TestDocument WithNames(const std::vector<Bytes>& extras) {
  TestDocument document;
  for (const Bytes& extra : extras) {
    document.Layers.push_back(SolidLayer(0, 0, 1, 1, 1, 2, 3));
    document.Layers.back().Extra = extra;
  }
  return document;
}

TEST(LayerNames, PascalNamesOfEveryPaddingAreReadAndTheLuniBlockBehindThemIsFound) {
  // Lengths 0 to 4 put the luni block behind 0 to 3 bytes of padding.
  std::vector<Bytes> extras;
  for (const std::string pascal : {"", "A", "AB", "ABC", "ABCD"}) {
    extras.push_back(NamedExtra(pascal, u"\u00c9" + std::u16string(pascal.begin(), pascal.end())));
  }
  extras.push_back(NamedExtra("Plain"));
  EXPECT_EQ(NamesOf(WithNames(extras)),
            (std::vector<std::string>{"\u00c9", "\u00c9A", "\u00c9AB", "\u00c9ABC", "\u00c9ABCD",
                                      "Plain"}));
}

TEST(LayerNames, APascalNameIsUtf8WhereItIsValidAndWindows1252Otherwise) {
  const std::vector<std::string> names = NamesOf(WithNames({
      NamedExtra("Caf\xc3\xa9 \xe2\x9c\x93"),  // UTF-8, as ImageMagick writes it
      NamedExtra("Caf\xe9 \x80\x99"),          // Windows-1252
      NamedExtra("\xc0\xaf"),                  // an overlong UTF-8 form is not UTF-8
      NamedExtra("\xed\xa0\x80"),              // nor is an encoded surrogate
  }));
  EXPECT_EQ(names[0], "Caf\u00e9 \u2713");
  EXPECT_EQ(names[1], "Caf\u00e9 \u20ac\u2122");
  EXPECT_EQ(names[2], "\u00c0\u00af");
  EXPECT_EQ(names[3], "\u00ed\u00a0\u20ac");
}

TEST(LayerNames, TheLuniNameWinsAndJoinsSurrogatePairsOutsideTheBasicPlane) {
  // U+1F600 and U+20BB7 lie outside the Basic Multilingual Plane.
  const std::u16string unicode = u"Emoji \U0001F600 \u65e5\u672c \U00020BB7";
  const std::vector<std::string> names =
      NamesOf(WithNames({NamedExtra("Emoji ?? ?? ??", unicode)}));
  EXPECT_EQ(names[0], "Emoji \xf0\x9f\x98\x80 \xe6\x97\xa5\xe6\x9c\xac \xf0\xa0\xae\xb7");
}

TEST(LayerNames, LoneSurrogatesBecomeReplacementCharactersAndTrailingZerosGo) {
  const std::u16string unicode = {u'a', 0xD800, u'b', 0xDC00, 0, 0};
  const std::vector<std::string> names = NamesOf(WithNames({NamedExtra("x", unicode)}));
  EXPECT_EQ(names[0], "a\ufffdb\ufffd");
}

TEST(LayerNames, OtherTaggedBlocksBeforeLuniAreSkippedEvenWithOddLengths) {
  Bytes extra = NamedExtra("Pascal");
  ByteWriter blocks;
  blocks.Text("8BIMlyid").I32(4).I32(7);
  blocks.Text("8BIMlnsr").I32(3).Text("abc").U8(0);  // odd length, padding left out of it
  blocks.Text("8B64luni").I32(8).I32(2).I16(u'O').I16(u'K');
  extra.insert(extra.end(), blocks.Data().begin(), blocks.Data().end());
  EXPECT_EQ(NamesOf(WithNames({extra}))[0], "OK");
}

// The record's extra data ends inside the name block; the bytes behind it
// belong to the next record, which must still be read as before, and must not
// become part of the name.
TEST(LayerNamesDamage, ANameBlockOverrunningTheExtraDataIsRefusedWithoutReadingPastIt) {
  ByteWriter shortName;
  shortName.I32(0).I32(0).U8(20).Text("Abc");  // announces 20 bytes, holds 3
  ByteWriter shortLuni;
  shortLuni.Append(NamedExtra("Pascal")).Text("8BIMluni").I32(8).I32(50).I16(u'X').I16(u'Y');
  ByteWriter longBlock;
  longBlock.Append(NamedExtra("Kept")).Text("8BIMluni").I32(1000).I32(1).I16(u'X');
  ByteWriter maskTooLong;
  maskTooLong.I32(100).I32(0).U8(1).Text("M");
  ByteWriter rangesTooLong;
  rangesTooLong.I32(0).I32(-8).U8(1).Text("R");

  const std::vector<std::string> names =
      NamesOf(WithNames({shortName.Data(), NamedExtra("Next"), shortLuni.Data(), longBlock.Data(),
                         maskTooLong.Data(), rangesTooLong.Data()}));
  ASSERT_EQ(names.size(), 6u);
  EXPECT_EQ(names[0], "");
  EXPECT_EQ(names[1], "Next");
  EXPECT_EQ(names[2], "Pascal");  // the luni count overruns its block
  EXPECT_EQ(names[3], "Kept");    // the luni block overruns the extra data
  EXPECT_EQ(names[4], "");
  EXPECT_EQ(names[5], "");
}

TEST(LayerNamesDamage, OnlyTheExtraDataIsEverSeen) {
  // A name whose bytes lie just behind the extra data's end is not read, even
  // though the file holds them.
  const Bytes whole = NamedExtra("Abcdefg");
  const std::span<const std::uint8_t> file(whole);
  EXPECT_EQ(ReadLayerExtraData(file).Name, "Abcdefg");
  EXPECT_EQ(ReadLayerExtraData(file.first(file.size() - 1)).Name,
            "");                                                  // the last padding byte missing
  EXPECT_EQ(ReadLayerExtraData(file.first(8 + 1 + 6)).Name, "");  // one name byte missing

  // Extra data is looked into as far as the file goes, never past its end.
  const FileView view(file);
  EXPECT_EQ(view.BytesUpTo(0, 4).size(), 4u);
  EXPECT_EQ(view.BytesUpTo(8, 1000).size(), whole.size() - 8);
  EXPECT_TRUE(view.BytesUpTo(static_cast<std::int64_t>(whole.size()), 4).empty());
}

TEST(CodePage, Utf8ValidityFollowsTheStandard) {
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("\xf4\x8f\xbf\xbf"));   // U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xf4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xe2\x9c"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\x80"));              // a continuation byte alone
  EXPECT_FALSE(IsValidUtf8("\xe0\x80\xaf"));      // overlong
}

}  // namespace
}  // namespace plymark
