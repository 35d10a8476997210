#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace plymark {

// Inflates the zlib stream of a ZIP-coded channel into `plane`. True only
// when the stream is valid zlib and inflates to exactly plane.size() bytes;
// nothing is ever written past the plane's end. On false the plane may hold
// part of the output.
bool InflatePlane(std::span<const std::uint8_t> stream, std::span<std::uint8_t> plane);

// Undoes the prediction of compression code 3 in place, row by row: `plane`
// holds `height` rows of `width` big-endian samples of `bytesPerSample` bytes.
// 1: byte deltas. 2: 16-bit sample deltas. 4: byte deltas across the row,
// whose bytes are the samples' four byte planes (most significant first),
// then each sample put back together from its four planes.
void UndoPrediction(std::span<std::uint8_t> plane, std::size_t width, std::size_t height,
                    int bytesPerSample);

}  // namespace plymark
