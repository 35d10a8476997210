#include "psd/ChannelData.h"

#include <algorithm>
#include <exception>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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

namespace {

// Buffers up to this size are kept from document to document.
constexpr std::size_t kKeptBufferSize = std::size_t{64} << 20;
// From this many bytes on, two threads read at once: copying from the page
// cache is bound by one core's speed.
constexpr std::size_t kSharedReadSize = std::size_t{8} << 20;

// Bytes of the file at Offset, read into Into.
struct Stretch {
  std::int64_t Offset = 0;
  std::span<std::uint8_t> Into;
};

void ReadStretchesOnOneThread(const FileView& file, std::span<const Stretch> stretches,
                              const std::string& field) {
  for (const Stretch& stretch : stretches) file.ReadInto(stretch.Offset, stretch.Into, field);
}

// Reads every stretch, the second half of the bytes on a second thread.
void ReadStretches(const FileView& file, std::vector<Stretch> stretches, const std::string& field) {
  std::size_t total = 0;
  for (const Stretch& stretch : stretches) total += stretch.Into.size();
  if (total < kSharedReadSize) {
    ReadStretchesOnOneThread(file, stretches, field);
    return;
  }
  // Cut the stretches where half the bytes lie behind.
  std::vector<Stretch> second;
  std::size_t before = 0;
  for (std::size_t k = 0; k < stretches.size(); ++k) {
    const std::size_t size = stretches[k].Into.size();
    if (before + size > total / 2) {
      const std::size_t kept = total / 2 - before;
      second.push_back(
          {stretches[k].Offset + static_cast<std::int64_t>(kept), stretches[k].Into.subspan(kept)});
      second.insert(second.end(), stretches.begin() + static_cast<std::ptrdiff_t>(k) + 1,
                    stretches.end());
      stretches.resize(k + 1);
      stretches[k].Into = stretches[k].Into.first(kept);
      break;
    }
    before += size;
  }
  std::exception_ptr secondError;
  std::thread helper;
  try {
    helper = std::thread([&] {
      try {
        ReadStretchesOnOneThread(file, second, field);
      } catch (...) {
        secondError = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    ReadStretchesOnOneThread(file, stretches, field);
    ReadStretchesOnOneThread(file, second, field);
    return;
  }
  try {
    ReadStretchesOnOneThread(file, stretches, field);
  } catch (...) {
    helper.join();
    throw;
  }
  helper.join();
  if (secondError) std::rethrow_exception(secondError);
}

}  // namespace

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
  // A buffer far larger than this layer needs, left by an earlier document,
  // is given back.
  if (buffer.Capacity < total || buffer.Capacity / 4 > std::max(total, kKeptBufferSize)) {
    buffer.Bytes.reset();  // the previous layer's bytes go first
    buffer.Capacity = 0;
    // With room to spare: layers of one document often differ by a few bytes,
    // and each fresh buffer costs its first touch again.
    const std::size_t capacity = total + total / 16;
    buffer.Bytes = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    buffer.Capacity = capacity;
    // Fresh memory costs most at its first touch: share that between two cores.
    PrefaultInParallel(buffer.Bytes.get(), capacity);
  }
  std::vector<Stretch> stretches;
  std::size_t used = 0;
  for (ChannelBlock* block : blocks) {
    if (block == nullptr || !block->Data.empty() || block->DataLength == 0) continue;
    const std::span<std::uint8_t> into(buffer.Bytes.get() + used,
                                       static_cast<std::size_t>(block->DataLength));
    stretches.push_back({block->DataOffset, into});
    block->Data = into;
    used += into.size();
  }
  ReadStretches(state.File, stretches, "channel data of layer " + std::to_string(layer));
}

}  // namespace plymark
