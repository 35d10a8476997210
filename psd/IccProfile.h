#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "psd/FieldReader.h"

namespace plymark {

// What the image resources say about the document's colour profile.
struct IccProfileLocation {
  std::int64_t Offset = 0;  ///< byte offset of the profile (resource 1039) in the file
  std::int64_t Length = 0;  ///< the resource's stored data size; 0 without a profile
  bool Untagged = false;    ///< resource 1041 asks for the document to be shown untagged
};

// Walks the image-resources section (`length` bytes from byte `offset`) for
// the ICC profile (1039) and the untagged flag (1041); none when the document
// has neither. The walk is lenient: a block whose signature is not a resource
// signature, or which does not fit the section, ends it with what was found.
std::optional<IccProfileLocation> FindIccProfile(FileView file, std::int64_t offset,
                                                 std::int64_t length);

// The profile's bytes, as far as the file holds them; empty when there is none.
std::vector<std::uint8_t> ReadIccProfile(FileView file, const IccProfileLocation& location);

}  // namespace plymark
