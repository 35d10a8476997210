#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/SystemFileSource.h"

namespace plymark {
namespace {

namespace fs = std::filesystem;

class SystemFileSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("plymark-files-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path Write(const std::string& name, const std::string& content) {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  fs::path folder_;
};

TEST_F(SystemFileSourceTest, HandsBackEveryByteOfTheFile) {
  const std::string content("8BPS\0\x01\xff", 7);
  const fs::path path = Write("a.psd", content);
  SystemFileSource source;
  const OpenedFile opened = source.Open(path.string());
  ASSERT_TRUE(opened.Bytes);
  EXPECT_EQ(
      std::string(reinterpret_cast<const char*>(opened.Bytes->Data.get()), opened.Bytes->Size),
      content);
}

TEST_F(SystemFileSourceTest, AMissingFileIsNotCreated) {
  const fs::path path = folder_ / "typed-by-the-user.psd";
  SystemFileSource source;
  const OpenedFile opened = source.Open(path.string());
  EXPECT_FALSE(opened.Bytes);
  EXPECT_EQ(opened.Error, "No such file or directory");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(source.Open("").Bytes);
}

TEST_F(SystemFileSourceTest, AReadOnlyFileOpensAndIsLeftUntouched) {
  const fs::path path = Write("locked.psd", "8BPS");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const auto before = fs::last_write_time(path);
  SystemFileSource source;
  const OpenedFile opened = source.Open(path.string());
  ASSERT_TRUE(opened.Bytes);
  EXPECT_EQ(opened.Bytes->Size, 4u);
  EXPECT_EQ(fs::last_write_time(path), before);
  EXPECT_EQ(fs::file_size(path), 4u);
}

TEST_F(SystemFileSourceTest, AFileBeyondTheFormatsTwoGigabytesIsRefusedUnread) {
  const fs::path path = Write("huge.psd", "8BPS");
  fs::resize_file(path, std::uintmax_t{3} << 30);  // sparse: takes no disk space
  SystemFileSource source;
  const OpenedFile opened = source.Open(path.string());
  EXPECT_FALSE(opened.Bytes);
  EXPECT_EQ(opened.Error, "it is larger than the 2 GB that a PSD file can have");
}

TEST_F(SystemFileSourceTest, AFolderIsNoFile) {
  SystemFileSource source;
  const OpenedFile opened = source.Open(folder_.string());
  EXPECT_FALSE(opened.Bytes);
  EXPECT_EQ(opened.Error, "Is a directory");
}

TEST_F(SystemFileSourceTest, AnEmptyFileHasNoBytes) {
  SystemFileSource source;
  const OpenedFile opened = source.Open(Write("empty.psd", "").string());
  ASSERT_TRUE(opened.Bytes);
  EXPECT_EQ(opened.Bytes->Size, 0u);
}

}  // namespace
}  // namespace plymark
