#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace plymark {

// The layer's name from its extra data (exactly ExtraLength bytes, or fewer
// when the file ends first), as UTF-8. The extra data holds the layer mask
// data and the blending ranges (each a 4-byte length and its bytes), the name
// as a Pascal string padded to a multiple of 4, then tagged blocks. The
// UTF-16 name of a `luni` block wins; else the Pascal name as UTF-8 when it is
// valid UTF-8, else as Windows-1252. Nothing outside `extraData` is read: a
// length that runs past its end refuses what it announces, so damaged extra
// data gives an empty name (or the Pascal name, when only a tagged block is
// damaged).
std::string ReadLayerName(std::span<const std::uint8_t> extraData);

// The extra data of a record whose extra-data length field ends before the
// 1-based `position`: ExtraLength bytes from there, cut at the end of the
// file; empty when the length is not positive or the position lies outside
// the file.
std::span<const std::uint8_t> ExtraDataOf(std::span<const std::uint8_t> file, std::int32_t position,
                                          std::int32_t extraLength);

}  // namespace plymark
