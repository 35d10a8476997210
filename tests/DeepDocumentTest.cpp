#include <gtest/gtest.h>

#include "app/OpenWorkflow.h"
#include "platform/MemoryTileSurface.h"
#include "render/DeepSamples.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::TestDocument;
using test::TestLayer;

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return 0xff000000u | (r << 16) | (g << 8) | b;
}

struct Workflow {
  test::FakeFileSource files;
  test::FakeMessageSink messages;
  MemoryTileSurface tiles{12};
  DocumentState state;

  std::optional<OpenFailure> Open(const TestDocument& document) {
    files.Add("deep.psd", test::BuildPsd(document));
    return OpenDocument("deep.psd", state, files, messages, tiles);
  }
  std::uint32_t Pixel(int tile, int x, int y) const {
    const auto& t = tiles.At(tile);
    return t.Image.at(static_cast<std::size_t>(y * t.Width + x));
  }
};

TEST(DeepDocument, SixteenBitLayersInLr16OpenWithEveryCodeInOneLayer) {
  // A 3 x 2 layer: red ZIP with prediction, green run-length, blue raw,
  // transparency ZIP.
  const Bytes red = test::Samples16({0, 1000, 65535, 32896, 257, 129});
  const Bytes green = test::Samples16({65535, 65535, 0, 0, 12345, 54321});
  const Bytes blue = test::Samples16({1, 2, 3, 40000, 50000, 60000});
  TestDocument document;
  document.Depth = 16;
  document.LayerBlockKey = "Lr16";
  document.Layers = {TestLayer{0,
                               0,
                               2,
                               3,
                               {{-1, 2, test::ZipPlane(Bytes(12, 0xFF))},
                                {0, 3, test::PredictedZipPlane(red, 3, 2, 2)},
                                {1, 1,
                                 test::RunLengthPlane({Bytes(green.begin(), green.begin() + 6),
                                                       Bytes(green.begin() + 6, green.end())})},
                                {2, 0, blue}},
                               "norm",
                               {}},
                     test::SolidLayer(0, 0, 1, 1, 0, 0, 0)};
  // The second layer's raw planes need two bytes per sample.
  for (auto& channel : document.Layers[1].Channels) channel.Data.assign(2, 0xFF);

  Workflow workflow;
  ASSERT_FALSE(workflow.Open(document));
  const auto summary = SummaryItems(workflow.state);
  EXPECT_EQ(summary[2], "Depth   16");
  EXPECT_EQ(summary[5], "Layers  2");
  EXPECT_EQ(workflow.Pixel(0, 0, 0), Rgb(0, 255, 0));
  EXPECT_EQ(workflow.Pixel(0, 1, 0), Rgb(4, 255, 0));
  EXPECT_EQ(workflow.Pixel(0, 2, 0), Rgb(255, 0, 0));
  EXPECT_EQ(workflow.Pixel(0, 0, 1), Rgb(128, 0, 156));
  EXPECT_EQ(workflow.Pixel(0, 1, 1), Rgb(1, 48, 195));
  EXPECT_EQ(workflow.Pixel(0, 2, 1), Rgb(1, 211, 233));
  EXPECT_EQ(workflow.Pixel(1, 0, 0), Rgb(255, 255, 255));
}

TEST(DeepDocument, ThirtyTwoBitLayersInLr32ShowSrgbComponents) {
  const std::vector<float> linear = {0.0f, 0.18f, 0.5f, 1.0f};
  TestDocument document;
  document.Depth = 32;
  document.LayerBlockKey = "Lr32";
  document.Layers = {TestLayer{0,
                               0,
                               1,
                               4,
                               {{0, 3, test::PredictedZipPlane(test::Samples32(linear), 4, 1, 4)},
                                {1, 2, test::ZipPlane(test::Samples32({2, -1, 0.002f, 0.5f}))},
                                {2, 0, test::Samples32(linear)}},
                               "norm",
                               {}}};
  Workflow workflow;
  ASSERT_FALSE(workflow.Open(document));
  EXPECT_EQ(workflow.state.LayerCount, 1);
  EXPECT_EQ(workflow.Pixel(0, 0, 0), Rgb(0, 255, 0));
  EXPECT_EQ(workflow.Pixel(0, 1, 0), Rgb(118, 0, 118));
  EXPECT_EQ(workflow.Pixel(0, 2, 0), Rgb(188, 7, 188));
  EXPECT_EQ(workflow.Pixel(0, 3, 0), Rgb(255, 188, 255));
}

