#include <gtest/gtest.h>

#include "psd/ChannelData.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::TestChannel;
using test::TestDocument;
using test::TestLayer;

DocumentState ReadThroughChannels(const Bytes& file) {
  DocumentState state;
  test::FakeMessageSink messages;
  ReadFileHeader(file, state);
  ReadColorModeSection(file, state, messages);
  ReadImageResourceSection(file, state);
  ReadChannelData(file, state, ReadLayerRecords(file, state, messages));
  return state;
}

Bytes DataOf(const ChannelBlock& block) {
  return Bytes(block.Data.begin(), block.Data.end());
}

TEST(ChannelData, BlocksFollowTheChannelInfoOrderWithTheirCodesAndBytes) {
  TestDocument document;
  TestLayer layer{0, 0, 1, 4, {}, "norm", {}};
  layer.Channels = {{-1, 0, {1, 2, 3, 4}},
                    {0, 1, {0, 6, 0x05, 9, 8, 7, 6, 5, 0xFD, 3}},
                    {1, -1, {}},
                    {2, 2, {0xAA}}};
  document.Layers = {layer};
  // The blocks view the file's bytes, which must outlive them.
  const Bytes file = test::BuildPsd(document);
  const DocumentState state = ReadThroughChannels(file);

  ASSERT_EQ(state.ChannelData.size(), 1u);
  const ChannelTableEntry& entry = state.ChannelData[0];
  EXPECT_EQ(entry.BlockCount, 4);
  ASSERT_EQ(entry.Blocks.size(), 4u);
  EXPECT_EQ(entry.Blocks[0].Compression, 0);
  EXPECT_EQ(DataOf(entry.Blocks[0]), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(entry.Blocks[1].Compression, 1);
  EXPECT_EQ(DataOf(entry.Blocks[1]), (Bytes{0, 6, 0x05, 9, 8, 7, 6, 5, 0xFD, 3}));
  EXPECT_EQ(entry.Blocks[2].Compression, -1);
  EXPECT_TRUE(entry.Blocks[2].Data.empty());
  EXPECT_EQ(entry.Blocks[3].Compression, 2);
  EXPECT_EQ(DataOf(entry.Blocks[3]), (Bytes{0xAA}));
  // Each block starts right behind the one before.
  EXPECT_EQ(entry.Blocks[1].DataOffset, entry.Blocks[0].DataOffset + 4 + 2);
  EXPECT_EQ(entry.Blocks[3].DataOffset, entry.Blocks[1].DataOffset + 10 + 2 + 2);
}

TEST(ChannelData, LayersFollowEachOtherWithoutGaps) {
  TestDocument document;
  TestLayer three{0, 0, 1, 1, {{0, 0, {1}}, {1, 0, {2}}, {2, 0, {3}}}, "norm", {}};
  TestLayer four{0, 0, 1, 1, {{-1, 0, {4}}, {0, 0, {5}}, {1, 0, {6}}, {2, 0, {7}}}, "norm", {}};
  document.Layers = {three, four};
  // The blocks view the file's bytes, which must outlive them.
  const Bytes file = test::BuildPsd(document);
  const DocumentState state = ReadThroughChannels(file);
  ASSERT_EQ(state.ChannelData.size(), 2u);
  EXPECT_EQ(state.ChannelData[0].BlockCount, 3);
  EXPECT_EQ(state.ChannelData[1].BlockCount, 4);
  EXPECT_EQ(state.ChannelData[1].Blocks[0].DataOffset,
            state.ChannelData[0].Blocks[2].DataOffset + 1 + 2);
  EXPECT_EQ(DataOf(state.ChannelData[1].Blocks[3]), (Bytes{7}));
}

TEST(ChannelData, NoLayersGiveAnEmptyTable) {
  TestDocument document;
  document.WithLayerSection = false;
  EXPECT_TRUE(ReadThroughChannels(test::BuildPsd(document)).ChannelData.empty());
}

TEST(ChannelDataDamage, AChannelLengthBelowTwoIsRefused) {
  for (const std::int32_t length : {1, 0, -5}) {
    test::ByteWriter file;
    file.Append(test::BuildHeader(TestDocument{})).I32(0).I32(0);
    file.I32(100).I32(80).I16(1);
    file.I32(0).I32(0).I32(1).I32(1).I16(1).I16(0).I32(length);
    file.Text("8BIMnorm").I32(0).I32(0);
    file.I16(0).Append(Bytes(16, 0));
    EXPECT_THROW(ReadThroughChannels(file.Data()), PsdError) << "length " << length;
  }
}

TEST(ChannelDataDamage, AChannelLongerThanTheRestOfTheFileIsRefusedBeforeItIsKept) {
  test::ByteWriter file;
  file.Append(test::BuildHeader(TestDocument{})).I32(0).I32(0);
  file.I32(100).I32(80).I16(1);
  file.I32(0).I32(0).I32(1).I32(1).I16(1).I16(0).I32(2000000000);
  file.Text("8BIMnorm").I32(0).I32(0);
  file.I16(1).Append(Bytes(16, 0));
  try {
    ReadThroughChannels(file.Data());
    FAIL() << "a 2 GB channel in a small file must be refused";
  } catch (const PsdError& error) {
    EXPECT_NE(std::string(error.what()).find("file ends"), std::string::npos);
  }
}

}  // namespace
}  // namespace plymark
