#include "render/LayerRows.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "render/PaintLayerTile.h"

namespace plymark {
namespace {

// From this many pixels on, a layer's rows are shared with a second thread:
// below it, starting the thread costs more than it saves.
constexpr std::size_t kSharedPixels = std::size_t{1} << 18;

}  // namespace

bool LayerRows::Prepare(const std::array<const ChannelBlock*, 3>& sources, std::int32_t width,
                        std::int32_t height) {
  width_ = width;
  height_ = height;
  gray_ = sources[0] != nullptr && sources[0] == sources[1] && sources[1] == sources[2];
  const std::size_t planeCount = gray_ ? 1 : planes_.size();
  const auto pixelCount = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (pixelCount >= kSharedPixels && height >= 2 && PrepareInHalves(sources, planeCount)) {
    return true;
  }
  for (std::size_t plane = 0; plane < planeCount; ++plane) {
    if (!planes_[plane].Prepare(sources[plane], width, height)) return false;
  }
  return true;
}

bool LayerRows::PrepareInHalves(const std::array<const ChannelBlock*, 3>& sources,
                                std::size_t planeCount) {
  std::array<bool, 3> walk{};
  for (std::size_t plane = 0; plane < planeCount; ++plane) {
    switch (planes_[plane].StartPreparing(sources[plane], width_, height_)) {
      case PlaneRows::Start::kReady:
        break;
      case PlaneRows::Start::kRefused:
        return false;
      case PlaneRows::Start::kWalk:
        walk[plane] = true;
        break;
    }
  }
  if (!walk[0] && !walk[1] && !walk[2]) return true;
  const auto walkHalf = [&](int half) {
    bool walked = true;
    for (std::size_t plane = 0; plane < planeCount; ++plane) {
      if (walk[plane] && walked) walked = planes_[plane].WalkHalf(half);
    }
    return walked;
  };
  bool secondWalked = false;
  std::thread helper;
  try {
    helper = std::thread([&] { secondWalked = walkHalf(1); });
  } catch (const std::system_error&) {
    return false;  // no second thread: Prepare walks every row
  }
  const bool firstWalked = walkHalf(0);
  helper.join();
  return firstWalked && secondWalked;
}

void LayerRows::RenderRows(std::int32_t first, std::int32_t last, std::uint32_t* const* imageRows,
                           StageClock* clock) const {
  const auto width = static_cast<std::size_t>(width_);
  const std::size_t bufferBytes = PlaneRows::BufferBytes(width_);
  const std::size_t planeCount = gray_ ? 1 : planes_.size();
  const auto buffers = std::make_unique_for_overwrite<std::uint8_t[]>(
      planeCount * static_cast<std::size_t>(kBandRows) * bufferBytes);
  std::array<std::array<const std::uint8_t*, 3>, kBandRows> values{};
  for (std::int32_t band = first; band < last; band += kBandRows) {
    const std::int32_t bandRows = std::min(kBandRows, last - band);
    {
      const StageTimer timer(clock, Stage::PlaneDecoding);
      for (std::int32_t row = 0; row < bandRows; ++row) {
        auto& rowValues = values[static_cast<std::size_t>(row)];
        for (std::size_t plane = 0; plane < planeCount; ++plane) {
          std::uint8_t* buffer =
              buffers.get() + (plane * kBandRows + static_cast<std::size_t>(row)) * bufferBytes;
          rowValues[plane] = planes_[plane].Row(band + row, buffer);
        }
        if (gray_) rowValues[1] = rowValues[2] = rowValues[0];
      }
    }
    const StageTimer timer(clock, Stage::Painting);
    for (std::int32_t row = 0; row < bandRows; ++row) {
      const auto y = static_cast<std::size_t>(band + row);
      const auto& rowValues = values[static_cast<std::size_t>(row)];
      PaintRow(rowValues[0], rowValues[1], rowValues[2], width, nullptr, imageRows[y]);
    }
  }
}

void LayerRows::Render(TileSurface& tiles, int tile, StageClock* clock) {
  std::vector<std::uint32_t*> imageRows(static_cast<std::size_t>(height_));
  {
    const StageTimer timer(clock, Stage::Painting);
    for (std::int32_t y = 0; y < height_; ++y) {
      imageRows[static_cast<std::size_t>(y)] = tiles.ImageRow(tile, y);
    }
  }
  std::uint32_t* const* rows = imageRows.data();

  std::int32_t middle = height_;
  std::thread helper;
  StageClock helperClock;
  std::exception_ptr helperError;
  const auto pixelCount = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  if (pixelCount >= kSharedPixels && height_ >= 2) {
    middle = height_ / 2;
    try {
      helper = std::thread([&] {
        try {
          RenderRows(middle, height_, rows, clock != nullptr ? &helperClock : nullptr);
        } catch (...) {
          helperError = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      middle = height_;  // no second thread: this one takes every row
    }
  }
  try {
    RenderRows(0, middle, rows, clock);
  } catch (...) {
    if (helper.joinable()) helper.join();
    throw;
  }
  if (helper.joinable()) helper.join();
  if (helperError) std::rethrow_exception(helperError);
  if (clock != nullptr) clock->Add(helperClock);
  tiles.ShowImage(tile);
}

}  // namespace plymark
