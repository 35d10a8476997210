#include "psd/IccProfile.h"

#include <algorithm>
#include <span>
#include <string_view>

namespace plymark {
namespace {

constexpr std::uint16_t kIccProfileId = 1039;
constexpr std::uint16_t kIccUntaggedId = 1041;

bool IsResourceSignature(std::span<const std::uint8_t> bytes) {
  const std::string_view signature(reinterpret_cast<const char*>(bytes.data()), 4);
  return signature == "8BIM" || signature == "MeSa" || signature == "AgHg" || signature == "PHUT" ||
         signature == "DCSR";
}

std::uint32_t BigEndian32(const std::uint8_t* at) {
  return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) |
         at[3];
}

}  // namespace

std::optional<IccProfileLocation> FindIccProfile(FileView file, std::int64_t offset,
                                                 std::int64_t length) {
  if (offset < 0 || length <= 0) return std::nullopt;
  const std::int64_t end = offset + length;
  IccProfileLocation found;
  bool any = false;
  std::int64_t at = offset;
  // Signature 4, id 2, name length 1: the smallest block head.
  while (end - at >= 12) {
    const auto head = file.BytesUpTo(at, 7);
    if (head.size() < 7 || !IsResourceSignature(head)) break;
    const auto id = static_cast<std::uint16_t>((head[4] << 8) | head[5]);
    // The name: a length byte and its characters, padded to an even size.
    std::int64_t nameSize = 1 + std::int64_t{head[6]};
    nameSize += nameSize % 2;
    const std::int64_t sizeAt = at + 6 + nameSize;
    if (end - sizeAt < 4) break;
    const auto sizeBytes = file.BytesUpTo(sizeAt, 4);
    if (sizeBytes.size() < 4) break;
    const std::int64_t dataSize = BigEndian32(sizeBytes.data());
    const std::int64_t dataAt = sizeAt + 4;
    if (dataSize > end - dataAt) break;
    if (id == kIccProfileId) {
      found.Offset = dataAt;
      found.Length = dataSize;
      any = true;
    } else if (id == kIccUntaggedId && dataSize >= 1) {
      const auto flag = file.BytesUpTo(dataAt, 1);
      found.Untagged = flag.size() == 1 && flag[0] != 0;
      any = true;
    }
    at = dataAt + dataSize + dataSize % 2;
  }
  if (!any) return std::nullopt;
  return found;
}

std::vector<std::uint8_t> ReadIccProfile(FileView file, const IccProfileLocation& location) {
  // The walk kept the resource inside the section, but the section's length
  // is not checked against the file: a profile cut short keeps what the file
  // holds, and the profile's own size then refuses it.
  if (location.Length <= 0 || location.Offset < 0 || location.Offset >= file.size()) return {};
  const std::int64_t stored = std::min(location.Length, file.size() - location.Offset);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stored));
  file.ReadInto(location.Offset, bytes, "ICC profile (image resource 1039)");
  return bytes;
}

}  // namespace plymark
