#include <gtest/gtest.h>

#include "psd/ChannelData.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"
#include "psd/TaggedBlocks.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::TestDocument;
using test::TestLayer;

// The layer-and-mask section starts at position 35 in these files.
constexpr std::int32_t kSectionStart = 35;

// The file read up to its channel blocks; the blocks view the kept bytes.
struct ReadFile {
  Bytes file;
  DocumentState state;
};

ReadFile ReadThroughChannels(Bytes bytes) {
  ReadFile read{std::move(bytes), {}};
  test::FakeMessageSink messages;
  const FileView file = read.file;
  ReadFileHeader(file, read.state);
  ReadColorModeSection(file, read.state, messages);
  ReadImageResourceSection(file, read.state);
  ReadChannelData(file, read.state, ReadLayerRecords(file, read.state, messages));
  return read;
}

Bytes DataOf(const ChannelBlock& block) {
  return Bytes(block.Data.begin(), block.Data.end());
}

TestDocument TwoLayersIn(const std::string& key) {
  TestDocument document;
  document.Depth = key == "Lr16" ? 16 : 32;
  document.LayerBlockKey = key;
  document.Layers = {
      TestLayer{1, 2, 3, 5, {{0, 0, {1, 2, 3, 4}}, {1, 2, {5, 6, 7}}}, "norm", {}},
      TestLayer{0, 0, 1, 1, {{-1, 0, {9}}}, "norm", Bytes(6, 0xAB)},
  };
  return document;
}

