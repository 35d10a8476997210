#include <algorithm>
#include <cstring>

#include "platform/FileSource.h"

namespace plymark {

ReadResult MemoryFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const {
  if (offset >= bytes_.size()) return {};
  const std::size_t count =
      std::min<std::size_t>(into.size(), bytes_.size() - static_cast<std::size_t>(offset));
  if (count > 0) std::memcpy(into.data(), bytes_.data() + offset, count);
  return {count, {}};
}

}  // namespace plymark
