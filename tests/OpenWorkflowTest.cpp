#include <gtest/gtest.h>

#include "app/OpenWorkflow.h"
#include "platform/MemoryTileSurface.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::SolidLayer;
using test::TestDocument;

struct Workflow {
  test::FakeFileSource files;
  test::FakeMessageSink messages;
  MemoryTileSurface tiles{12};
  DocumentState state;

  std::optional<OpenFailure> Open(const std::string& path) {
    return OpenDocument(path, state, files, messages, tiles);
  }
};

TEST(OpenWorkflow, SummaryItemsCarryExactLabelsAndPlainNumbers) {
  TestDocument document;
  document.Rows = 600;
  document.Columns = 800;
  document.Layers = {SolidLayer(0, 0, 2, 2, 1, 2, 3), SolidLayer(0, 0, 1, 1, 4, 5, 6)};
  Workflow workflow;
  workflow.files.Add("a.psd", test::BuildPsd(document));
  ASSERT_FALSE(workflow.Open("a.psd"));
  EXPECT_EQ(SummaryItems(workflow.state),
            (std::vector<std::string>{"8BPS", "Channels3", "Depth   8", "Rows    600",
                                      "Columns 800", "Layers  2"}));
}

TEST(OpenWorkflow, NegativeHeaderValuesShowTheirSign) {
  TestDocument document;
  document.Channels = -2;
  document.Rows = -1;
  Workflow workflow;
  workflow.files.Add("a.psd", test::BuildHeader(document));
  workflow.Open("a.psd");  // fails later, but the header was read
  const auto items = SummaryItems(workflow.state);
  EXPECT_EQ(items[1], "Channels-2");
  EXPECT_EQ(items[3], "Rows    -1");
}

TEST(OpenWorkflow, BoxesComeInFileOrder) {
  TestDocument document;
  document.ColorModeData = Bytes(768, 0);
  document.Layers = {SolidLayer(0, 0, 1, 1, 1, 2, 3)};
  const Bytes file = test::BuildPsd(document);
  Workflow workflow;
  workflow.files.Add("indexed.psd", file);
  ASSERT_FALSE(workflow.Open("indexed.psd"));
  ASSERT_EQ(workflow.messages.messages.size(), 2u);
  EXPECT_EQ(workflow.messages.messages[0], "ERROR");
  EXPECT_EQ(workflow.messages.messages[1], std::to_string(workflow.state.LayerSectionLength));
  EXPECT_GT(workflow.state.LayerSectionLength, 0);
}

TEST(OpenWorkflow, ADamagedFileIsAFailureInPlainWords) {
  Bytes file = test::BuildHeader(TestDocument{});
  file.push_back(0);  // one byte of the colour-mode data length
  Workflow workflow;
  workflow.files.Add("short.psd", file);
  const auto failure = workflow.Open("short.psd");
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Problem, "the file ends at byte 27 while reading the colour-mode data length");
  EXPECT_EQ(OpenErrorText("short.psd", *failure),
            "Plymark cannot open \"short.psd\": the file ends at byte 27 while reading the "
            "colour-mode data length.");
}

TEST(OpenWorkflow, AFileThatCannotBeOpenedGivesTheSystemsReason) {
  Workflow workflow;
  const auto failure = workflow.Open("missing.psd");
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Problem, "the file cannot be opened: No such file or directory");
}

TEST(OpenWorkflow, TilesNoLayerReachedGoBackToTheirStartState) {
  TestDocument five;
  for (int i = 0; i < 5; ++i) five.Layers.push_back(SolidLayer(0, 0, 3, 3, 50, 60, 70));
  TestDocument two;
  two.Layers = {SolidLayer(0, 0, 2, 2, 1, 1, 1), SolidLayer(0, 0, 2, 2, 2, 2, 2)};
  Workflow workflow;
  workflow.files.Add("five.psd", test::BuildPsd(five));
  workflow.files.Add("two.psd", test::BuildPsd(two));
  ASSERT_FALSE(workflow.Open("five.psd"));
  EXPECT_TRUE(workflow.tiles.At(4).Shown);
  ASSERT_FALSE(workflow.Open("two.psd"));
  EXPECT_TRUE(workflow.tiles.At(1).Shown);
  for (int i = 2; i < 5; ++i) {
    EXPECT_FALSE(workflow.tiles.At(i).Shown) << "tile " << i;
    EXPECT_TRUE(workflow.tiles.At(i).Image.empty()) << "tile " << i;
  }
}

TEST(OpenWorkflow, AFailedOpenLeavesTheOtherTilesAsTheyWere) {
  TestDocument good;
  for (int i = 0; i < 3; ++i) good.Layers.push_back(SolidLayer(0, 0, 3, 3, 50, 60, 70));
  TestDocument bad;
  bad.Layers = {SolidLayer(0, 0, 2, 2, 1, 1, 1)};
  bad.Layers[0].Channels[2].Data.resize(1);
  Workflow workflow;
  workflow.files.Add("good.psd", test::BuildPsd(good));
  workflow.files.Add("bad.psd", test::BuildPsd(bad));
  ASSERT_FALSE(workflow.Open("good.psd"));
  ASSERT_TRUE(workflow.Open("bad.psd"));
  EXPECT_TRUE(workflow.tiles.At(2).Shown);
}

}  // namespace
}  // namespace plymark

namespace plymark {
namespace {

TEST(OpenWorkflow, ADocumentWithoutLayersShowsItsMergedImageInTheFirstTile) {
  TestDocument flat;
  flat.Rows = 3;
  flat.Columns = 5;
  flat.WithLayerSection = false;
  Bytes cut = test::BuildPsd(flat);
  cut.resize(cut.size() - 10);
  for (const bool whole : {true, false}) {
    Workflow workflow;
    workflow.files.Add("flat.psd", whole ? test::BuildPsd(flat) : cut);
    ASSERT_FALSE(workflow.Open("flat.psd"));
    EXPECT_EQ(SummaryItems(workflow.state).back(), "Layers  0");
    const auto& tile = workflow.tiles.At(0);
    EXPECT_EQ(tile.Shown, whole);
    EXPECT_EQ(tile.Width, whole ? 5 : 0);
    EXPECT_EQ(tile.Description, whole ? "Merged image (the document has no layers)" : "");
    // A merged image cut short costs only itself, with one message.
    EXPECT_EQ(workflow.messages.messages.size(), whole ? 0u : 1u);
  }
}

}  // namespace
}  // namespace plymark
