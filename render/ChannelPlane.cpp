#include "render/ChannelPlane.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "psd/ChannelData.h"
#include "psd/PsdError.h"
#include "render/DeepPlane.h"
#include "render/DeepSamples.h"
#include "render/LayerLoop.h"

namespace plymark {
namespace {

constexpr std::int16_t kUserMaskChannel = -2;

std::uint8_t GreyOfFloatSample(const std::uint8_t* bytes) {
  const float sample = FloatFromBigEndian(bytes);
  // NaN fails the comparison and ends at 0. In single precision, as readers
  // that scale float planes whole do.
  const float linear = sample > 0.0f ? std::min(sample, 1.0f) : 0.0f;
  return static_cast<std::uint8_t>(std::floor(linear * 255.0f + 0.5f));
}

// Big-endian samples of `bytesPerSample` bytes (2 or 4) as 8-bit grey.
void ToGrey(std::span<const std::uint8_t> samples, int bytesPerSample,
            std::span<std::uint8_t> grey) {
  const std::uint8_t* in = samples.data();
  for (std::uint8_t& out : grey) {
    if (bytesPerSample == 2) {
      out = static_cast<std::uint8_t>(
          ComponentOf16BitSample(static_cast<std::uint16_t>((in[0] << 8) | in[1])));
    } else {
      out = GreyOfFloatSample(in);
    }
    in += bytesPerSample;
  }
}

// Big-endian samples of `bytesPerSample` bytes (1, 2 or 4) as 16-bit grey.
void ToGrey16(std::span<const std::uint8_t> samples, int bytesPerSample,
              std::span<std::uint16_t> grey) {
  const std::uint8_t* in = samples.data();
  for (std::uint16_t& out : grey) {
    if (bytesPerSample == 1) {
      out = static_cast<std::uint16_t>(in[0] * 257);
    } else if (bytesPerSample == 2) {
      out = static_cast<std::uint16_t>((in[0] << 8) | in[1]);
    } else {
      const float sample = FloatFromBigEndian(in);
      const float linear = sample > 0.0f ? std::min(sample, 1.0f) : 0.0f;
      out = static_cast<std::uint16_t>(std::floor(linear * 65535.0f + 0.5f));
    }
    in += bytesPerSample;
  }
}

// Channel `channelId` of layer `layer` for a width x height plane, its
// stored bytes read; null when the layer has no such channel. Refuses a size
// its stored bytes could not fill before memory is taken for it.
const ChannelBlock* LoadGreyChannel(DocumentState& state, int layer, std::int16_t channelId,
                                    std::int32_t width, std::int32_t height, const char* field) {
  ChannelBlock* block = FindChannelBlock(state, layer, channelId);
  if (block == nullptr || width <= 0 || height <= 0) return block;
  const int bytesPerSample = std::max(1, BytesPerSample(state.Header.Depth));
  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  const std::int64_t producible =
      block->DataLength * GreatestExpansion(block->Compression) / bytesPerSample;
  if (pixels > kPixelAllowance + producible) {
    const LayerRecord& record = state.Layers[static_cast<std::size_t>(layer)];
    throw PsdError::Damaged(
        record.RecordOffset, std::string(field) + " of layer " + std::to_string(layer),
        "measures " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels, more than channel " + std::to_string(channelId) + " can fill");
  }
  const std::array<ChannelBlock*, 1> blocks = {block};
  LoadChannelBlocks(state, layer, blocks);
  return block;
}

}  // namespace

ChannelBlock* FindChannelBlock(DocumentState& state, int layer, std::int16_t channelId) {
  const auto index = static_cast<std::size_t>(layer);
  if (index >= state.Layers.size() || index >= state.ChannelData.size()) return nullptr;
  const auto& info = state.Layers[index].ChannelInfo;
  auto& blocks = state.ChannelData[index].Blocks;
  for (std::size_t m = 0; m < info.size() && m < blocks.size(); ++m) {
    if (info[m].ChannelId == channelId) return &blocks[m];
  }
  return nullptr;
}

std::vector<std::uint8_t> DecodeGreyPlane(const ChannelBlock& block, std::int32_t width,
                                          std::int32_t height, std::int16_t depth, PlaneName name) {
  const std::size_t pixels =
      static_cast<std::size_t>(std::max(0, width)) * static_cast<std::size_t>(std::max(0, height));
  std::vector<std::uint8_t> grey(pixels, 0);
  const int bytesPerSample = BytesPerSample(depth);
  if (pixels == 0 || bytesPerSample == 0) return grey;
  // 8-bit samples are unpacked straight into the grey plane.
  std::vector<std::uint8_t> deep;
  std::vector<std::uint8_t>& scratch = bytesPerSample == 1 ? grey : deep;
  const auto samples = StoredSamples(block, width, height, bytesPerSample, scratch, name);
  if (!samples) {
    std::fill(grey.begin(), grey.end(), std::uint8_t{0});  // a failed inflate may have written
    return grey;
  }
  if (bytesPerSample != 1) {
    ToGrey(*samples, bytesPerSample, grey);
  } else if (samples->data() != grey.data()) {
    std::copy_n(samples->data(), pixels, grey.data());  // raw data, viewed in place
  }
  return grey;
}

std::optional<std::vector<std::uint8_t>> ReadGreyChannel(DocumentState& state, int layer,
                                                         std::int16_t channelId, std::int32_t width,
                                                         std::int32_t height, const char* field) {
  const ChannelBlock* block = LoadGreyChannel(state, layer, channelId, width, height, field);
  if (block == nullptr) return std::nullopt;
  if (width <= 0 || height <= 0) return std::vector<std::uint8_t>();
  return DecodeGreyPlane(*block, width, height, state.Header.Depth, PlaneName{layer, channelId});
}

std::optional<std::vector<std::uint16_t>> ReadGreyChannel16(DocumentState& state, int layer,
                                                            std::int16_t channelId,
                                                            std::int32_t width, std::int32_t height,
                                                            const char* field) {
  const ChannelBlock* block = LoadGreyChannel(state, layer, channelId, width, height, field);
  if (block == nullptr) return std::nullopt;
  if (width <= 0 || height <= 0) return std::vector<std::uint16_t>();
  std::vector<std::uint16_t> grey(static_cast<std::size_t>(width) *
                                  static_cast<std::size_t>(height));
  const int bytesPerSample = BytesPerSample(state.Header.Depth);
  if (bytesPerSample == 0) return grey;
  std::vector<std::uint8_t> scratch;
  const auto samples =
      StoredSamples(*block, width, height, bytesPerSample, scratch, PlaneName{layer, channelId});
  if (samples) ToGrey16(*samples, bytesPerSample, grey);
  return grey;
}

bool HasMaskPlane(const DocumentState& state, int layer) {
  const LayerRecord& record = state.Layers[static_cast<std::size_t>(layer)];
  if (!record.Mask) return false;
  const std::int64_t width = static_cast<std::int64_t>(record.Mask->Right) - record.Mask->Left;
  const std::int64_t height = static_cast<std::int64_t>(record.Mask->Bottom) - record.Mask->Top;
  if (width <= 0 || height <= 0 || width > kLargestLayerSide || height > kLargestLayerSide) {
    return false;
  }
  return std::any_of(
      record.ChannelInfo.begin(), record.ChannelInfo.end(),
      [](const ChannelInfoRecord& info) { return info.ChannelId == kUserMaskChannel; });
}

std::optional<std::vector<std::uint8_t>> ReadMaskPlane(DocumentState& state, int layer) {
  if (!HasMaskPlane(state, layer)) return std::nullopt;
  const LayerMask mask = *state.Layers[static_cast<std::size_t>(layer)].Mask;
  return ReadGreyChannel(state, layer, kUserMaskChannel, mask.Right - mask.Left,
                         mask.Bottom - mask.Top, "mask rectangle");
}

std::optional<std::vector<std::uint16_t>> ReadMaskPlane16(DocumentState& state, int layer) {
  if (!HasMaskPlane(state, layer)) return std::nullopt;
  const LayerMask mask = *state.Layers[static_cast<std::size_t>(layer)].Mask;
  return ReadGreyChannel16(state, layer, kUserMaskChannel, mask.Right - mask.Left,
                           mask.Bottom - mask.Top, "mask rectangle");
}

}  // namespace plymark
