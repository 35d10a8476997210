#include <gtest/gtest.h>

#include "psd/ImageResources.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;

constexpr std::int64_t kSectionOffset = 1000;

// One resource block: the name field and the data are padded to even sizes.
Bytes Resource(const std::string& signature, std::int32_t id, const std::string& name,
               const Bytes& data) {
  ByteWriter block;
  block.Text(signature).I16(id).U8(static_cast<std::uint8_t>(name.size())).Text(name);
  if (name.size() % 2 == 0) block.U8(0);
  block.I32(static_cast<std::int64_t>(data.size())).Append(data);
  if (data.size() % 2 != 0) block.U8(0);
  return block.Data();
}

Bytes Joined(const std::vector<Bytes>& blocks) {
  ByteWriter out;
  for (const Bytes& block : blocks) out.Append(block);
  return out.Data();
}

TEST(ImageResources, KeepsWhatTheMergedImageNeedsWhateverTheNamesAndSignatures) {
  const Bytes thumbnailHead =
      ByteWriter().I32(1).I32(16).I32(8).I32(48).I32(384).I32(3).I16(24).I16(1).Data();
  const Bytes section = Joined({
      Resource("8BIM", 1005, "", Bytes(16, 0)),
      Resource("MeSa", 1053, "a", ByteWriter().I32(7).I32(0).Data()),
      Resource("8BIM", 1039, "ab", {1, 2, 3}),  // odd data: a pad byte follows
      Resource("PHUT", 1041, "abc", {1}),
      Resource("8BIM", 1036, "", ByteWriter().Append(thumbnailHead).Text("JPG").Data()),
      Resource("8BIM", 1033, "", Bytes(28, 0)),  // the older thumbnail loses to 1036
      Resource("AgHg", 1057, "", ByteWriter().I32(1).U8(0).Data()),
  });
  const ImageResources resources = ReadImageResources(section, kSectionOffset);

  ASSERT_TRUE(resources.AlphaIdentifiers);
  EXPECT_EQ(*resources.AlphaIdentifiers, (std::vector<std::int32_t>{7, 0}));
  EXPECT_EQ(resources.HasRealMergedData, false);
  ASSERT_TRUE(resources.IccProfile);
  // 1005 takes 12 + 16 bytes, 1053 12 + 8 (the name "a" fills two bytes); 1039's data follows
  // a head of 14 bytes (a name field of four).
  EXPECT_EQ(resources.IccProfile->Offset, kSectionOffset + 28 + 20 + 14);
  EXPECT_EQ(resources.IccProfile->Length, 3);
  EXPECT_TRUE(resources.IccUntagged);
  ASSERT_TRUE(resources.Thumbnail);
  EXPECT_EQ(resources.Thumbnail->Id, 1036);
  EXPECT_EQ(resources.Thumbnail->Format, 1);
  EXPECT_EQ(resources.Thumbnail->Width, 16);
  EXPECT_EQ(resources.Thumbnail->Jpeg.Length, 3);
  EXPECT_EQ(resources.Thumbnail->Jpeg.Offset, resources.Thumbnail->Data.Offset + 28);
  EXPECT_EQ(section[static_cast<std::size_t>(resources.Thumbnail->Jpeg.Offset - kSectionOffset)],
            'J');
}

TEST(ImageResources, AWalkEndsAtTheFirstBlockThatDoesNotFit) {
  const Bytes versionInfo = Resource("8BIM", 1057, "", ByteWriter().I32(1).U8(1).Data());
  const Bytes identifiers = Resource("8BIM", 1053, "", ByteWriter().I32(0).Data());
  Bytes runsPast = identifiers;
  runsPast[11] = 200;  // data size 200 in a block of 16 bytes
  Bytes nameRunsPast = Resource("8BIM", 1053, "", {});
  nameRunsPast[6] = 9;
  Bytes unknownSignature = identifiers;
  unknownSignature[0] = 'X';
  const struct {
    const char* what;
    Bytes section;
    bool identifiersFound;
  } cases[] = {
      {"data size runs past the section", Joined({versionInfo, runsPast}), false},
      {"name runs past the section", Joined({versionInfo, nameRunsPast}), false},
      {"unknown signature", Joined({versionInfo, unknownSignature, identifiers}), false},
      {"block head cut short", Joined({versionInfo, identifiers, Bytes{'8', 'B', 'I'}}), true},
  };
  for (const auto& c : cases) {
    const ImageResources resources = ReadImageResources(c.section, kSectionOffset);
    EXPECT_EQ(resources.HasRealMergedData, true) << c.what;
    EXPECT_EQ(resources.AlphaIdentifiers.has_value(), c.identifiersFound) << c.what;
  }
  // A version-info resource with an odd size and no pad byte at the section's end.
  Bytes oddLast = Resource("8BIM", 1057, "", ByteWriter().I32(1).U8(1).Data());
  oddLast.pop_back();
  EXPECT_EQ(ReadImageResources(oddLast, 0).HasRealMergedData, true);
}

}  // namespace
}  // namespace plymark
