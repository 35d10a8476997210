#include "psd/ChannelData.h"

#include <string>

#include "psd/PsdError.h"

namespace plymark {

void ReadChannelData(FileView file, DocumentState& state, std::int32_t position) {
  std::vector<ChannelTableEntry> table(static_cast<std::size_t>(state.LayerCount));
  for (int k = 0; k < state.LayerCount; ++k) {
    const LayerRecord& layer = state.Layers[static_cast<std::size_t>(k)];
    ChannelTableEntry& entry = table[static_cast<std::size_t>(k)];
    entry.BlockCount = layer.ChannelCount;
    entry.Blocks.resize(static_cast<std::size_t>(layer.ChannelCount));
    for (int m = 0; m < layer.ChannelCount; ++m) {
      const std::int32_t length = layer.ChannelInfo[static_cast<std::size_t>(m)].ChannelLength;
      const std::string where = "channel " + std::to_string(m) + " of layer " + std::to_string(k);
      if (length < 2) {
        throw PsdError::Damaged(position - 1, "data of " + where,
                                "has a stored length of " + std::to_string(length) +
                                    ", too short for its compression code");
      }
      ChannelBlock& block = entry.Blocks[static_cast<std::size_t>(m)];
      block.Compression = ReadInt16(file, position, "compression code of " + where);
      const std::int64_t dataLength = static_cast<std::int64_t>(length) - 2;
      if (dataLength > BytesLeft(file, position)) {
        throw PsdError::Truncated(static_cast<std::int64_t>(position) - 1, file.size(),
                                  "data of " + where);
      }
      block.DataOffset = static_cast<std::int64_t>(position) - 1;
      block.Data = file.subspan(static_cast<std::size_t>(block.DataOffset),
                                static_cast<std::size_t>(dataLength));
      position = AdvancePosition(position, dataLength, "data of " + where);
    }
  }
  state.ChannelData = std::move(table);
}

}  // namespace plymark
