#include "render/LayerSize.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

#include "psd/PsdError.h"

namespace plymark {
namespace {

std::string LayerField(int layer, const char* field) {
  return std::string(field) + " of layer " + std::to_string(layer);
}

}  // namespace

std::int32_t EdgeDistance(std::int32_t a, std::int32_t b, const LayerRecord& record, int layer,
                          const char* field) {
  const std::int64_t distance = std::abs(static_cast<std::int64_t>(a) - b);
  if (distance > std::numeric_limits<std::int32_t>::max()) {
    throw PsdError::Damaged(
        record.RecordOffset, LayerField(layer, field),
        "is " + std::to_string(distance) + " pixels, which does not fit 32 bits");
  }
  return static_cast<std::int32_t>(distance);
}

bool CheckLayerSize(std::int32_t width, std::int32_t height, std::int16_t version,
                    const std::array<const ChannelBlock*, 4>& sources, const LayerRecord& record,
                    int layer, int bytesPerSample, std::int64_t& unfilledSoFar) {
  const std::int32_t largestSide = version == 2 ? kLargestPsbLayerSide : kLargestLayerSide;
  if (width > largestSide || height > largestSide) {
    throw PsdError::Damaged(record.RecordOffset, LayerField(layer, "rectangle"),
                            "measures " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels, more than the " + std::to_string(largestSide) +
                                " a side a " + (version == 2 ? "PSB" : "PSD") + " layer can have");
  }
  std::int64_t producible = 0;
  for (const ChannelBlock* block : sources) {
    if (block == nullptr) continue;
    producible = std::max(
        producible, block->DataLength * GreatestExpansion(block->Compression) / bytesPerSample);
  }
  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  if (pixels > kPixelAllowance + producible) {
    throw PsdError::Damaged(record.RecordOffset, LayerField(layer, "rectangle"),
                            "measures " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels, more than its stored channel data can fill");
  }
  if (width > kLargestLayerSide || height > kLargestLayerSide) return false;
  unfilledSoFar += std::max<std::int64_t>(0, pixels - producible);
  if (unfilledSoFar > kFilePixelAllowance) {
    throw PsdError::Damaged(record.RecordOffset, LayerField(layer, "rectangle"),
                            "brings the pixels that no stored channel data fills to " +
                                std::to_string(unfilledSoFar) + ", more than the " +
                                std::to_string(kFilePixelAllowance) + " a file may have");
  }
  return true;
}

}  // namespace plymark
