#include "psd/TaggedBlocks.h"

#include <algorithm>
#include <limits>
#include <string>

namespace plymark {
namespace {

// Signature, key and length of a tagged block.
constexpr std::int64_t kTaggedBlockHead = 12;

std::uint32_t BigEndian32(FileView file, std::int64_t position) {
  const auto offset = static_cast<std::size_t>(position - 1);
  return (static_cast<std::uint32_t>(file[offset]) << 24) |
         (static_cast<std::uint32_t>(file[offset + 1]) << 16) |
         (static_cast<std::uint32_t>(file[offset + 2]) << 8) | file[offset + 3];
}

std::string FourCharacters(FileView file, std::int64_t position) {
  const auto offset = static_cast<std::size_t>(position - 1);
  return std::string(file.begin() + static_cast<std::ptrdiff_t>(offset),
                     file.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

}  // namespace

std::optional<TaggedBlockData> FindLayerBlock(FileView file, std::int32_t position,
                                              std::int64_t sectionEnd) {
  // Every read below stays inside the section and inside the file, and every
  // position fits the 32 bits of a read position.
  const std::int64_t end =
      std::min({sectionEnd, static_cast<std::int64_t>(file.size()) + 1,
                static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max())});
  std::int64_t p = position;
  if (p < 1 || p + 4 > end) return std::nullopt;

  // The global layer mask info: a length, then that many bytes.
  const std::int64_t maskLength = BigEndian32(file, p);
  p += 4 + maskLength;

  while (p + kTaggedBlockHead <= end) {
    const std::string signature = FourCharacters(file, p);
    if (signature != "8BIM" && signature != "8B64") return std::nullopt;
    const std::string key = FourCharacters(file, p + 4);
    const std::int64_t length = BigEndian32(file, p + 8);
    const std::int64_t dataBegin = p + kTaggedBlockHead;
    if (length > end - dataBegin) return std::nullopt;
    if (key == "Lr16" || key == "Lr32") {
      return TaggedBlockData{static_cast<std::int32_t>(dataBegin),
                             static_cast<std::int32_t>(dataBegin + length)};
    }
    // The data is padded to an even size.
    p = dataBegin + length + (length % 2);
  }
  return std::nullopt;
}

}  // namespace plymark
