#pragma once

#include <array>
#include <cstdint>

#include "psd/DocumentState.h"
#include "render/LayerLoop.h"

namespace plymark {

// All layers of a file together may have this many pixels beyond what their
// channels can fill: twelve layers' allowance. Without this cap every layer
// record of 34 bytes could ask for 65536 pixels to be made and cleared.
constexpr std::int64_t kFilePixelAllowance = 12 * kPixelAllowance;

// |a - b| of two edges of layer `layer`'s record, refused with PsdError
// naming `field` when it does not fit 32 bits.
std::int32_t EdgeDistance(std::int32_t a, std::int32_t b, const LayerRecord& record, int layer,
                          const char* field);

// Refuses a layer whose size its stored bytes could not produce, before any
// memory or time is spent on it. Each sample takes `bytesPerSample` bytes.
// `unfilledSoFar` counts the pixels of the layers before that lie beyond what
// their channels can fill. True when the layer fits a tile; false when it is
// a PSB layer too large for one.
bool CheckLayerSize(std::int32_t width, std::int32_t height, std::int16_t version,
                    const std::array<const ChannelBlock*, 4>& sources, const LayerRecord& record,
                    int layer, int bytesPerSample, std::int64_t& unfilledSoFar);

}  // namespace plymark
