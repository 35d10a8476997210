#pragma once

#include <cstdint>
#include <span>

#include "psd/DocumentState.h"

namespace plymark {

// Which component of the pixel records a plane fills.
enum class Component { Red, Green, Blue };

// How samples of 16 bits reach the pixel records.
enum class SampleScale {
  To8Bits,  ///< scaled to 0..255
  /// kept whole, as the bits of an unsigned 16-bit value, for a colour profile
  /// or a 16-bit picture; 32-bit floats then go through the sRGB curve to 0..65535
  Whole16Bits,
};

// The member of a pixel record that a component names.
using ComponentField = std::int16_t PixelRecord::*;
ComponentField FieldOf(Component target);

// Names the plane being decoded, for error messages.
struct PlaneName {
  int Layer = 0;
  int ChannelId = 0;
};

// Decodes one stored channel of samples of `depth` bits into component
// `target` of `pixels` (tileWidth x tileHeight records, row-major). Raw (0),
// PackBits run-length (1), ZIP (2) and ZIP with prediction (3) data are
// decoded; any other compression, or a depth other than 8, 16 and 32, leaves
// the component as it is. Run-length rows follow the stored row lengths only
// as stopping rules: a row ends at the first packet boundary at or beyond its
// length, and the pixel cursor runs on across rows. Damaged data throws
// PsdError. 16-bit samples are written as `scale` says.
void DecodePlane(const ChannelBlock& block, std::int32_t tileWidth, std::int32_t tileHeight,
                 std::span<PixelRecord> pixels, Component target, PlaneName name,
                 std::int16_t depth = 8, SampleScale scale = SampleScale::To8Bits);

}  // namespace plymark
