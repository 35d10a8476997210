#pragma once

#include <cstdint>
#include <optional>

#include "psd/FieldReader.h"

namespace plymark {

// The data of one tagged block: 1-based position of its first byte and the
// position just behind it.
struct TaggedBlockData {
  std::int32_t Begin = 0;
  std::int32_t End = 0;
};

// Documents of 16 and 32 bits keep their layers in an "Lr16" or "Lr32" tagged
// block behind an empty layer info. Walks from `position` (where the layer
// info ends) over the global layer mask info and the tagged blocks behind it,
// up to `sectionEnd`, and gives the data of the first such block. A walk that
// meets a length or signature that does not fit stops there and finds nothing:
// these blocks are only looked into, never required.
std::optional<TaggedBlockData> FindLayerBlock(FileView file, std::int32_t position,
                                              std::int64_t sectionEnd);

}  // namespace plymark