TEST(DeepDocument, ADamagedZlibStreamLeavesOnlyItsComponentZero) {
  Bytes broken = test::ZipPlane(Bytes(4, 200));
  broken[broken.size() / 2] ^= 0x5A;
  TestDocument document;
  document.Layers = {TestLayer{0,
                               0,
                               2,
                               2,
                               {{0, 2, test::ZipPlane(Bytes(4, 10))},
                                {1, 3, broken},
                                {2, 3, test::PredictedZipPlane({5, 5, 6, 6}, 2, 2, 1)}},
                               "norm",
                               {}}};
  Workflow workflow;
  ASSERT_FALSE(workflow.Open(document));
  EXPECT_EQ(workflow.Pixel(0, 0, 0), Rgb(10, 0, 5));
  EXPECT_EQ(workflow.Pixel(0, 1, 1), Rgb(10, 0, 6));
}

TEST(DeepDocument, ADepthThatCannotBeShownIsSaidOnceAndItsLayersStayBlack) {
  for (const std::int16_t depth : std::initializer_list<std::int16_t>{1, 24}) {
    TestDocument document;
    document.Depth = depth;
    document.Layers = {test::SolidLayer(0, 0, 1, 2, 9, 9, 9),
                       test::SolidLayer(0, 0, 1, 1, 9, 9, 9)};
    Workflow workflow;
    ASSERT_FALSE(workflow.Open(document));
    ASSERT_EQ(workflow.messages.messages.size(), 2u) << depth;
    EXPECT_NE(workflow.messages.messages[1].find(std::to_string(depth) + " bits per channel"),
              std::string::npos);
    EXPECT_TRUE(workflow.tiles.At(1).Shown);
    EXPECT_EQ(workflow.Pixel(0, 1, 0), Rgb(0, 0, 0));
    EXPECT_EQ(workflow.Pixel(1, 0, 0), Rgb(0, 0, 0));
  }
  // Without layers there is nothing to leave black, and nothing is said.
  TestDocument empty;
  empty.Depth = 1;
  Workflow workflow;
  ASSERT_FALSE(workflow.Open(empty));
  EXPECT_EQ(workflow.messages.messages.size(), 1u);
}

TEST(DeepDocument, TheSizeLimitCountsBytesPerSample) {
  // 300 x 300 = 90000 pixels with 30000 raw bytes per channel: an 8-bit layer
  // passes the size limit (65536 + 30000) and fails only on its short data; a
  // 16-bit layer (65536 + 15000) is refused before its planes are made.
  for (const std::int16_t depth : std::initializer_list<std::int16_t>{8, 16}) {
    TestDocument document;
    document.Depth = depth;
    document.Layers = {TestLayer{0, 0, 300, 300, {{0, 0, Bytes(30000, 1)}}, "norm", {}}};
    Workflow workflow;
    const auto failure = workflow.Open(document);
    ASSERT_TRUE(failure);
    const bool refusedBySize =
        failure->Problem.find("more than its stored channel data can fill") != std::string::npos;
    EXPECT_EQ(refusedBySize, depth == 16) << failure->Problem;
  }
  // ZIP expansion is counted in samples too: a flat 16-bit plane of 300 x 300
  // deflates to a few hundred bytes and still opens.
  TestDocument flat;
  flat.Depth = 16;
  flat.Layers = {
      TestLayer{0, 0, 300, 300, {{0, 2, test::ZipPlane(Bytes(180000, 0x80))}}, "norm", {}}};
  Workflow workflow;
  ASSERT_FALSE(workflow.Open(flat));
  EXPECT_EQ(workflow.Pixel(0, 299, 299), Rgb(128, 0, 0));
}

}  // namespace
}  // namespace plymark
