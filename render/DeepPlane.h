#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "psd/DocumentState.h"
#include "render/DecodePlane.h"

namespace plymark {

// Decodes one stored channel whose samples are 16- or 32-bit, or which is
// ZIP-coded at any depth, into component `target` of `pixels` (tileWidth x
// tileHeight records, row-major). Raw (0), run-length (1), ZIP (2) and ZIP
// with prediction (3) are decoded; a ZIP stream that is not valid or does not
// inflate to exactly the plane's size, another code, or a depth that cannot be
// shown leaves the component as it is. Raw or run-length data too short for
// the plane throws PsdError.
// The big-endian samples of a width x height plane of `bytesPerSample`-byte
// samples as stored: a view of raw data, or the run-length or ZIP data
// unpacked into `scratch` (bytes no run-length packet reaches stay 0). None
// for another code, or a ZIP stream that is not valid or does not inflate to
// exactly the plane's size. Raw or run-length data too short for the plane
// throws PsdError.
std::optional<std::span<const std::uint8_t>> StoredSamples(const ChannelBlock& block,
                                                           std::int32_t width, std::int32_t height,
                                                           int bytesPerSample,
                                                           std::vector<std::uint8_t>& scratch,
                                                           PlaneName name);

void DecodeDeepPlane(const ChannelBlock& block, std::int32_t tileWidth, std::int32_t tileHeight,
                     std::int16_t depth, std::span<PixelRecord> pixels, Component target,
                     PlaneName name, SampleScale scale = SampleScale::To8Bits);

}  // namespace plymark
