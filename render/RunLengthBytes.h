#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "psd/DocumentState.h"
#include "render/DecodePlane.h"

namespace plymark {

// Unpacks a run-length (PackBits) channel of `rows` rows byte by byte into
// `plane`, for samples wider than one byte. The row lengths are unsigned
// 16-bit (a wide 16-bit row may pack to more than 32767 bytes) and only stop
// rules: a row ends at the first packet boundary at or beyond its length, and
// the write cursor runs on across rows. Bytes no packet reaches keep their
// value. Data that ends too soon or unpacks past the plane throws PsdError.
void UnpackRunLengthBytes(const ChannelBlock& block, std::size_t rows,
                          std::span<std::uint8_t> plane, PlaneName name);

}  // namespace plymark
