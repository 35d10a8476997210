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

std::string ReadAll(const RandomAccessFile& file, std::uint64_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  const ReadResult read =
      file.ReadAt(offset, {reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()});
  EXPECT_TRUE(read.Error.empty()) << read.Error;
  bytes.resize(read.Count);
  return bytes;
}

TEST_F(SystemFileSourceTest, HandsBackTheBytesAtAnyOffsetAndFewerAtTheEnd) {
  const std::string content("8BPS\0\x01\xff", 7);
  const fs::path path = Write("a.psd", content);
  SystemFileSource source;
  const OpenedFile opened = source.Open(path.string());
  ASSERT_TRUE(opened.File);
  EXPECT_EQ(opened.File->Size(), 7u);
  EXPECT_EQ(ReadAll(*opened.File, 0, 7), content);
  EXPECT_EQ(ReadAll(*opened.File, 4, 100), content.substr(4));
  EXPECT_EQ(ReadAll(*opened.File, 9, 4), "");
  // Cut short by another program while open: the reads say so by giving less.
  fs::resize_file(path, 5);
  EXPECT_EQ(opened.File->Size(), 7u);
  EXPECT_EQ(ReadAll(*opened.File, 0, 7), content.substr(0, 5));
}

TEST_F(SystemFileSourceTest, AMissingFileIsNotCreated) {
  const fs::path path = folder_ / "typed-by-the-user.psd";
  SystemFileSource source;
  const OpenedFile opened = source.Open(path.string());
  EXPECT_FALSE(opened.File);
  EXPECT_EQ(opened.Error, "No such file or directory");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(source.Open("").File);
}

TEST_F(SystemFileSourceTest, AReadOnlyFileOpensAndIsLeftUntouched) {
  const fs::path path = Write("locked.psd", "8BPS");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const auto before = fs::last_write_time(path);
  SystemFileSource source;
  const OpenedFile opened = source.Open(path.string());
  ASSERT_TRUE(opened.File);
  EXPECT_EQ(ReadAll(*opened.File, 0, 4), "8BPS");
  EXPECT_EQ(fs::last_write_time(path), before);
  EXPECT_EQ(fs::file_size(path), 4u);
}

TEST_F(SystemFileSourceTest, AFolderIsNoFile) {
  SystemFileSource source;
  const OpenedFile opened = source.Open(folder_.string());
  EXPECT_FALSE(opened.File);
  EXPECT_EQ(opened.Error, "Is a directory");
}

TEST_F(SystemFileSourceTest, AnEmptyFileHasNoBytes) {
  SystemFileSource source;
  const OpenedFile opened = source.Open(Write("empty.psd", "").string());
  ASSERT_TRUE(opened.File);
  EXPECT_EQ(opened.File->Size(), 0u);
  EXPECT_EQ(ReadAll(*opened.File, 0, 4), "");
}

}  // namespace
}  // namespace plymark
