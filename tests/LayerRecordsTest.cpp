#include <gtest/gtest.h>

#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::TestDocument;
using test::TestLayer;

// The header and empty fixed sections: the layer-and-mask section starts at
// position 35.
ByteWriter FrontOfFile() {
  ByteWriter file;
  file.Append(test::BuildHeader(TestDocument{})).I32(0).I32(0);
  return file;
}

// One layer record with the given channels (id, length) and extra data.
void AppendRecord(ByteWriter& out, std::int32_t top, std::int32_t left, std::int32_t bottom,
                  std::int32_t right, std::int32_t storedChannelCount,
                  const std::vector<std::pair<std::int16_t, std::int32_t>>& channels,
                  std::int64_t extraLength, const Bytes& extra = {}) {
  out.I32(top).I32(left).I32(bottom).I32(right).I16(storedChannelCount);
  for (const auto& [id, length] : channels) out.I16(id).I32(length);
  out.Text("8BIM").Text("norm").U8(128).U8(1).U8(2).U8(3).I32(extraLength).Append(extra);
}

struct LayerSection {
  DocumentState state;
  test::FakeMessageSink messages;
  std::int64_t channelDataPosition = 0;

  void Read(const Bytes& file) {
    ReadFileHeader(file, state);
    ReadColorModeSection(file, state, messages);
    ReadImageResourceSection(file, state);
    channelDataPosition = ReadLayerRecords(file, state, messages);
  }
};

TEST(LayerRecords, TheSectionLengthIsShownBeforeAnyLayerIsRead) {
  ByteWriter file = FrontOfFile();
  file.I32(1234).I32(100).I16(1);  // the one record is missing: the read fails after the box
  LayerSection section;
  EXPECT_THROW(section.Read(file.Data()), PsdError);
  EXPECT_EQ(section.messages.messages, std::vector<std::string>{"1234"});
}

TEST(LayerRecords, AnEmptySectionHoldsNoLayersAndNothingMoreIsRead) {
  for (const std::int32_t length : {0, -7}) {
    ByteWriter file = FrontOfFile();
    // A file without layers keeps its merged image right behind the length;
    // these bytes would read as a layer count of 5.
    file.I32(length).I32(40).I16(5);
    LayerSection section;
    section.Read(file.Data());
    EXPECT_EQ(section.state.LayerCount, 0);
    EXPECT_TRUE(section.state.Layers.empty());
    EXPECT_TRUE(section.messages.messages.empty());
    EXPECT_EQ(section.channelDataPosition, 39);
  }
}

TEST(LayerRecords, AnEmptyLayerInfoHoldsNoLayers) {
  ByteWriter file = FrontOfFile();
  file.I32(8).I32(0).I32(0);  // section length 8: layer info 0, global mask 0
  file.I16(3);                // the merged image's compression code, not a layer count
  LayerSection section;
  section.Read(file.Data());
  EXPECT_EQ(section.state.LayerCount, 0);
  EXPECT_EQ(section.messages.messages, std::vector<std::string>{"8"});
}

