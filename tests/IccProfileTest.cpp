#include <gtest/gtest.h>

#include "psd/IccProfile.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;

// One image-resource block: signature, id, Pascal name padded to an even
// size, data size, data padded to an even size.
Bytes Resource(std::int32_t id, const Bytes& data, const std::string& name = "",
               const std::string& signature = "8BIM") {
  ByteWriter out;
  out.Text(signature).I16(id).U8(static_cast<std::uint8_t>(name.size())).Text(name);
  if ((1 + name.size()) % 2 != 0) out.U8(0);
  out.I32(static_cast<std::int64_t>(data.size())).Append(data);
  if (data.size() % 2 != 0) out.U8(0);
  return out.Data();
}

Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes CutShort(Bytes bytes, std::size_t count) {
  bytes.resize(bytes.size() - count);
  return bytes;
}

struct WalkCase {
  const char* What;
  Bytes Section;
  std::optional<IccProfileLocation> Expected;  ///< offsets within the section
};

class IccProfileWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(IccProfileWalk, FindsTheProfileAndTheUntaggedFlagOrStops) {
  const WalkCase& walk = GetParam();
  // The section sits behind 10 bytes of something else, as in a file.
  const Bytes file = Joined({Bytes(10, 0xEE), walk.Section});
  const auto found =
      FindIccProfile(FileView(file), 10, static_cast<std::int64_t>(walk.Section.size()));
  ASSERT_EQ(found.has_value(), walk.Expected.has_value()) << walk.What;
  if (!found) return;
  if (walk.Expected->Length > 0) {
    EXPECT_EQ(found->Offset, walk.Expected->Offset + 10) << walk.What;
  }
  EXPECT_EQ(found->Length, walk.Expected->Length) << walk.What;
  EXPECT_EQ(found->Untagged, walk.Expected->Untagged) << walk.What;
}

const Bytes kProfile = {1, 2, 3, 4, 5};

INSTANTIATE_TEST_SUITE_P(
    ImageResources, IccProfileWalk,
    ::testing::Values(
        WalkCase{"the profile alone", Resource(1039, kProfile), IccProfileLocation{12, 5, false}},
        WalkCase{"behind a block with an odd name and odd data",
                 Joined({Resource(1005, {9, 9, 9}, "ab"), Resource(1039, kProfile)}),
                 IccProfileLocation{18 + 12, 5, false}},
        WalkCase{"the untagged flag after the profile",
                 Joined({Resource(1039, kProfile), Resource(1041, {1})}),
                 IccProfileLocation{12, 5, true}},
        WalkCase{"an untagged flag of 0 untags nothing",
                 Joined({Resource(1041, {0}), Resource(1039, kProfile)}),
                 IccProfileLocation{14 + 12, 5, false}},
        WalkCase{"the flag alone", Resource(1041, {1}), IccProfileLocation{0, 0, true}},
        WalkCase{"another resource signature", Resource(1039, kProfile, "", "MeSa"),
                 IccProfileLocation{12, 5, false}},
        WalkCase{"a foreign signature ends the walk",
                 Joined({Resource(1005, {9}, "", "XXXX"), Resource(1039, kProfile)}), std::nullopt},
        WalkCase{"data running past the section ends the walk",
                 CutShort(Resource(1039, kProfile), 2), std::nullopt},
        WalkCase{"no profile", Resource(1005, {1, 2}), std::nullopt},
        WalkCase{"an empty section", Bytes{}, std::nullopt}));

TEST(IccProfileBytes, AResourceLongerThanTheFileIsReadAsFarAsTheFileGoes) {
  const Bytes file = {0, 0, 7, 8, 9};
  EXPECT_EQ(ReadIccProfile(FileView(file), IccProfileLocation{2, 1000000000, false}),
            (Bytes{7, 8, 9}));
  EXPECT_TRUE(ReadIccProfile(FileView(file), IccProfileLocation{9, 4, false}).empty());
  EXPECT_TRUE(ReadIccProfile(FileView(file), IccProfileLocation{0, 0, true}).empty());
}

}  // namespace
}  // namespace plymark
