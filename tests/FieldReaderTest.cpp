#include <gtest/gtest.h>

#include <limits>

#include "psd/FieldReader.h"
#include "psd/PsdError.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;

ByteList ListOf(std::initializer_list<std::uint8_t> bytes) {
  ByteList list;
  for (const std::uint8_t b : bytes) list.Bytes[static_cast<std::size_t>(list.Count++)] = b;
  return list;
}

TEST(BytesToValue, WorkedExamplesReadBigEndianWithSign) {
  EXPECT_EQ(BytesToValue(ListOf({0x09})), 9);
  EXPECT_EQ(BytesToValue(ListOf({0x0C})), 12);
  EXPECT_EQ(BytesToValue(ListOf({0xC8})), 200);
  EXPECT_EQ(BytesToValue(ListOf({0xFF})), 255);
  EXPECT_EQ(BytesToValue(ListOf({0x00, 0x1A})), 26);
  EXPECT_EQ(BytesToValue(ListOf({0x7F, 0xFF})), 32767);
  EXPECT_EQ(BytesToValue(ListOf({0x80, 0x00})), -32768);
  EXPECT_EQ(BytesToValue(ListOf({0xFF, 0xFE})), -2);
  EXPECT_EQ(BytesToValue(ListOf({0x80, 0x01})), -32767);
  EXPECT_EQ(BytesToValue(ListOf({0x00, 0x80})), 128);
  EXPECT_EQ(BytesToValue(ListOf({0x00, 0x00, 0x01, 0x00})), 256);
  EXPECT_EQ(BytesToValue(ListOf({0xFF, 0xFF, 0xFF, 0xFF})), -1);
  EXPECT_EQ(BytesToValue(ListOf({0x80, 0x00, 0x00, 0x00})),
            std::numeric_limits<std::int32_t>::min());
}

TEST(BytesToValue, ThreeBytesOrNoneGiveZero) {
  EXPECT_EQ(BytesToValue(ListOf({0x01, 0x02, 0x03})), 0);
  EXPECT_EQ(BytesToValue(ListOf({})), 0);
}

TEST(FieldReader, ReadsAtOneBasedPositionsAndReportsTheNext) {
  const Bytes file = {0x38, 0x42, 0x50, 0x53, 0x00, 0x01};
  ByteList bytes;
  std::int64_t next = 0;
  ReadOneByte(file, 1, bytes, next, "signature");
  EXPECT_EQ(bytes.Count, 1);
  EXPECT_EQ(BytesToValue(bytes), 56);
  EXPECT_EQ(next, 2);

  ReadTwoBytes(file, 5, bytes, next, "version");
  EXPECT_EQ(BytesToValue(bytes), 1);
  EXPECT_EQ(next, 7);

  ReadFourBytes(file, 1, bytes, next, "signature");
  EXPECT_EQ(bytes.Count, 4);
  EXPECT_EQ(next, 5);
}

TEST(FieldReader, FourBytesAtTwentySevenReportThirtyOne) {
  const Bytes file(40, 0);
  ByteList bytes;
  std::int64_t next = 0;
  ReadFourBytes(file, 27, bytes, next, "length");
  EXPECT_EQ(next, 31);
}

TEST(FieldReader, ReadingPastTheEndIsAnErrorNamingTheField) {
  const Bytes file(28, 0);
  std::int64_t position = 27;
  try {
    ReadInt32(file, position, "colour-mode data length");
    FAIL() << "a read past the end must fail";
  } catch (const PsdError& error) {
    EXPECT_EQ(error.Offset(), 26);
    EXPECT_STREQ(error.what(),
                 "the file ends at byte 28 while reading the colour-mode data length");
  }
}

TEST(FieldReader, ReadingBeforePositionOneIsAnError) {
  const Bytes file(8, 0);
  std::int64_t position = 0;
  EXPECT_THROW(ReadInt16(file, position, "layer count"), PsdError);
  position = -100;
  EXPECT_THROW(ReadUInt8(file, position, "layer count"), PsdError);
}

TEST(FieldReader, PositionsPastTheSigned32BitRangeAreErrors) {
  const Bytes file(8, 0);
  std::int64_t position = std::numeric_limits<std::int32_t>::max() - 1;
  EXPECT_THROW(ReadInt32(file, position, "length"), PsdError);
  EXPECT_THROW(AdvancePosition(std::numeric_limits<std::int32_t>::max(), 1, "length"), PsdError);
  EXPECT_EQ(AdvancePosition(100, -40, "length"), 60);
}

}  // namespace
}  // namespace plymark
