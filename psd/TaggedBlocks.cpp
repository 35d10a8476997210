#include "psd/TaggedBlocks.h"

#include <algorithm>
#include <array>
#include <string>

#include "psd/PsdError.h"

namespace plymark {
namespace {

// Signature and key of a tagged block; its length follows.
constexpr std::int64_t kTaggedBlockSignatureAndKey = 8;

std::uint64_t BigEndian(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (const std::uint8_t byte : bytes) value = (value << 8) | byte;
  return value;
}

bool IsSignature(std::span<const std::uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return text == "8BIM" || text == "8B64";
}

}  // namespace

const TaggedBlockRef* FindBlock(const std::vector<TaggedBlockRef>& blocks, std::string_view key) {
  const auto found = std::find_if(blocks.begin(), blocks.end(),
                                  [key](const TaggedBlockRef& block) { return block.Key == key; });
  return found != blocks.end() ? &*found : nullptr;
}

std::vector<std::uint8_t> ReadBlockData(const FileView& file, const TaggedBlockRef& block,
                                        std::size_t largest) {
  const std::string field = "'" + block.Key + "' block";
  if (block.Length < 0 || static_cast<std::uint64_t>(block.Length) > largest) {
    throw PsdError::Damaged(block.Offset, field,
                            "is " + std::to_string(block.Length) + " bytes long, more than the " +
                                std::to_string(largest) + " its settings may take");
  }
  std::vector<std::uint8_t> data(static_cast<std::size_t>(block.Length));
  file.ReadInto(block.Offset, data, field);
  return data;
}

bool HasEightByteLength(std::int16_t version, std::string_view key) {
  // The format's own list, and "cinf", which PSB writers store the same way.
  static constexpr std::array<std::string_view, 14> kKeys = {"LMsk", "Lr16", "Lr32", "Layr", "Mt16",
                                                             "Mt32", "Mtrn", "Alph", "FMsk", "lnk2",
                                                             "FEid", "FXid", "PxSD", "cinf"};
  return version == 2 && std::find(kKeys.begin(), kKeys.end(), key) != kKeys.end();
}

GlobalTaggedBlocks WalkGlobalTaggedBlocks(FileView file, std::int64_t position,
                                          std::int64_t sectionEnd, std::int16_t version) {
  GlobalTaggedBlocks found;
  // Every read below stays inside the section and inside the file.
  const std::int64_t end = std::min(sectionEnd, file.size() + 1);
  std::int64_t p = position;
  if (p < 1 || p + 4 > end) return found;

  // The global layer mask info: a length, then that many bytes.
  const auto maskLength = static_cast<std::int64_t>(BigEndian(file.Bytes(p - 1, 4, "")));
  p += 4 + maskLength;

  while (p + kTaggedBlockSignatureAndKey + 4 <= end) {
    const auto head = file.Bytes(p - 1, kTaggedBlockSignatureAndKey, "");
    if (!IsSignature(head.first(4))) return found;
    const std::string key(reinterpret_cast<const char*>(head.data()) + 4, 4);
    const std::int64_t lengthSize = HasEightByteLength(version, key) ? 8 : 4;
    if (p + kTaggedBlockSignatureAndKey + lengthSize > end) return found;
    const std::uint64_t length = BigEndian(
        file.Bytes(p - 1 + kTaggedBlockSignatureAndKey, static_cast<std::size_t>(lengthSize), ""));
    const std::int64_t dataBegin = p + kTaggedBlockSignatureAndKey + lengthSize;
    if (length > static_cast<std::uint64_t>(end - dataBegin)) return found;
    const auto dataLength = static_cast<std::int64_t>(length);
    found.Blocks.push_back({key, dataBegin - 1, dataLength});
    if ((key == "Lr16" || key == "Lr32" || key == "Layr") && !found.LayerBlock) {
      found.LayerBlock = TaggedBlockData{dataBegin, dataBegin + dataLength};
    }
    if (key == "Mtrn" || key == "Mt16" || key == "Mt32") found.MergedTransparency = true;
    // The data is padded to an even size; some writers pad to a multiple of
    // 4 without counting it, and the next signature tells which.
    p = dataBegin + dataLength + (dataLength % 2);
    const std::int64_t fourAligned = dataBegin + (dataLength + 3) / 4 * 4;
    if (fourAligned != p && fourAligned + 4 <= end && p + 4 <= end &&
        !IsSignature(file.Bytes(p - 1, 4, "")) && IsSignature(file.Bytes(fourAligned - 1, 4, ""))) {
      p = fourAligned;
    }
  }
  return found;
}

}  // namespace plymark
