#include "compose/LayerSource.h"

#include <algorithm>
#include <array>

#include "psd/PsdError.h"
#include "render/ColourModes.h"
#include "render/DeepSamples.h"

namespace plymark {

const ChannelBlock* ChannelBlockWithId(const DocumentState& state, int record, std::int16_t id) {
  const auto index = static_cast<std::size_t>(record);
  const auto& info = state.Layers[index].ChannelInfo;
  const auto& blocks = state.ChannelData[index].Blocks;
  for (std::size_t m = 0; m < info.size() && m < blocks.size(); ++m) {
    if (info[m].ChannelId == id) return &blocks[m];
  }
  return nullptr;
}

void SamplesToFloats(const std::uint8_t* samples, int bytesPerSample, std::size_t count,
                     bool coverage, float* out) {
  switch (bytesPerSample) {
    case 1:
      // A multiply, not a table, so that the loop is vectorised.
      for (std::size_t x = 0; x < count; ++x)
        out[x] = static_cast<float>(samples[x]) * (1.0f / 255.0f);
      return;
    case 2:
      for (std::size_t x = 0; x < count; ++x) {
        const auto value = static_cast<std::uint16_t>((samples[2 * x] << 8) | samples[2 * x + 1]);
        out[x] = static_cast<float>(value) * (1.0f / 65535.0f);
      }
      return;
    default:
      for (std::size_t x = 0; x < count; ++x) {
        const float value = FloatFromBigEndian(samples + 4 * x);
        // Coverage is clamped (NaN counts as 0); colours stay as stored.
        out[x] = coverage ? (value > 0.0f ? std::min(value, 1.0f) : 0.0f) : value;
      }
      return;
  }
}

PlacedChannel::PlacedChannel(const DocumentState& state, const ChannelBlock& block,
                             const Extent& rect, PlaneName name, bool coverage)
    : rows_(state.File, block, static_cast<std::size_t>(rect.Right - rect.Left),
            static_cast<std::size_t>(rect.Bottom - rect.Top),
            std::max(1, BytesPerSample(state.Header.Depth)), name),
      rect_(rect),
      bytesPerSample_(std::max(1, BytesPerSample(state.Header.Depth))),
      coverage_(coverage) {}

void PlacedChannel::Fill(std::int32_t bandTop, std::int32_t firstRow, std::int32_t endRow,
                         std::int32_t left, std::int32_t right, float* plane, std::size_t stride,
                         RowScratch& scratch) {
  const auto first = static_cast<std::size_t>(firstRow - rect_.Top);
  if (first > rows_.RowsRead()) rows_.SkipRows(first - rows_.RowsRead(), scratch);
  const auto column =
      static_cast<std::size_t>(left - rect_.Left) * static_cast<std::size_t>(bytesPerSample_);
  const auto count = static_cast<std::size_t>(right - left);
  for (std::int32_t y = firstRow; y < endRow; ++y) {
    const std::uint8_t* row = rows_.NextRow(scratch);
    float* out =
        plane + static_cast<std::size_t>(y - bandTop) * stride + static_cast<std::size_t>(left);
    SamplesToFloats(row + column, bytesPerSample_, count, coverage_, out);
  }
}

LayerSource::LayerSource(const DocumentState& state, const RenderNode& node, int colourChannels,
                         std::vector<std::string>& omissions)
    : state_(state), record_(node.Record) {
  if (node.Kind == NodeKind::Pixels && node.Painted == nullptr) {
    const ColourChannels colour = FindColourChannels(state, node.Record);
    for (int c = 0; c < colourChannels; ++c) {
      const ChannelBlock* block = colour.Blocks[static_cast<std::size_t>(c)];
      if (block == nullptr) continue;  // a missing colour channel draws 0
      colour_[static_cast<std::size_t>(c)] = std::make_unique<PlacedChannel>(
          state, *block, node.Rect, PlaneName{node.Record, c}, false);
    }
    if (const ChannelBlock* block = ChannelBlockWithId(state, node.Record, -1)) {
      try {
        transparency_ = std::make_unique<PlacedChannel>(state, *block, node.Rect,
                                                        PlaneName{node.Record, -1}, true);
      } catch (const PsdError& error) {
        DropTransparency(error.what(), omissions);
      }
    }
  }
  masks_.resize(node.Masks.size());
  for (std::size_t k = 0; k < node.Masks.size(); ++k) {
    const MaskPlan& plan = node.Masks[k];
    if (plan.Path != nullptr) continue;  // drawn from its path
    const ChannelBlock* block = ChannelBlockWithId(state, node.Record, plan.ChannelId);
    if (plan.Rect.Empty() || block == nullptr) continue;
    try {
      masks_[k] = std::make_unique<PlacedChannel>(state, *block, plan.Rect,
                                                  PlaneName{node.Record, plan.ChannelId}, true);
    } catch (const PsdError& error) {
      DropMask(k, error.what(), omissions);
    }
  }
}

void LayerSource::DropTransparency(const std::string& why, std::vector<std::string>& omissions) {
  transparency_.reset();
  omissions.push_back(LayerLabel(state_, record_) +
                      ": transparency channel damaged, drawn opaque (" + why + ")");
}

void LayerSource::DropMask(std::size_t k, const std::string& why,
                           std::vector<std::string>& omissions) {
  masks_[k].reset();
  omissions.push_back(LayerLabel(state_, record_) + ": mask damaged, drawn without it (" + why +
                      ")");
}

int LayerSource::KeepStreams(int budget) {
  const auto keep = [&budget](PlacedChannel* channel) {
    if (channel == nullptr || !channel->Rows().HoldsStream()) return;
    if (budget > 0) {
      --budget;
    } else {
      channel->Rows().CloseStream();
    }
  };
  for (auto& colour : colour_) keep(colour.get());
  keep(transparency_.get());
  for (auto& mask : masks_) keep(mask.get());
  return budget;
}

void ApplyMask(const MaskPlan& plan, const float* decoded, std::int32_t bandTop,
               std::int32_t firstRow, std::int32_t endRow, std::int32_t left, std::int32_t right,
               float* coverage, std::size_t stride) {
  const float density = plan.Density;
  const float outside = 1.0f - density * (1.0f - plan.Outside);
  for (std::int32_t y = firstRow; y < endRow; ++y) {
    const std::size_t offset = static_cast<std::size_t>(y - bandTop) * stride;
    float* row = coverage + offset;
    const bool inRows = y >= plan.Rect.Top && y < plan.Rect.Bottom && decoded != nullptr;
    const std::int32_t maskLeft = inRows ? std::clamp(plan.Rect.Left, left, right) : right;
    const std::int32_t maskRight = inRows ? std::clamp(plan.Rect.Right, left, right) : right;
    for (std::int32_t x = left; x < maskLeft; ++x) row[x] *= outside;
    for (std::int32_t x = maskLeft; x < maskRight; ++x) {
      row[x] *= 1.0f - density * (1.0f - decoded[offset + static_cast<std::size_t>(x)]);
    }
    for (std::int32_t x = maskRight; x < right; ++x) row[x] *= outside;
  }
}

}  // namespace plymark