TEST(LayerBlock, LayersBehindAnEmptyLayerInfoAreReadFromLr16AndLr32) {
  for (const std::string key : {"Lr16", "Lr32"}) {
    TestDocument document = TwoLayersIn(key);
    // Blocks of other keys come first; one has an odd length and a pad byte.
    document.TaggedBlocksBefore = test::TaggedBlock("8BIM", "Patt", Bytes(5, 0x11));
    const Bytes more = test::TaggedBlock("8BIM", "Txt2", Bytes(8, 0x22));
    document.TaggedBlocksBefore.insert(document.TaggedBlocksBefore.end(), more.begin(), more.end());
    const ReadFile read = ReadThroughChannels(test::BuildPsd(document));

    EXPECT_EQ(read.state.LayerInfoLength, 0) << key;
    ASSERT_EQ(read.state.LayerCount, 2) << key;
    EXPECT_EQ(read.state.Layers[0].Right, 5);
    EXPECT_EQ(read.state.Layers[1].ExtraLength, 6);
    ASSERT_EQ(read.state.ChannelData[0].Blocks.size(), 2u);
    EXPECT_EQ(read.state.ChannelData[0].Blocks[1].Compression, 2);
    EXPECT_EQ(DataOf(read.state.ChannelData[0].Blocks[0]), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(DataOf(read.state.ChannelData[0].Blocks[1]), (Bytes{5, 6, 7}));
    EXPECT_EQ(DataOf(read.state.ChannelData[1].Blocks[0]), (Bytes{9}));
  }
}

TEST(LayerBlock, The8B64SignatureIsAcceptedToo) {
  TestDocument document = TwoLayersIn("Lr16");
  document.LayerBlockSignature = "8B64";
  EXPECT_EQ(ReadThroughChannels(test::BuildPsd(document)).state.LayerCount, 2);
}

// Front of a file, a section of `section` bytes, and the merged image behind.
Bytes WithSection(const Bytes& section) {
  ByteWriter file;
  file.Append(test::BuildHeader(TestDocument{})).I32(0).I32(0);
  file.I32(static_cast<std::int64_t>(section.size())).Append(section);
  file.I16(0).Append(Bytes(48, 0));
  return file.Data();
}

// Layer count, records and channel data of one 1 x 1 layer with one raw
// 16-bit channel holding `sample`.
Bytes OneLayer(std::uint16_t sample) {
  ByteWriter layers;
  layers.I16(1).I32(0).I32(0).I32(1).I32(1).I16(1).I16(0).I32(4);
  layers.Text("8BIMnorm").I32(0x80000000).I32(0);
  layers.I16(0).I16(sample);
  return layers.Data();
}

Bytes OneLayerBlock() {
  return test::TaggedBlock("8BIM", "Lr16", OneLayer(0x1234));
}

TEST(LayerBlock, ALayerInfoWithLengthButNoLayersIsWalkedFromItsEnd) {
  // Layer info of 4 bytes: a count of 0 and two pad bytes; an empty mask info.
  ByteWriter section;
  section.I32(4).I16(0).I16(0x7777).I32(0).Append(OneLayerBlock());
  const ReadFile read = ReadThroughChannels(WithSection(section.Data()));
  ASSERT_EQ(read.state.LayerCount, 1);
  EXPECT_EQ(DataOf(read.state.ChannelData[0].Blocks[0]), (Bytes{0x12, 0x34}));
}

TEST(LayerBlock, TheGlobalLayerMaskInfoIsSkippedByItsLength) {
  ByteWriter section;
  section.I32(0).I32(6).Append(Bytes(6, 0x38)).Append(OneLayerBlock());
  EXPECT_EQ(ReadThroughChannels(WithSection(section.Data())).state.LayerCount, 1);
}

TEST(LayerBlock, LayersInTheLayerInfoLeaveTheBlocksUnread) {
  const Bytes info = OneLayer(0x5678);
  ByteWriter section;
  section.I32(static_cast<std::int64_t>(info.size())).Append(info).I32(0).Append(OneLayerBlock());
  const ReadFile read = ReadThroughChannels(WithSection(section.Data()));
  ASSERT_EQ(read.state.LayerCount, 1);
  EXPECT_EQ(DataOf(read.state.ChannelData[0].Blocks[0]), (Bytes{0x56, 0x78}));
}

TEST(LayerBlockWalk, BlocksThatDoNotFitEndTheWalkWithoutLayers) {
  const Bytes block = OneLayerBlock();
  // The Lr16 block's length reaches one byte past the section.
  ByteWriter overlong;
  overlong.I32(0).I32(0).Append(Bytes(block.begin(), block.end() - 1));
  // A signature other than 8BIM or 8B64 ahead of it.
  ByteWriter badSignature;
  badSignature.I32(0).I32(0).Append(test::TaggedBlock("8BPS", "Patt", {})).Append(block);
  // A mask info length that runs past the section.
  ByteWriter badMask;
  badMask.I32(0).I32(0x7FFFFFF0).Append(block);
  // A length with its top bit set.
  ByteWriter hugeLength;
  hugeLength.I32(0).I32(0).Text("8BIMPatt").I32(0xFFFFFFF0).Append(block);
  for (const ByteWriter* section : {&overlong, &badSignature, &badMask, &hugeLength}) {
    const ReadFile read = ReadThroughChannels(WithSection(section->Data()));
    EXPECT_EQ(read.state.LayerCount, 0);
    EXPECT_TRUE(read.state.ChannelData.empty());
  }
}

TEST(LayerBlockWalk, FindsTheBlocksDataWithinTheSection) {
  ByteWriter section;
  section.I32(0).I32(0).Append(test::TaggedBlock("8BIM", "Patt", {1})).Append(OneLayerBlock());
  const Bytes file = WithSection(section.Data());
  const std::int32_t layerInfoEnd = kSectionStart + 8;
  const auto found =
      WalkGlobalTaggedBlocks(file, layerInfoEnd, kSectionStart + 4 + section.Size(), 1).LayerBlock;
  ASSERT_TRUE(found.has_value());
  // Mask info length, the Patt block (12 + 1 + pad) and the Lr16 head.
  EXPECT_EQ(found->Begin, layerInfoEnd + 4 + 14 + 12);
  EXPECT_EQ(found->End, kSectionStart + 4 + static_cast<std::int32_t>(section.Size()));
  // A section that ends before the Lr16 block is complete finds nothing.
  EXPECT_FALSE(WalkGlobalTaggedBlocks(file, layerInfoEnd, found->End - 1, 1).LayerBlock);
}

TEST(LayerBlockDamage, DamagedRecordsInsideTheBlockAreErrors) {
  ByteWriter layers;
  layers.I16(3).I32(0);  // three layers announced, the records missing
  ByteWriter section;
  section.I32(0).I32(0).Append(test::TaggedBlock("8BIM", "Lr32", layers.Data()));
  EXPECT_THROW(ReadThroughChannels(WithSection(section.Data())), PsdError);
}

}  // namespace
}  // namespace plymark

namespace plymark {
namespace {

TEST(GlobalTaggedBlocks, PaddingToFourUncountedIsFollowedAndMtrnFound) {
  // An odd block padded to 4 bytes, then the merged image's transparency block.
  test::ByteWriter section;
  section.I32(0).Text("8BIMPatt").I32(5).Append({1, 2, 3, 4, 5, 0, 0, 0});
  section.Text("8BIMMtrn").I32(0);
  const test::Bytes file = section.Data();
  const auto found = WalkGlobalTaggedBlocks(file, 1, static_cast<std::int64_t>(file.size()) + 1, 1);
  EXPECT_TRUE(found.MergedTransparency);
  EXPECT_FALSE(found.LayerBlock);
}

}  // namespace
}  // namespace plymark
