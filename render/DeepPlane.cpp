#include "render/DeepPlane.h"

#include <optional>
#include <string>
#include <vector>

#include "render/DeepSamples.h"
#include "render/InflatePlane.h"
#include "render/PlaneError.h"
#include "render/RunLengthBytes.h"

namespace plymark {

std::optional<std::span<const std::uint8_t>> StoredSamples(const ChannelBlock& block,
                                                           std::int32_t width, std::int32_t height,
                                                           int bytesPerSample,
                                                           std::vector<std::uint8_t>& scratch,
                                                           PlaneName name) {
  const std::size_t planeBytes = static_cast<std::size_t>(width) *
                                 static_cast<std::size_t>(height) *
                                 static_cast<std::size_t>(bytesPerSample);
  if (block.Compression == ChannelBlock::kRaw) {
    if (block.Data.size() < planeBytes) {
      throw PlaneError(block, 0, name, "raw data",
                       "holds " + std::to_string(block.Data.size()) + " bytes for " +
                           std::to_string(planeBytes / static_cast<std::size_t>(bytesPerSample)) +
                           " samples of " + std::to_string(bytesPerSample) + " bytes");
    }
    return block.Data.first(planeBytes);
  }
  if (block.Compression != ChannelBlock::kRunLength && block.Compression != ChannelBlock::kZip &&
      block.Compression != ChannelBlock::kZipPredicted) {
    return std::nullopt;
  }
  // The caller has checked the plane's size against the stored bytes.
  scratch.assign(planeBytes, 0);
  if (block.Compression == ChannelBlock::kRunLength) {
    UnpackRunLengthBytes(block, static_cast<std::size_t>(height), scratch, name);
  } else {
    if (!InflatePlane(block.Data, scratch)) return std::nullopt;
    if (block.Compression == ChannelBlock::kZipPredicted) {
      UndoPrediction(scratch, static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                     bytesPerSample);
    }
  }
  return std::span<const std::uint8_t>(scratch);
}

void DecodeDeepPlane(const ChannelBlock& block, std::int32_t tileWidth, std::int32_t tileHeight,
                     std::int16_t depth, std::span<PixelRecord> pixels, Component target,
                     PlaneName name, SampleScale scale) {
  const int bytesPerSample = BytesPerSample(depth);
  if (bytesPerSample == 0 || tileWidth <= 0 || tileHeight <= 0 || pixels.empty()) return;
  std::vector<std::uint8_t> scratch;
  const auto samples = StoredSamples(block, tileWidth, tileHeight, bytesPerSample, scratch, name);
  // Other codes and a ZIP stream that does not fill the plane leave the component as it is.
  if (samples) WriteSamples(*samples, bytesPerSample, pixels, target, scale);
}

}  // namespace plymark
