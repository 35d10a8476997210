#include <gtest/gtest.h>

#include "psd/IccProfile.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;

TEST(IccProfileBytes, AResourceLongerThanTheFileIsReadAsFarAsTheFileGoes) {
  const Bytes file = {0, 0, 7, 8, 9};
  EXPECT_EQ(ReadIccProfile(FileView(file), ResourceData{2, 1000000000}), (Bytes{7, 8, 9}));
  EXPECT_EQ(ReadIccProfile(FileView(file), ResourceData{3, 2}), (Bytes{8, 9}));
  EXPECT_TRUE(ReadIccProfile(FileView(file), ResourceData{9, 4}).empty());
  EXPECT_TRUE(ReadIccProfile(FileView(file), ResourceData{0, 0}).empty());
}

}  // namespace
}  // namespace plymark