TEST(LayerRecords, RecordsAreReadAsStored) {
  ByteWriter file = FrontOfFile();
  file.I32(500).I32(400).I16(-3);
  AppendRecord(file, 10, 20, 110, 220, -4, {{-1, 10}, {0, 12}, {1, 14}, {-2, 16}}, 0);
  AppendRecord(file, 110, 220, 10, 20, 0, {}, 0);
  AppendRecord(file, 0, 0, 1, 1, 1, {{2, 2}}, 0);
  LayerSection section;
  section.Read(file.Data());

  ASSERT_EQ(section.state.LayerCount, 3);
  ASSERT_EQ(section.state.Layers.size(), 3u);
  const LayerRecord& first = section.state.Layers[0];
  EXPECT_EQ(first.Top, 10);
  EXPECT_EQ(first.Left, 20);
  EXPECT_EQ(first.Bottom, 110);
  EXPECT_EQ(first.Right, 220);
  EXPECT_EQ(first.ChannelCount, 4);
  ASSERT_EQ(first.ChannelInfo.size(), 4u);
  EXPECT_EQ(first.ChannelInfo[0].ChannelId, -1);
  EXPECT_EQ(first.ChannelInfo[0].ChannelLength, 10);
  EXPECT_EQ(first.ChannelInfo[3].ChannelId, -2);
  EXPECT_EQ(first.ChannelInfo[3].ChannelLength, 16);
  EXPECT_EQ(first.BlendSignature, "8BIM");
  EXPECT_EQ(first.BlendKey, "norm");
  // Opacity, clipping, flags and filler are kept as stored.
  EXPECT_EQ(first.Opacity, 128);
  EXPECT_EQ(first.Clipping, 1);
  EXPECT_EQ(first.Flags, 2);
  EXPECT_EQ(first.Filler, 3);

  const LayerRecord& second = section.state.Layers[1];
  EXPECT_EQ(second.Top, 110);
  EXPECT_EQ(second.Right, 20);
  EXPECT_EQ(second.ChannelCount, 0);
  EXPECT_TRUE(second.ChannelInfo.empty());
  EXPECT_EQ(second.BlendSignature, "8BIM");
  EXPECT_EQ(section.state.LayerSectionLength, 500);
  EXPECT_EQ(section.state.LayerInfoLength, 400);
}

TEST(LayerRecords, ARecordTakes34Plus6PerChannelPlusItsExtraData) {
  ByteWriter file = FrontOfFile();
  file.I32(300).I32(200).I16(2);
  AppendRecord(file, 0, 0, 1, 1, 4, {{-1, 2}, {0, 2}, {1, 2}, {2, 2}}, 0);
  AppendRecord(file, 0, 0, 1, 1, 4, {{-1, 2}, {0, 2}, {1, 2}, {2, 2}}, 40, Bytes(40, 0xEE));
  LayerSection section;
  section.Read(file.Data());
  EXPECT_EQ(section.channelDataPosition, 35 + 10 + 58 + 98);
  EXPECT_EQ(section.state.Layers[1].ExtraLength, 40);
}

TEST(LayerRecords, ALayerCountOfZeroLeavesTheChannelDataTenBytesOn) {
  ByteWriter file = FrontOfFile();
  file.I32(10).I32(2).I16(0).I32(0);
  LayerSection section;
  section.Read(file.Data());
  EXPECT_EQ(section.state.LayerCount, 0);
  EXPECT_EQ(section.channelDataPosition, 45);
}

TEST(LayerRecords, BlendTextsKeepEveryByteIncludingZero) {
  ByteWriter file = FrontOfFile();
  file.I32(100).I32(80).I16(1);
  file.I32(0).I32(0).I32(1).I32(1).I16(0);
  file.Append({0x38, 0x42, 0x00, 0x4D}).Text("mul ").I32(0).I32(0);
  LayerSection section;
  section.Read(file.Data());
  EXPECT_EQ(section.state.Layers[0].BlendSignature, std::string("8B\0M", 4));
  EXPECT_EQ(section.state.Layers[0].BlendKey, "mul ");
}

TEST(LayerRecords, ANegativeExtraLengthMovesTheReadPositionBack) {
  ByteWriter file = FrontOfFile();
  file.I32(100).I32(80).I16(2);
  // The first record's extra length of -4 makes the second record start on
  // the first record's extra-length field itself.
  AppendRecord(file, 0, 0, 2, 3, 0, {}, -4);
  file.I32(0).I32(0).I32(0).I16(0).Text("8BIMnorm").I32(0).I32(0).I32(0);
  LayerSection section;
  section.Read(file.Data());
  ASSERT_EQ(section.state.LayerCount, 2);
  EXPECT_EQ(section.state.Layers[1].Top, -4);
}

