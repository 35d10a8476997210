#include <gtest/gtest.h>

#include "psd/FileHeader.h"
#include "psd/PsdError.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::TestDocument;

struct FixedSections {
  DocumentState state;
  test::FakeMessageSink messages;

  void Read(const Bytes& file) {
    ReadFileHeader(file, state);
    ReadColorModeSection(file, state, messages);
    ReadImageResourceSection(file, state);
  }
};

TEST(FileHeader, FieldsAreStoredAsReadAndFilePosIs27) {
  TestDocument document;
  document.Version = 2;
  document.Channels = -2;
  document.Rows = 600;
  document.Columns = 800;
  document.Depth = 16;
  document.ColorMode = 9;
  DocumentState state;
  ReadFileHeader(test::BuildPsd(document), state);
  EXPECT_EQ(state.Header.Signature, "8BPS");
  EXPECT_EQ(state.Header.Version, 2);
  EXPECT_EQ(state.Header.Channels, -2);
  EXPECT_EQ(state.Header.Rows, 600);
  EXPECT_EQ(state.Header.Columns, 800);
  EXPECT_EQ(state.Header.Depth, 16);
  EXPECT_EQ(state.Header.ColorMode, 9);
  EXPECT_EQ(state.FilePos, 27);
}

TEST(FileHeader, AnySignatureBytesAreKeptAsTheyCome) {
  TestDocument document;
  document.Signature = std::string(
      "A\0\xff"
      "z",
      4);
  DocumentState state;
  ReadFileHeader(test::BuildPsd(document), state);
  EXPECT_EQ(state.Header.Signature, std::string("A\0\xff"
                                                "z",
                                                4));
}

TEST(FileHeader, RowsOfMinusOneFitButRowsOf32768DoNot) {
  TestDocument document;
  document.Rows = -1;
  DocumentState state;
  ReadFileHeader(test::BuildPsd(document), state);
  EXPECT_EQ(state.Header.Rows, -1);

  document.Rows = 32768;
  try {
    ReadFileHeader(test::BuildPsd(document), state);
    FAIL() << "rows beyond 16 bits must be refused";
  } catch (const PsdError& error) {
    EXPECT_EQ(error.Offset(), 14);
    EXPECT_NE(std::string(error.what()).find("rows"), std::string::npos);
  }
  document.Rows = 1;
  document.Columns = 70000;
  EXPECT_THROW(ReadFileHeader(test::BuildPsd(document), state), PsdError);
}

TEST(FileHeader, ATruncatedHeaderIsAnError) {
  Bytes file = test::BuildHeader(TestDocument{});
  file.resize(20);
  DocumentState state;
  EXPECT_THROW(ReadFileHeader(file, state), PsdError);
}

TEST(FixedSections, EmptyColourModeDataAndResourcesEndAt35) {
  FixedSections sections;
  sections.Read(test::BuildPsd(TestDocument{}));
  EXPECT_EQ(sections.state.ColorModeDataLength, 0);
  EXPECT_EQ(sections.state.ImageResourcesLength, 0);
  EXPECT_EQ(sections.state.FilePos, 35);
  EXPECT_TRUE(sections.messages.messages.empty());
}

TEST(FixedSections, ImageResourcesAreSkippedByTheirLength) {
  TestDocument document;
  document.ImageResources = Bytes(12, 0xAB);
  FixedSections sections;
  sections.Read(test::BuildPsd(document));
  EXPECT_EQ(sections.state.ImageResourcesLength, 12);
  EXPECT_EQ(sections.state.FilePos, 47);
}

TEST(FixedSections, ANegativeImageResourcesLengthMovesNothing) {
  ByteWriter file;
  file.Append(test::BuildHeader(TestDocument{})).I32(0).I32(-5).I32(0);
  FixedSections sections;
  sections.Read(file.Data());
  EXPECT_EQ(sections.state.ImageResourcesLength, -5);
  EXPECT_EQ(sections.state.FilePos, 35);
}

TEST(FixedSections, ColourModeDataShowsErrorOnceAndIsSkippedByItsLength) {
  TestDocument document;
  document.ColorMode = 2;
  document.ColorModeData = Bytes(768, 0x7F);  // an indexed colour table
  document.ImageResources = Bytes(4, 0);
  FixedSections sections;
  sections.Read(test::BuildPsd(document));
  EXPECT_EQ(sections.messages.messages, std::vector<std::string>{"ERROR"});
  EXPECT_EQ(sections.state.ColorModeDataLength, 768);
  // The real image-resources length behind the table, not the table's first bytes.
  EXPECT_EQ(sections.state.ImageResourcesLength, 4);
  EXPECT_EQ(sections.state.FilePos, 31 + 768 + 4 + 4);
}

TEST(FixedSections, SkippingBeyondTheEndIsNoErrorButTheNextReadIs) {
  ByteWriter file;
  file.Append(test::BuildHeader(TestDocument{})).I32(0).I32(1000);
  FixedSections sections;
  sections.Read(file.Data());
  EXPECT_EQ(sections.state.FilePos, 35 + 1000);
}

TEST(FixedSections, AResourcesLengthPastTheLargestPositionIsAnError) {
  ByteWriter file;
  file.Append(test::BuildHeader(TestDocument{})).I32(0).I32(0x7FFFFFF0);
  FixedSections sections;
  EXPECT_THROW(sections.Read(file.Data()), PsdError);
}

}  // namespace
}  // namespace plymark
