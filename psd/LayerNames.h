#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace plymark {

// The layer's name from its extra data (exactly ExtraLength bytes, or fewer
// when the file ends first), as UTF-8; `version` 2 (PSB) reads the tagged
// blocks' lengths as a PSB stores them. The extra data holds the layer mask
// data and the blending ranges (each a 4-byte length and its bytes), the name
// as a Pascal string padded to a multiple of 4, then tagged blocks. The
// UTF-16 name of a `luni` block wins; else the Pascal name as UTF-8 when it is
// valid UTF-8, else as Windows-1252. Nothing outside `extraData` is read: a
// length that runs past its end refuses what it announces, so damaged extra
// data gives an empty name (or the Pascal name, when only a tagged block is
// damaged).
std::string ReadLayerName(std::span<const std::uint8_t> extraData, std::int16_t version = 1);

}  // namespace plymark
