#pragma once

#include <cstdint>
#include <vector>

#include "psd/FieldReader.h"
#include "psd/ImageResources.h"

namespace plymark {

// The bytes of the ICC profile resource (1039) that the image resources
// point at, as far as the file holds them; empty for an empty resource. The
// resource lies inside the image-resources section, whose length is not
// checked against the file: the read stops where the file ends, so that a
// length of gigabytes allocates no more than the file has.
std::vector<std::uint8_t> ReadIccProfile(FileView file, const ResourceData& profile);

}  // namespace plymark
