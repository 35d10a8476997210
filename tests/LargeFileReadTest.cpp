// Files beyond 2 GB: refused as a PSD, read as a PSB by positioned reads. The
// files are sparse, so they take no disk space and no time to write.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/OpenWorkflow.h"
#include "platform/MemoryTileSurface.h"
#include "platform/SystemFileSource.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ByteWriter;
using test::TestDocument;

class LargeFile : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove(path_); }

  // Writes `front`, a hole of `hole` zero bytes, then `back`; false where the
  // file system cannot leave holes.
  bool WriteSparse(const Bytes& front, std::uint64_t hole, const Bytes& back) {
    {
      std::ofstream out(path_, std::ios::binary);
      out.write(reinterpret_cast<const char*>(front.data()),
                static_cast<std::streamsize>(front.size()));
    }
    std::error_code failed;
    fs::resize_file(path_, front.size() + hole, failed);
    if (failed) return false;
    std::ofstream(path_, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(back.data()),
               static_cast<std::streamsize>(back.size()));
    return true;
  }

  std::optional<OpenFailure> Open() {
    SystemFileSource files;
    return OpenDocument(path_.string(), state, files, messages, tiles);
  }

  fs::path path_ = fs::temp_directory_path() / ("plymark-large-" + std::to_string(::getpid()));
  DocumentState state;
  test::FakeMessageSink messages;
  MemoryTileSurface tiles{12};
};

TEST_F(LargeFile, APsdBeyondTwoGigabytesIsRefusedUnread) {
  TestDocument document;
  document.Layers = {test::SolidLayer(0, 0, 2, 2, 1, 2, 3)};
  if (!WriteSparse(test::BuildPsd(document), std::uint64_t{3} << 30, {})) GTEST_SKIP();
  const auto failure = Open();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Problem,
            "the file cannot be opened: it is larger than the 2 GB that a PSD file can have");
  EXPECT_TRUE(messages.messages.empty());
}

TEST_F(LargeFile, APsbReadsChannelDataBeyondFourGigabytes) {
  // Layer 0 holds a transparency channel of 4.5 GiB, which the viewer does not
  // decode; layer 1's colour channels lie behind it.
  const std::uint64_t hole = (std::uint64_t{9} << 29);
  ByteWriter records;
  records.I16(2);
  for (int layer = 0; layer < 2; ++layer) {
    records.I32(0).I32(0).I32(1).I32(2).I16(4);
    records.I16(-1).I64(layer == 0 ? static_cast<std::int64_t>(hole) + 2 : 4);
    for (int id = 0; id < 3; ++id) records.I16(id).I64(2 + 2);
    records.Text("8BIMnorm").U8(255).U8(0).U8(0).U8(0).I32(0);
  }
  TestDocument psb;
  psb.Version = 2;
  ByteWriter front;
  front.Append(test::BuildHeader(psb));
  front.I32(0).I32(0);
  const std::int64_t infoLength =
      static_cast<std::int64_t>(records.Size() + 2 + hole + 6 * 4 + 2 + 2);
  front.I64(infoLength + 8 + 4).I64(infoLength).Append(records.Data());
  front.I16(0);  // layer 0, channel -1: raw, the hole behind
  ByteWriter back;
  for (int id = 0; id < 3; ++id) back.I16(0).U8(9).U8(9);  // layer 0: 1 x 2 pixels
  back.I16(0).U8(255).U8(255);
  for (const int value : {40, 50, 60}) {
    back.I16(0).U8(static_cast<std::uint8_t>(value)).U8(static_cast<std::uint8_t>(value));
  }
  back.I32(0).I16(0);  // global layer mask info, merged image
  if (!WriteSparse(front.Data(), hole, back.Data())) GTEST_SKIP();

  const auto failure = Open();
  ASSERT_FALSE(failure) << failure->Problem;
  EXPECT_EQ(state.Header.Version, 2);
  ASSERT_EQ(state.LayerCount, 2);
  EXPECT_GT(state.ChannelData[1].Blocks[1].DataOffset, std::int64_t{1} << 32);
  EXPECT_EQ(tiles.At(1).Image.at(1), 0xff28323cu);
  EXPECT_EQ(tiles.At(0).Image.at(0), 0xff090909u);
}

}  // namespace
}  // namespace plymark