TEST(LayerRecordsDamage, CountsOfMinus32768AreRefused) {
  ByteWriter layers = FrontOfFile();
  layers.I32(100).I32(80).I16(-32768).Append(Bytes(64, 0));
  LayerSection section;
  EXPECT_THROW(section.Read(layers.Data()), PsdError);

  ByteWriter channels = FrontOfFile();
  channels.I32(100).I32(80).I16(1).I32(0).I32(0).I32(1).I32(1).I16(-32768).Append(Bytes(64, 0));
  LayerSection again;
  EXPECT_THROW(again.Read(channels.Data()), PsdError);
}

TEST(LayerRecordsDamage, ALayerCountTheFileCannotHoldIsRefusedBeforeAnyRecord) {
  ByteWriter file = FrontOfFile();
  file.I32(100).I32(80).I16(32767).Append(Bytes(34 * 100, 0));
  LayerSection section;
  try {
    section.Read(file.Data());
    FAIL() << "32767 layers cannot fit in 3400 bytes";
  } catch (const PsdError& error) {
    EXPECT_EQ(error.Field(), "layer count");
    EXPECT_EQ(error.Offset(), 34 + 8);
  }
  EXPECT_TRUE(section.state.Layers.empty());
}

TEST(LayerRecordsDamage, AChannelCountTheFileCannotDescribeIsRefused) {
  ByteWriter file = FrontOfFile();
  file.I32(100).I32(80).I16(1);
  file.I32(0).I32(0).I32(1).I32(1).I16(30000).Append(Bytes(6 * 100, 0));
  LayerSection section;
  EXPECT_THROW(section.Read(file.Data()), PsdError);
}

TEST(LayerRecordsDamage, RecordsThatJumpBackCannotMultiplyTheirChannels) {
  // One record with 1000 channels whose negative extra length brings the
  // reader back to its own start: every layer would count the same 1000
  // channels again.
  ByteWriter record;
  std::vector<std::pair<std::int16_t, std::int32_t>> channels(1000, {0, 2});
  AppendRecord(record, 0, 0, 1, 1, 1000, channels, 0);
  const auto recordSize = static_cast<std::int64_t>(record.Size());
  ByteWriter file = FrontOfFile();
  file.I32(100).I32(80).I16(32767);
  AppendRecord(file, 0, 0, 1, 1, 1000, channels, -recordSize);
  file.Append(Bytes(34 * 32767, 0));
  LayerSection section;
  try {
    section.Read(file.Data());
    FAIL() << "the running channel total must stop the replay";
  } catch (const PsdError& error) {
    EXPECT_NE(std::string(error.what()).find("channels"), std::string::npos);
  }
}

TEST(LayerRecordsDamage, AnExtraLengthPastTheLargestPositionIsRefused) {
  ByteWriter file = FrontOfFile();
  file.I32(100).I32(80).I16(1);
  AppendRecord(file, 0, 0, 1, 1, 0, {}, 0x7FFFFFF0);
  LayerSection section;
  EXPECT_THROW(section.Read(file.Data()), PsdError);
}

TEST(LayerRecordsDamage, AnExtraLengthBeforeTheStartFailsTheNextRead) {
  ByteWriter file = FrontOfFile();
  file.I32(100).I32(80).I16(2);
  AppendRecord(file, 0, 0, 1, 1, 0, {}, -1000);
  file.Append(Bytes(40, 0));
  LayerSection section;
  EXPECT_THROW(section.Read(file.Data()), PsdError);
}

TEST(LayerRecordsDamage, AFileEndingInsideARecordIsAnError) {
  ByteWriter file = FrontOfFile();
  file.I32(100).I32(80).I16(1).I32(0).I32(0).I32(1);
  file.Append(Bytes(30, 0));
  Bytes bytes = file.Data();
  bytes.resize(bytes.size() - 30 + 4);
  LayerSection section;
  EXPECT_THROW(section.Read(bytes), PsdError);
}

}  // namespace
}  // namespace plymark
