// Large files are read in two halves at once; the halves must meet exactly.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/SystemFileSource.h"

namespace plymark {
namespace {

namespace fs = std::filesystem;

TEST(LargeFileRead, EveryByteLandsInItsPlaceOnEitherSideOfTheMiddle) {
  const fs::path path =
      fs::temp_directory_path() / ("plymark-large-" + std::to_string(::getpid()) + ".psd");
  // Odd length, so that the halves differ in size; every byte tells where it lies.
  std::vector<char> content((std::size_t{33} << 20) + 7);
  for (std::size_t i = 0; i < content.size(); ++i) {
    content[i] = static_cast<char>((i * 2654435761u) >> 13);
  }
  std::ofstream(path, std::ios::binary)
      .write(content.data(), static_cast<std::streamsize>(content.size()));

  SystemFileSource source;
  const OpenedFile opened = source.Open(path.string());
  fs::remove(path);
  ASSERT_TRUE(opened.Bytes) << opened.Error;
  ASSERT_EQ(opened.Bytes->Size, content.size());
  const auto* bytes = reinterpret_cast<const char*>(opened.Bytes->Data.get());
  for (std::size_t i = 0; i < content.size(); ++i) {
    ASSERT_EQ(bytes[i], content[i]) << "byte " << i;
  }
}

}  // namespace
}  // namespace plymark
