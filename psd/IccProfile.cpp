#include "psd/IccProfile.h"

#include <algorithm>

namespace plymark {

std::vector<std::uint8_t> ReadIccProfile(FileView file, const ResourceData& profile) {
  if (profile.Length <= 0 || profile.Offset < 0 || profile.Offset >= file.size()) return {};
  const std::int64_t stored = std::min(profile.Length, file.size() - profile.Offset);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stored));
  file.ReadInto(profile.Offset, bytes, "ICC profile (image resource 1039)");
  return bytes;
}

}  // namespace plymark
