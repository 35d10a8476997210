#include <gtest/gtest.h>

#include "app/OpenWorkflow.h"
#include "platform/MemoryTileSurface.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::SolidLayer;
using test::TestDocument;

// The boxes of one Open of a document in `colorMode` with `layers` layers.
std::vector<std::string> BoxesOfOpen(std::int16_t colorMode, int layers) {
  TestDocument document;
  document.ColorMode = colorMode;
  for (int i = 0; i < layers; ++i) document.Layers.push_back(SolidLayer(0, 0, 2, 3, 10, 20, 30));
  test::FakeFileSource files;
  files.Add("a.psd", test::BuildPsd(document));
  test::FakeMessageSink messages;
  MemoryTileSurface tiles{12};
  DocumentState state;
  EXPECT_FALSE(OpenDocument("a.psd", state, files, messages, tiles));
  return messages.messages;
}

TEST(OpenColourMode, BitmapAndUnknownModesAreAnnouncedOncePerOpen) {
  for (const std::int16_t mode : std::initializer_list<std::int16_t>{0, 5, 42, -1}) {
    const auto boxes = BoxesOfOpen(mode, 3);
    ASSERT_EQ(boxes.size(), 2u) << "mode " << mode;  // the section length, then the mode
    EXPECT_NE(boxes[1].find("cannot show"), std::string::npos) << boxes[1];
    EXPECT_NE(boxes[1].find(mode == 0 ? "bitmap" : std::to_string(mode)), std::string::npos)
        << boxes[1];
  }
  // The modes that can be shown say nothing more.
  for (const std::int16_t mode : std::initializer_list<std::int16_t>{1, 2, 3, 4, 7, 8, 9}) {
    EXPECT_EQ(BoxesOfOpen(mode, 2).size(), 1u) << "mode " << mode;
  }
}

}  // namespace
}  // namespace plymark
