#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace plymark {

// The blend modes of the format, one per key of a layer record or a section
// divider block. Names follow the W3C Compositing and Blending text where it
// has the mode.
enum class BlendMode {
  PassThrough,   ///< 'pass': a group whose layers blend straight into the backdrop
  Normal,        ///< 'norm'
  Dissolve,      ///< 'diss': drawn as Normal; its noise cannot be matched
  Darken,        ///< 'dark'
  Multiply,      ///< 'mul '
  ColorBurn,     ///< 'idiv'
  LinearBurn,    ///< 'lbrn'
  DarkerColor,   ///< 'dkCl'
  Lighten,       ///< 'lite'
  Screen,        ///< 'scrn'
  ColorDodge,    ///< 'div '
  LinearDodge,   ///< 'lddg'
  LighterColor,  ///< 'lgCl'
  Overlay,       ///< 'over'
  SoftLight,     ///< 'sLit'
  HardLight,     ///< 'hLit'
  VividLight,    ///< 'vLit'
  LinearLight,   ///< 'lLit'
  PinLight,      ///< 'pLit'
  HardMix,       ///< 'hMix'
  Difference,    ///< 'diff'
  Exclusion,     ///< 'smud'
  Subtract,      ///< 'fsub'
  Divide,        ///< 'fdiv'
  Hue,           ///< 'hue '
  Saturation,    ///< 'sat '
  Color,         ///< 'colr'
  Luminosity,    ///< 'lum '
};

// The mode of a four-character key; none for a key the format does not define.
std::optional<BlendMode> BlendModeOfKey(std::string_view key);
std::string_view KeyOfBlendMode(BlendMode mode);

// What the generic compositing loop needs to know of a mode beside its formula.
struct BlendModeTraits {
  /// B(Cb, Cs) works on each component alone; otherwise it takes the three
  /// colour components together (hue, saturation, colour, luminosity, darker
  /// and lighter colour).
  bool Separable = true;
  /// Fill opacity acts inside the formula (colour and linear burn, colour and
  /// linear dodge, difference, vivid and linear light, hard mix): the source
  /// is first moved towards Neutral by the fill, B(Cb, N + f (Cs - N)).
  bool FillInsideFormula = false;
  /// N of those modes; hard mix has none and keeps 0 here.
  float Neutral = 0.0f;
};
BlendModeTraits TraitsOf(BlendMode mode);

// The colour-mode rules of the loop. Every mode blends the stored values
// scaled to 0..1: CMYK's inverted inks (so a non-separable mode takes stored
// C, M, Y as red, green and blue), Lab's L, a and b, duotone's one channel.

// The mode drawn in a document of header colour mode `colorMode`: grey,
// duotone and multichannel documents have no hue to take or give, so the
// non-separable modes draw as Normal there; pass-through and dissolve draw as
// Normal everywhere (dissolve's noise cannot be matched).
BlendMode DrawnBlendMode(BlendMode mode, std::int16_t colorMode);

// Where a CMYK pixel's black comes from: separable modes blend it as any
// other ink; hue, saturation and colour keep the backdrop's black, luminosity
// takes the source's; darker and lighter colour take the black of the pixel
// they pick.
enum class CmykBlack { Blended, Backdrop, Source, PickedPixel };
CmykBlack CmykBlackOf(BlendMode mode);

}  // namespace plymark
