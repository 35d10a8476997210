#include "compose/ChannelBytes.h"

#include <algorithm>
#include <atomic>

namespace plymark {
namespace {

// Bytes read at once: a few hundred rows of a wide layer, one read of the system.
constexpr std::size_t kChunk = std::size_t{256} << 10;

std::uint64_t NextId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

ChannelBytes::ChannelBytes(const FileView& file, const ChannelBlock& block)
    : file_(file),
      offset_(block.DataOffset),
      size_(block.DataLength),
      memory_(file.InMemory(block.DataOffset, static_cast<std::size_t>(block.DataLength))),
      id_(NextId()) {}

const std::uint8_t* ChannelBytes::At(std::int64_t index, std::size_t count,
                                     ReadWindow& window) const {
  if (!memory_.empty() || size_ == 0) return memory_.data() + index;
  if (window.Owner == id_ && index >= window.Start &&
      static_cast<std::size_t>(index - window.Start) + count <= window.Filled) {
    return window.Bytes.data() + (index - window.Start);
  }
  const std::size_t wanted =
      std::min(std::max(count, kChunk), static_cast<std::size_t>(size_ - index));
  if (window.Bytes.size() < wanted) window.Bytes.resize(wanted);
  window.Owner = 0;  // a read that fails leaves no stale bytes behind
  file_.ReadInto(offset_ + index, std::span(window.Bytes.data(), wanted), "channel data");
  window.Owner = id_;
  window.Start = index;
  window.Filled = wanted;
  return window.Bytes.data();
}

void ChannelBytes::CopyTo(std::int64_t index, std::span<std::uint8_t> into) const {
  if (into.empty()) return;
  if (!memory_.empty()) {
    std::copy_n(memory_.data() + index, into.size(), into.data());
    return;
  }
  file_.ReadInto(offset_ + index, into, "channel data");
}

}  // namespace plymark
