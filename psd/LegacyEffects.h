#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "psd/Descriptor.h"

namespace plymark {

// A colour of the older effects: a colour space (0 RGB, 1 HSB, 2 CMYK, 7
// Lab, 8 grey) and four 16-bit components as that space stores them.
struct LegacyColour {
  std::uint16_t Space = 0;
  std::array<std::uint16_t, 4> Components{};
};

// One effect of an 'lrFX' block, the layer effects as Photoshop 5 stored
// them. What each kind holds (angles, sizes and intensities are 16.16 fixed
// point in the file):
//   "cmnS" common state: Enabled (the effects are shown);
//   "dsdw", "isdw" drop and inner shadow: Blur, Intensity, Angle, Distance,
//     Colour, BlendMode, Enabled, UseGlobalAngle, Opacity, NativeColour;
//   "oglw", "iglw" outer and inner glow: Blur, Intensity, Colour, BlendMode,
//     Enabled, Opacity, Invert (inner glow only), NativeColour;
//   "bevl" bevel: Angle, Strength, Blur, BlendMode and ShadowBlendMode,
//     Colour and ShadowColour, BevelStyle, Opacity and ShadowOpacity, Enabled,
//     UseGlobalAngle, Up, NativeColour and ShadowNativeColour;
//   "sofi" solid fill: BlendMode, Colour, Opacity, Enabled, NativeColour.
// The fields that a version-0 effect lacks stay empty.
struct LegacyEffect {
  std::string Key;
  std::uint32_t Version = 0;
  bool Enabled = false;
  std::optional<double> Blur;       ///< pixels
  std::optional<double> Intensity;  ///< percent
  std::optional<double> Angle;      ///< degrees
  std::optional<double> Distance;   ///< pixels
  std::optional<double> Strength;   ///< the bevel's depth
  std::optional<LegacyColour> Colour;
  std::optional<LegacyColour> ShadowColour;
  std::optional<LegacyColour> NativeColour;
  std::optional<LegacyColour> ShadowNativeColour;
  std::string BlendMode;                ///< a blend-mode key, "mul ", "scrn", ...
  std::string ShadowBlendMode;          ///< the bevel's shadow
  std::optional<std::uint8_t> Opacity;  ///< 0 to 255
  std::optional<std::uint8_t> ShadowOpacity;
  std::optional<bool> UseGlobalAngle;
  std::optional<bool> Invert;
  std::optional<bool> Up;  ///< the bevel rises (true) or sinks
  std::optional<std::uint8_t>
      BevelStyle;  ///< 1 outer, 2 inner, 3 emboss, 4 pillow emboss, 5 stroke emboss
};

struct LegacyEffects {
  std::uint16_t Version = 0;
  std::vector<LegacyEffect>
      Effects;  ///< in stored order; kinds this reader does not know keep their key only
};

// Reads an 'lrFX' block's data, which starts at `fileOffset` in the file: a
// version, a count, then per effect the signature "8BIM", its key, a 4-byte
// size and that many bytes. Throws PsdError when the block is damaged.
// Each effect takes kLegacyEffectValues values of `budget`.
constexpr std::size_t kLegacyEffectValues = 24;
LegacyEffects ReadLegacyEffects(std::span<const std::uint8_t> data, std::int64_t fileOffset,
                                const std::string& context, SettingsBudget& budget);

}  // namespace plymark
