// The stage clock that benchmarks pass to the Open receives every stage.

#include <gtest/gtest.h>

#include <chrono>

#include "app/OpenWorkflow.h"
#include "platform/MemoryTileSurface.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

TEST(StageClock, EveryStageOfAnOpenIsTimedAndTheyFitInTheWhole) {
  test::TestDocument document;
  document.Layers = {test::SolidLayer(0, 0, 60, 80, 1, 2, 3),
                     test::SolidLayer(0, 0, 9, 9, 4, 5, 6)};
  test::FakeFileSource files;
  files.Add("a.psd", test::BuildPsd(document));
  test::FakeMessageSink messages;
  MemoryTileSurface tiles(12);
  DocumentState state;
  StageClock clock;

  const auto start = std::chrono::steady_clock::now();
  ASSERT_FALSE(OpenDocument("a.psd", state, files, messages, tiles, &clock));
  const auto whole = std::chrono::steady_clock::now() - start;

  std::chrono::nanoseconds staged{0};
  for (std::size_t stage = 0; stage < kStageCount; ++stage) {
    EXPECT_GT(clock.Spent[stage].count(), 0) << "stage " << stage;
    staged += clock.Spent[stage];
  }
  // Layers this small stay on one thread, so the stages cannot overlap.
  EXPECT_LE(staged, whole);
  EXPECT_EQ(tiles.At(0).Image.front(), 0xff010203u);
}

TEST(StageClock, AFailedOpenStillAddsTheStagesItReached) {
  test::FakeFileSource files;
  test::FakeMessageSink messages;
  MemoryTileSurface tiles(12);
  DocumentState state;
  StageClock clock;
  files.Add("short.psd", test::Bytes{'8', 'B', 'P', 'S'});
  ASSERT_TRUE(OpenDocument("short.psd", state, files, messages, tiles, &clock));
  EXPECT_GT(clock[Stage::FileRead].count(), 0);
  EXPECT_GT(clock[Stage::Parsing].count(), 0);
  EXPECT_EQ(clock[Stage::Painting].count(), 0);
}

}  // namespace
}  // namespace plymark
