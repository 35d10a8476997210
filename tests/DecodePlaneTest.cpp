#include <gtest/gtest.h>

#include "psd/PsdError.h"
#include "render/DecodePlane.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;

// Decodes `data` into the red component of a fresh width x height buffer and
// gives the reds back.
std::vector<int> DecodeReds(std::int16_t compression, const Bytes& data, std::int32_t width,
                            std::int32_t height) {
  std::vector<PixelRecord> pixels(static_cast<std::size_t>(width * height));
  const ChannelBlock block{compression, data, 100};
  DecodePlane(block, width, height, pixels, Component::Red, {0, 0});
  std::vector<int> reds;
  for (const PixelRecord& pixel : pixels) {
    reds.push_back(pixel.Red);
    EXPECT_EQ(pixel.Green, 0);
    EXPECT_EQ(pixel.Blue, 0);
  }
  return reds;
}

TEST(DecodeRaw, BytesBecomeComponentsInRowOrder) {
  EXPECT_EQ(DecodeReds(0, {0x0A, 0x14, 0xFF}, 3, 1), (std::vector<int>{10, 20, 255}));
  EXPECT_EQ(DecodeReds(0, {1, 2, 3, 4, 5, 6, 99}, 3, 2), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

TEST(DecodeRaw, TooFewBytesForThePixelsIsAnError) {
  EXPECT_THROW(DecodeReds(0, {1, 2, 3, 4, 5}, 3, 2), PsdError);
}

TEST(DecodeRunLength, ARepeatPacketFillsItsCount) {
  EXPECT_EQ(DecodeReds(1, {0x00, 0x02, 0xFD, 0x07}, 4, 1), (std::vector<int>{7, 7, 7, 7}));
}

TEST(DecodeRunLength, NoOperationLiteralAndRepeatPacketsMix) {
  EXPECT_EQ(DecodeReds(1, {0x00, 0x07, 0x80, 0x02, 0x01, 0x02, 0x03, 0xFF, 0x09}, 5, 1),
            (std::vector<int>{1, 2, 3, 9, 9}));
}

TEST(DecodeRunLength, ARowRunsPastItsLengthToTheEndOfItsPacket) {
  // Row 0's length is 1, but its literal packet takes three bytes; row 1
  // starts right behind it.
  EXPECT_EQ(DecodeReds(1, {0x00, 0x01, 0x00, 0x02, 0x01, 0x05, 0x06, 0x01, 0x07, 0x08}, 2, 2),
            (std::vector<int>{5, 6, 7, 8}));
}

TEST(DecodeRunLength, ARowLengthTooLargeTakesTheNextRowsPackets) {
  EXPECT_EQ(DecodeReds(1, {0x00, 0x04, 0x00, 0x00, 0x01, 0x05, 0x06, 0x01, 0x07, 0x08}, 2, 2),
            (std::vector<int>{5, 6, 7, 8}));
}

TEST(DecodeRunLength, ThePixelCursorRunsOnAcrossShortRows) {
  // Row 0 decodes one pixel instead of three; row 1's pixels follow it
  // directly and the last pixels keep 0.
  EXPECT_EQ(DecodeReds(1, {0x00, 0x02, 0x00, 0x02, 0x00, 0x04, 0x01, 0x05, 0x06}, 3, 2),
            (std::vector<int>{4, 5, 6, 0, 0, 0}));
}

TEST(DecodeRunLength, RowLengthsComeFromTheLayersOwnHeight) {
  // Three rows: the row lengths take offsets 0 to 5 and the first packet
  // starts at offset 6.
  EXPECT_EQ(DecodeReds(1, {0, 2, 0, 2, 0, 2, 0x00, 1, 0x00, 2, 0x00, 3}, 1, 3),
            (std::vector<int>{1, 2, 3}));
}

TEST(DecodeRunLength, ARowLengthOf32767IsAcceptedAnd32768Refused) {
  Bytes longRow = {0x7F, 0xFF, 0x00, 0x01};
  longRow.resize(2 + 32767, 0x80);  // no-operation packets fill the row
  EXPECT_EQ(DecodeReds(1, longRow, 1, 1), (std::vector<int>{1}));
  // The row asks for 32767 bytes but the data ends: that is the failure here.
  EXPECT_THROW(DecodeReds(1, {0x7F, 0xFF, 0x01, 0x01}, 2, 1), PsdError);
  try {
    DecodeReds(1, {0x80, 0x00, 0x00, 0x01}, 1, 1);
    FAIL() << "a row length of 32768 must be refused";
  } catch (const PsdError& error) {
    EXPECT_EQ(error.Offset(), 100);
    EXPECT_NE(std::string(error.what()).find("row length"), std::string::npos);
  }
}

TEST(DecodeRunLength, DamagedDataIsAnErrorNeverAnOverrun) {
  // Too short for the row lengths.
  EXPECT_THROW(DecodeReds(1, {0x00, 0x02, 0x00}, 1, 2), PsdError);
  // A literal packet that runs past the end.
  EXPECT_THROW(DecodeReds(1, {0x00, 0x03, 0x03, 0x01, 0x02}, 4, 1), PsdError);
  // A repeat packet without its value.
  EXPECT_THROW(DecodeReds(1, {0x00, 0x01, 0xFD}, 4, 1), PsdError);
  // A row whose length points past the data.
  EXPECT_THROW(DecodeReds(1, {0x00, 0x05, 0x00, 0x01}, 4, 1), PsdError);
  // More pixels than the layer has, by a repeat and by a literal packet.
  EXPECT_THROW(DecodeReds(1, {0x00, 0x02, 0xFD, 0x07}, 3, 1), PsdError);
  EXPECT_THROW(DecodeReds(1, {0x00, 0x03, 0x01, 0x07, 0x08}, 1, 1), PsdError);
}

TEST(DecodePlane, OtherCompressionCodesLeaveTheComponentZero) {
  for (const int code : {2, 3, -1, 7}) {
    EXPECT_EQ(DecodeReds(static_cast<std::int16_t>(code), {0x78, 0x9C, 0x01}, 3, 1),
              (std::vector<int>{0, 0, 0}));
  }
}

TEST(DecodePlane, OnlyTheTargetComponentIsWritten) {
  std::vector<PixelRecord> pixels(2, PixelRecord{1, 2, 3});
  const Bytes data = {9, 8};
  DecodePlane({0, data, 0}, 2, 1, pixels, Component::Green, {0, 1});
  EXPECT_EQ(pixels[0].Red, 1);
  EXPECT_EQ(pixels[0].Green, 9);
  EXPECT_EQ(pixels[1].Green, 8);
  EXPECT_EQ(pixels[1].Blue, 3);
}

}  // namespace
}  // namespace plymark
