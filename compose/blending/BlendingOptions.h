#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compose/Adjustments.h"
#include "psd/DocumentState.h"

namespace plymark {

// What a layer's knockout reaches through to ('knko'): nothing, the bottom
// of its group or clipping set, or the document's background.
enum class Knockout : std::uint8_t { None, Shallow, Deep };

// One blend-if slider pair, in the 0..255 steps the record stores: values
// below BlackLow and above WhiteHigh are hidden, values from BlackHigh to
// WhiteLow shown, and the split halves ramp between.
struct BlendIfRange {
  float BlackLow = 0;
  float BlackHigh = 0;
  float WhiteLow = 255;
  float WhiteHigh = 255;

  bool Full() const;
  // How much of a value (0..255) this range lets through, 0..1.
  float Weight(float value) const;
};

// The record's blending ranges: [0] the composite grey, [1 + c] colour
// channel c; "this layer" (Source) and "underlying layer".
struct BlendIfRanges {
  std::array<BlendIfRange, 5> Source{};
  std::array<BlendIfRange, 5> Underlying{};
};

// An artboard: its rectangle, to which its members are clipped, and the
// colour its background is filled with (none: transparent).
struct ArtboardPlan {
  std::int32_t Top = 0;
  std::int32_t Left = 0;
  std::int32_t Bottom = 0;
  std::int32_t Right = 0;
  std::optional<std::array<float, 4>> Background;  ///< in the document's space
};

// How a layer or group blends beyond its mode, opacity and fill: the
// layer style dialog's advanced blending and an artboard's frame.
struct BlendingOptions {
  Knockout KnocksOut = Knockout::None;
  /// 'tsly': the layer's transparency is its shape for knockouts and
  /// effects; off, the transparency fades the layer as fill does.
  bool TransparencyShapes = true;
  /// 'brst': bit c set for colour channel c, which the blend leaves as the
  /// backdrop has it.
  std::uint8_t KeptChannels = 0;
  std::optional<BlendIfRanges> BlendIf;  ///< only when some range is not full
  std::optional<ArtboardPlan> Artboard;
  /// Set by the render tree: a group, clipping set or the document saves the
  /// backdrop that a knockout below it reaches.
  bool SavesKnockoutBackdrop = false;
};

// Reads the advanced blending of `record` in a document of `space`. What
// cannot be read (a damaged artboard) is named in `problems`, one line each.
BlendingOptions ReadBlendingOptions(const DocumentState& state, const LayerRecord& record,
                                    const AdjustmentSpace& space,
                                    std::vector<std::string>& problems);

// The record's blending ranges as sliders; nothing when every one lets
// every value through (or the record holds none).
std::optional<BlendIfRanges> ReadBlendIfRanges(const std::vector<std::uint8_t>& ranges,
                                               int colourChannels);

}  // namespace plymark
