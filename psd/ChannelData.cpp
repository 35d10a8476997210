#include "psd/ChannelData.h"

#include <string>

#include "platform/Prefault.h"
#include "psd/PsdError.h"

namespace plymark {

void ReadChannelData(FileView file, DocumentState& state, std::int64_t position) {
  const std::int64_t largest = LargestPosition(state.Header.Version);
  std::vector<ChannelTableEntry> table(static_cast<std::size_t>(state.LayerCount));
  for (int k = 0; k < state.LayerCount; ++k) {
    const LayerRecord& layer = state.Layers[static_cast<std::size_t>(k)];
    ChannelTableEntry& entry = table[static_cast<std::size_t>(k)];
    entry.BlockCount = layer.ChannelCount;
    entry.Blocks.resize(static_cast<std::size_t>(layer.ChannelCount));
    for (int m = 0; m < layer.ChannelCount; ++m) {
      const std::int64_t length = layer.ChannelInfo[static_cast<std::size_t>(m)].ChannelLength;
      const std::string where = "channel " + std::to_string(m) + " of layer " + std::to_string(k);
      if (length < 2) {
        throw PsdError::Damaged(position - 1, "data of " + where,
                                "has a stored length of " + std::to_string(length) +
                                    ", too short for its compression code");
      }
      ChannelBlock& block = entry.Blocks[static_cast<std::size_t>(m)];
      block.Compression = ReadInt16(file, position, "compression code of " + where);
      const std::int64_t dataLength = length - 2;
      if (dataLength > BytesLeft(file, position)) {
        throw PsdError::Truncated(position - 1, static_cast<std::size_t>(file.size()),
                                  "data of " + where);
      }
      block.DataOffset = position - 1;
      block.DataLength = dataLength;
      block.RowLengthBytes = state.Header.Version == 2 ? 4 : 2;
      block.Data = file.InMemory(block.DataOffset, static_cast<std::size_t>(dataLength));
      position = AdvancePosition(position, dataLength, "data of " + where, largest);
    }
  }
  state.ChannelData = std::move(table);
  state.LoadedLayer = -1;
}

void LoadChannelBlocks(DocumentState& state, int layer, std::span<ChannelBlock* const> blocks) {
  // The previous layer's blocks viewed the buffer, which is about to be reused.
  if (state.LoadedLayer >= 0 && state.LoadedLayer < static_cast<int>(state.ChannelData.size())) {
    for (ChannelBlock& block :
         state.ChannelData[static_cast<std::size_t>(state.LoadedLayer)].Blocks) {
      if (state.File.InMemory(block.DataOffset, static_cast<std::size_t>(block.DataLength))
              .empty()) {
        block.Data = {};
      }
    }
  }
  state.LoadedLayer = layer;
  std::size_t total = 0;
  for (const ChannelBlock* block : blocks) {
    if (block != nullptr && block->Data.empty())
      total += static_cast<std::size_t>(block->DataLength);
  }
  if (total == 0) return;
  auto& buffer = state.ChannelBuffer;
  if (buffer.Capacity < total) {
    buffer.Bytes.reset();  // the previous layer's bytes go first
    buffer.Capacity = 0;
    buffer.Bytes = std::make_unique_for_overwrite<std::uint8_t[]>(total);
    buffer.Capacity = total;
    // Fresh memory costs most at its first touch: share that between two cores.
    PrefaultInParallel(buffer.Bytes.get(), total);
  }
  const std::string field = "channel data of layer " + std::to_string(layer);
  std::size_t used = 0;
  for (ChannelBlock* block : blocks) {
    if (block == nullptr || !block->Data.empty() || block->DataLength == 0) continue;
    const std::span<std::uint8_t> into(buffer.Bytes.get() + used,
                                       static_cast<std::size_t>(block->DataLength));
    state.File.ReadInto(block->DataOffset, into, field);
    block->Data = into;
    used += into.size();
  }
}

}  // namespace plymark
