#pragma once

#include <array>
#include <chrono>
#include <cstddef>

namespace plymark {

// The stages of an Open, as a benchmark reports them.
enum class Stage {
  FileRead,       ///< the file's bytes into memory
  Parsing,        ///< header, fixed sections, layer records and channel blocks
  LayerSetup,     ///< tile sizing and the pixel buffer of every layer
  PlaneDecoding,  ///< the colour planes into the pixel buffer
  Painting,       ///< the pixel buffer into the tiles
};
inline constexpr std::size_t kStageCount = 5;

// Time spent per stage, summed over every call. Work done on helper threads
// is added to the stage it belongs to, so a stage's time can exceed the wall
// time it overlapped with. Only benchmarks pass one; the workflow takes a null
// pointer by default and then reads no clock at all.
struct StageClock {
  std::array<std::chrono::nanoseconds, kStageCount> Spent{};

  std::chrono::nanoseconds& operator[](Stage stage) {
    return Spent[static_cast<std::size_t>(stage)];
  }
  void Add(const StageClock& other) {
    for (std::size_t i = 0; i < kStageCount; ++i) Spent[i] += other.Spent[i];
  }
};

// Adds the time from its construction to its end to one stage of a clock;
// does nothing without a clock.
class StageTimer {
 public:
  StageTimer(StageClock* clock, Stage stage) : clock_(clock), stage_(stage) {
    if (clock_ != nullptr) start_ = std::chrono::steady_clock::now();
  }
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;
  ~StageTimer() {
    if (clock_ != nullptr) (*clock_)[stage_] += std::chrono::steady_clock::now() - start_;
  }

 private:
  StageClock* clock_;
  Stage stage_;
  std::chrono::steady_clock::time_point start_{};
};

}  // namespace plymark
