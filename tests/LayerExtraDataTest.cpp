#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "psd/LayerExtraData.h"
#include "psd/LayerGroups.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;
using test::LayerExtra;
using test::SectionDivider;
using test::TaggedBlock;
using test::UserMaskData;

Bytes Concat(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

struct ExtraDataCase {
  const char* what;
  Bytes extra;
  std::int16_t version;
  std::string name;
  std::optional<std::vector<std::int32_t>> mask;  ///< top, left, bottom, right, default colour
  std::int32_t setting;
};

std::vector<ExtraDataCase> ExtraDataCases() {
  const Bytes mask = UserMaskData(-3, 4, 30, 400, 255);
  ByteWriter realMask;  // 36 bytes: the user mask behind a vector mask's rectangle
  realMask.Append(UserMaskData(1, 2, 3, 4, 0)).I32(0).I32(0).I32(0).I32(0);
  return {
      {"mask data with real parts", LayerExtra("Real", realMask.Data()), 1, "Real",
       std::vector<std::int32_t>{1, 2, 3, 4, 0}, 0},
      {"mask data too short", LayerExtra("Short", Bytes(17, 1)), 1, "Short", std::nullopt, 0},
      {"an lsdk block", LayerExtra("D", {}, TaggedBlock("8BIM", "lsdk", {0, 0, 0, 3})), 1, "D",
       std::nullopt, 3},
      {"a PSB block with an 8-byte length first",
       LayerExtra("P", mask,
                  Concat(TaggedBlock("8B64", "Alph", Bytes(5, 0), 2), SectionDivider(1))),
       2, "P", std::vector<std::int32_t>{-3, 4, 30, 400, 255}, 1},
      {"a block that overruns hides the divider behind it",
       LayerExtra("Cut", mask,
                  Concat(ByteWriter().Text("8BIMabcd").I32(1000).Data(), SectionDivider(1))),
       1, "Cut", std::vector<std::int32_t>{-3, 4, 30, 400, 255}, 0},
      {"mask data that overruns the extra data", Concat(ByteWriter().I32(1000).Data(), mask), 1, "",
       std::nullopt, 0},
  };
}

TEST(LayerExtraData, MaskAndSectionDividerAreReadBesideTheName) {
  for (const ExtraDataCase& c : ExtraDataCases()) {
    const LayerExtraData read = ReadLayerExtraData(c.extra, c.version);
    EXPECT_EQ(read.Name, c.name) << c.what;
    EXPECT_EQ(read.SectionDividerSetting, c.setting) << c.what;
    ASSERT_EQ(read.Mask.has_value(), c.mask.has_value()) << c.what;
    if (!read.Mask) continue;
    EXPECT_EQ((std::vector<std::int32_t>{read.Mask->Top, read.Mask->Left, read.Mask->Bottom,
                                         read.Mask->Right, read.Mask->DefaultColor}),
              *c.mask)
        << c.what;
  }
}

TEST(LayerExtraData, RealUserMaskParametersAndBlockOffsetsAreKept) {
  // As the maker writes a layer with a vector mask and a user mask: the
  // vector mask's raster first (flags: rendered, parameters follow), the real
  // user mask behind it, then density 64 and feather 5.0.
  ByteWriter mask;
  mask.I32(0).I32(4).I32(62).I32(58).U8(255).U8(0x18);
  mask.U8(0).U8(255).I32(1).I32(2).I32(3).I32(4);
  mask.U8(0x03).U8(64).I64(0x4014000000000000).U8(0).U8(0);
  const Bytes extra = LayerExtra("M", mask.Data(), TaggedBlock("8BIM", "iOpa", {128, 0, 0, 0}));
  const LayerExtraData read = ReadLayerExtraData(extra, 1, 1000);
  ASSERT_TRUE(read.Mask && read.Mask->Real);
  EXPECT_EQ(read.Mask->Real->DefaultColor, 255);
  EXPECT_EQ((std::vector<std::int32_t>{read.Mask->Real->Top, read.Mask->Real->Left,
                                       read.Mask->Real->Bottom, read.Mask->Real->Right}),
            (std::vector<std::int32_t>{1, 2, 3, 4}));
  EXPECT_EQ(read.Mask->UserMaskDensity, 64);
  EXPECT_EQ(read.Mask->UserMaskFeather, 5.0);
  EXPECT_FALSE(read.Mask->VectorMaskDensity);
  ASSERT_EQ(read.Blocks.size(), 1u);
  EXPECT_EQ(read.Blocks[0].Key, "iOpa");
  EXPECT_EQ(read.Blocks[0].Length, 4);
  // Behind the mask data, the empty blending ranges, the padded name and the
  // block's 12-byte head.
  EXPECT_EQ(read.Blocks[0].Offset, 1000 + 4 + 48 + 4 + 4 + 12);
  EXPECT_EQ(extra[static_cast<std::size_t>(read.Blocks[0].Offset - 1000)], 128);
}

// Records with the given section divider settings and names, bottom-most first.
std::vector<LayerRecord> Records(const std::vector<std::pair<std::int32_t, std::string>>& list) {
  std::vector<LayerRecord> records;
  for (const auto& [setting, name] : list) {
    records.push_back(LayerRecord{});
    records.back().SectionDividerSetting = setting;
    records.back().Name = name;
  }
  return records;
}

TEST(LayerGroups, DividersAndGroupRecordsNestTheLayersBetweenThem) {
  // Outer (5) holds a layer and Inner (4), which holds Shape.
  const auto nested = Records({{3, "</Outer>"},
                               {0, "Low"},
                               {3, "</Inner>"},
                               {0, "Shape"},
                               {2, "Inner"},
                               {1, "Outer"},
                               {0, "Top"}});
  const auto places = PlaceLayers(nested);
  EXPECT_EQ(places[2].Kind, LayerKind::GroupEnd);
  EXPECT_EQ(places[2].Parent, 5);  // a divider's parent is that of the group it ends
  EXPECT_EQ(GroupPath(nested, places, 3), "Outer / Inner / Shape");
  EXPECT_EQ(GroupPath(nested, places, 6), "");

  // Unmatched records: a divider with no group, a group with no divider.
  EXPECT_EQ(PlaceLayers(Records({{3, "</X>"}, {0, "A"}}))[0].Parent, -1);
  EXPECT_EQ(PlaceLayers(Records({{0, "A"}, {1, "G"}}))[0].Parent, 1);
}

}  // namespace
}  // namespace plymark
