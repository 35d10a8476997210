#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "psd/DocumentState.h"
#include "render/DecodePlane.h"

namespace plymark {

// The stored block of layer `layer`'s channel `channelId` (the first one of
// that id), or null when the layer has none.
ChannelBlock* FindChannelBlock(DocumentState& state, int layer, std::int16_t channelId);

// Decodes one stored channel of width x height samples of `depth` bits into
// 8-bit grey, one byte per pixel, row-major: 16-bit samples scaled with
// rounding, 32-bit floats clamped to 0..1 and scaled linearly (a transparency
// or mask channel is no colour). Raw, run-length and ZIP (with or without
// prediction) data are decoded; another code, a ZIP stream that does not
// inflate to the plane's size or a depth that cannot be shown leaves the
// plane 0. Raw or run-length data too short for the plane throws PsdError.
std::vector<std::uint8_t> DecodeGreyPlane(const ChannelBlock& block, std::int32_t width,
                                          std::int32_t height, std::int16_t depth, PlaneName name);

// Channel `channelId` of layer `layer` (the transparency -1, the user mask
// -2) read from the open file and decoded at width x height into 8-bit grey.
// Nothing when the layer has no such channel; an empty plane when width or
// height is not positive. A size that the channel's stored bytes could not
// fill is refused before memory is taken for it, with PsdError naming
// `field` (say "mask rectangle") of the layer.
std::optional<std::vector<std::uint8_t>> ReadGreyChannel(DocumentState& state, int layer,
                                                         std::int16_t channelId, std::int32_t width,
                                                         std::int32_t height, const char* field);

// As ReadGreyChannel, into 16-bit grey: 8-bit samples times 257, 16-bit ones
// whole, 32-bit floats clamped to 0..1 and scaled linearly.
std::optional<std::vector<std::uint16_t>> ReadGreyChannel16(DocumentState& state, int layer,
                                                            std::int16_t channelId,
                                                            std::int32_t width, std::int32_t height,
                                                            const char* field);

// True when layer `layer` has a user mask whose picture can be made: mask
// data, a channel -2, and a rectangle with pixels no wider or higher than a
// layer can be.
bool HasMaskPlane(const DocumentState& state, int layer);

// The user mask of layer `layer` (channel -2) read from the open file and
// decoded at its rectangle's size into 8-bit grey; nothing when HasMaskPlane
// is false. Throws PsdError as ReadGreyChannel does.
std::optional<std::vector<std::uint8_t>> ReadMaskPlane(DocumentState& state, int layer);
std::optional<std::vector<std::uint16_t>> ReadMaskPlane16(DocumentState& state, int layer);

}  // namespace plymark
