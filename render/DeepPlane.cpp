#include "render/DeepPlane.h"

#include <string>
#include <vector>

#include "render/DeepSamples.h"
#include "render/InflatePlane.h"
#include "render/PlaneError.h"
#include "render/RunLengthBytes.h"

namespace plymark {
namespace {

constexpr std::int16_t kRaw = 0;
constexpr std::int16_t kRunLength = 1;
constexpr std::int16_t kZip = 2;
constexpr std::int16_t kZipPredicted = 3;

}  // namespace

void DecodeDeepPlane(const ChannelBlock& block, std::int32_t tileWidth, std::int32_t tileHeight,
                     std::int16_t depth, std::span<PixelRecord> pixels, Component target,
                     PlaneName name, SampleScale scale) {
  const int bytesPerSample = BytesPerSample(depth);
  if (bytesPerSample == 0 || tileWidth <= 0 || tileHeight <= 0 || pixels.empty()) return;
  const std::size_t planeBytes = pixels.size() * static_cast<std::size_t>(bytesPerSample);

  if (block.Compression == kRaw) {
    if (block.Data.size() < planeBytes) {
      throw PlaneError(block, 0, name, "raw data",
                       "holds " + std::to_string(block.Data.size()) + " bytes for " +
                           std::to_string(pixels.size()) + " samples of " +
                           std::to_string(bytesPerSample) + " bytes");
    }
    WriteSamples(block.Data.first(planeBytes), bytesPerSample, pixels, target, scale);
    return;
  }
  if (block.Compression != kRunLength && block.Compression != kZip &&
      block.Compression != kZipPredicted) {
    return;  // other codes leave the component as it is
  }

  // The layer loop has checked the plane's size against the stored bytes.
  std::vector<std::uint8_t> plane(planeBytes, 0);
  if (block.Compression == kRunLength) {
    UnpackRunLengthBytes(block, static_cast<std::size_t>(tileHeight), plane, name);
  } else {
    if (!InflatePlane(block.Data, plane)) return;
    if (block.Compression == kZipPredicted) {
      UndoPrediction(plane, static_cast<std::size_t>(tileWidth),
                     static_cast<std::size_t>(tileHeight), bytesPerSample);
    }
  }
  WriteSamples(plane, bytesPerSample, pixels, target, scale);
}

}  // namespace plymark
