// PSB documents (header version 2) built in code: the same layers as a PSD,
// with the version's wider lengths and row counts.

#include <gtest/gtest.h>

#include "app/OpenWorkflow.h"
#include "platform/MemoryTileSurface.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::TestDocument;
using test::TestLayer;

struct Workflow {
  test::FakeFileSource files;
  test::FakeMessageSink messages;
  MemoryTileSurface tiles{12};
  DocumentState state;

  std::optional<OpenFailure> Open(const Bytes& bytes) {
    files.Add("doc.psb", bytes);
    return OpenDocument("doc.psb", state, files, messages, tiles);
  }
  std::uint32_t Pixel(int tile, int x, int y) const {
    const auto& t = tiles.At(tile);
    return t.Image.at(static_cast<std::size_t>(y * t.Width + x));
  }
};

// One case of a document stored either way: where its layers lie, at which
// depth, with which row counts.
struct VersionCase {
  const char* Name;
  std::int16_t Depth;
  const char* LayerBlockKey;
};

class EitherVersion : public testing::TestWithParam<std::tuple<VersionCase, std::int16_t>> {};

TEST_P(EitherVersion, RunLengthAndRawLayersOpenAlike) {
  const auto [shape, version] = GetParam();
  const int countBytes = version == 2 ? 4 : 2;
  const int sampleBytes = shape.Depth / 8;
  // A 3 x 2 layer whose rows run-length code the sample bytes 0x40 (red),
  // raw 0x80 (green) and run-length 0xC0 (blue).
  const auto rows = [&](std::uint8_t value) {
    return std::vector<Bytes>(2, Bytes(static_cast<std::size_t>(3 * sampleBytes), value));
  };
  TestDocument document;
  document.Version = version;
  document.Depth = shape.Depth;
  document.LayerBlockKey = shape.LayerBlockKey;
  document.Layers = {TestLayer{0,
                               0,
                               2,
                               3,
                               {{0, 1, test::PackBitsPlane(rows(0x40), countBytes)},
                                {1, 0, Bytes(static_cast<std::size_t>(6 * sampleBytes), 0x80)},
                                {2, 1, test::RunLengthPlane(rows(0xC0), countBytes)},
                                {-1, 0, Bytes(static_cast<std::size_t>(6 * sampleBytes), 0xFF)}},
                               "norm",
                               test::NamedExtra("Layer", u"Layer \u00e9")}};
  Workflow workflow;
  const auto failure = workflow.Open(test::BuildPsd(document));
  ASSERT_FALSE(failure) << failure->Problem;
  EXPECT_EQ(workflow.state.Header.Version, version);
  ASSERT_EQ(workflow.state.LayerCount, 1);
  EXPECT_EQ(workflow.state.Layers[0].Name, "Layer \u00e9");
  EXPECT_EQ(workflow.messages.messages.size(), 1u);  // the section length
  // 0x4040 and 0x8080 and 0xC0C0 as 16-bit samples scale to the same bytes.
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(workflow.Pixel(0, x, y), 0xff4080c0u) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(PsdAndPsb, EitherVersion,
                         testing::Combine(testing::Values(VersionCase{"LayerInfo8", 8, ""},
                                                          VersionCase{"LayerInfo16", 16, ""},
                                                          VersionCase{"Lr16Block", 16, "Lr16"},
                                                          VersionCase{"LayrBlock", 8, "Layr"}),
                                          testing::Values(std::int16_t{1}, std::int16_t{2})),
                         [](const auto& param) {
                           return std::string(std::get<0>(param.param).Name) + "Version" +
                                  std::to_string(std::get<1>(param.param));
                         });

TestDocument WideLayerDocument(std::int16_t version, std::int32_t width) {
  TestDocument document;
  document.Version = version;
  TestLayer wide{0, 0, 1, width, {}, "norm", test::NamedExtra("Wide")};
  for (std::int16_t id = 0; id < 3; ++id) {
    wide.Channels.push_back({id, 0, Bytes(static_cast<std::size_t>(width), 7)});
  }
  document.Layers = {wide, test::SolidLayer(0, 0, 2, 2, 10, 20, 30)};
  return document;
}

TEST(PsbDocument, LayersTooLargeForATileAreLeftOutWithOneMessage) {
  Workflow workflow;
  const auto failure = workflow.Open(test::BuildPsd(WideLayerDocument(2, 40000)));
  ASSERT_FALSE(failure) << failure->Problem;
  EXPECT_EQ(workflow.tiles.At(0).Width, 0);
  EXPECT_FALSE(workflow.tiles.At(0).Shown);
  EXPECT_EQ(workflow.Pixel(1, 1, 1), 0xff0a141eu);
  ASSERT_EQ(workflow.messages.messages.size(), 2u);
  EXPECT_EQ(workflow.messages.messages[1],
            "This document has 1 layer wider or higher than the 30000 pixels a tile can show; "
            "Plymark leaves it out: layer 0 \"Wide\" (40000 \u00d7 1).");
  ASSERT_EQ(workflow.state.SkippedLayers.size(), 1u);
}

TEST(PsbDocument, SidesBeyondEachVersionsLimitAreDamage) {
  const struct {
    std::int16_t Version;
    std::int32_t Width;
    const char* Problem;
  } cases[] = {
      {1, 30001, "more than the 30000 a side a PSD layer can have"},
      {2, 300001, "more than the 300000 a side a PSB layer can have"},
  };
  for (const auto& c : cases) {
    Workflow workflow;
    const auto failure = workflow.Open(test::BuildPsd(WideLayerDocument(c.Version, c.Width)));
    ASSERT_TRUE(failure) << c.Version;
    EXPECT_NE(failure->Problem.find(c.Problem), std::string::npos) << failure->Problem;
  }
}

TEST(PsbDocument, AFileThatIsNoPsdSaysSo) {
  // A PNG renamed .psd: its header fails, and the message says what it is not.
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0,    0, 0, 0x0D, 'I', 'H',
               'D',  'R', 0,   0,   0x01, 0,    0,    0,    0x01, 0, 8, 6,    0,   0};
  Workflow workflow;
  const auto failure = workflow.Open(png);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->Problem,
            "the image height (rows) at byte offset 14 holds 1146224640, which does not fit 16 "
            "bits; the file does not look like a PSD or PSB file, which starts with \"8BPS\"");
}

}  // namespace
}  // namespace plymark
