#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "psd/DocumentState.h"

namespace plymark {

// What a layer record's extra data says about the layer.
struct LayerExtraData {
  std::string Name;                          ///< UTF-8; empty when the data holds none
  std::optional<LayerMask> Mask;             ///< the user mask, when described
  std::int32_t SectionDividerSetting = 0;    ///< of an `lsct` or `lsdk` block; 0 without one
  std::vector<std::uint8_t> BlendingRanges;  ///< as stored
  std::vector<TaggedBlockRef> Blocks;        ///< every tagged block that fits, in order
};

// Walks a layer's extra data (exactly ExtraLength bytes, or fewer when the
// file ends first) once; `version` 2 (PSB) reads the tagged blocks' lengths as
// a PSB stores them. The extra data holds the layer mask data and the blending
// ranges (each a 4-byte length and its bytes), the name as a Pascal string
// padded to a multiple of 4, then tagged blocks.
//
// The name: the UTF-16 name of a `luni` block wins; else the Pascal name as
// UTF-8 when it is valid UTF-8, else as Windows-1252. The mask: layer mask
// data of at least 18 bytes (rectangle, default colour, flags). The section
// divider: the type of the first `lsct` or `lsdk` block. Blocks are listed
// with their file offsets, counted from `fileOffset`, where the extra data
// starts in the file.
//
// Nothing outside `extraData` is read and nothing is an error: a length that
// runs past the end refuses what it announces, so damaged extra data gives
// what was read before the damage (an empty name, no mask, no divider).
LayerExtraData ReadLayerExtraData(std::span<const std::uint8_t> extraData, std::int16_t version = 1,
                                  std::int64_t fileOffset = 0);

}  // namespace plymark
