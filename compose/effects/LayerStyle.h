#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compose/Adjustments.h"
#include "compose/BlendModes.h"
#include "compose/Paint.h"
#include "compose/effects/Contour.h"
#include "psd/DocumentState.h"
#include "psd/LayerSettings.h"

namespace plymark {

// The kinds of layer effects, in the order the maker draws them, bottom to
// top (its layer style dialog lists them top to bottom); Content is the
// layer's own pixels among them.
enum class EffectKind {
  DropShadow,
  OuterGlow,
  Content,
  PatternOverlay,
  GradientOverlay,
  ColourOverlay,
  Satin,
  InnerGlow,
  InnerShadow,
  Stroke,
  Bevel,
};

enum class StrokePosition { Outside, Inside, Centre };
enum class BevelStyle { Outer, Inner, Emboss, PillowEmboss, StrokeEmboss };
enum class BevelTechnique { Smooth, ChiselHard, ChiselSoft };

// One effect as it is drawn. Sizes and distances are in document pixels.
struct Effect {
  EffectKind Kind = EffectKind::Content;
  std::string Name;  ///< for omissions: "drop shadow", "stroke", ...
  BlendMode Mode = BlendMode::Normal;
  float Opacity = 1.0f;
  /// What it paints: its colour, or a gradient or pattern (overlays, strokes,
  /// glows).
  std::shared_ptr<const Paint> Fill;
  float Size = 0.0f;      ///< blur, glow or stroke size; a bevel's size
  float Inset = 0.0f;     ///< an overlay of a stroked shape: the vector stroke's width it leaves
  float Distance = 0.0f;  ///< shadows and satin: the offset of the shape
  float Angle = 0.0f;     ///< degrees, counter-clockwise from the right: where the light comes from
  float Spread = 0.0f;    ///< 0..1: spread of outer effects, choke of inner ones
  float Range = 1.0f;     ///< glows: the part of the contour's input used
  Contour Shape;          ///< the contour (for a bevel: its gloss contour)
  bool Knockout = true;   ///< drop shadow: the layer knocks it out
  bool Invert = false;    ///< satin
  bool Precise = false;   ///< glows: the precise technique, not the softer one
  bool FromCentre = false;  ///< inner glow: from the shape's centre, not its edges
  StrokePosition Position = StrokePosition::Outside;
  // Bevel and emboss. Fill, Mode and Opacity are its highlight's.
  BevelStyle Style = BevelStyle::Inner;
  BevelTechnique Technique = BevelTechnique::Smooth;
  float Depth = 1.0f;  ///< 0.01..10
  bool Up = true;
  float Soften = 0.0f;     ///< pixels
  float Altitude = 30.0f;  ///< degrees
  std::shared_ptr<const Paint> ShadowFill;
  BlendMode ShadowMode = BlendMode::Multiply;
  float ShadowOpacity = 0.75f;
};

// What is drawn of a layer's effects, bottom to top, its content among them.
struct LayerStyle {
  std::vector<Effect> Effects;
  /// How far the effects reach beyond the layer's shape, in pixels: the
  /// layer's area grows by as much on each side.
  std::int32_t Reach = 0;
};

// The document facts effects take: the global light (image resources 1037
// and 1049), the colour space and where paints are laid out.
struct StyleContext {
  float GlobalAngle = 120.0f;
  float GlobalAltitude = 30.0f;
  AdjustmentSpace Space;
  PaintFrame Frame;
  const DocumentState* State = nullptr;  ///< for patterns
};

struct StyleRead {
  /// Nothing when no effect is drawn (the master switch is off, none is
  /// enabled, or none can be drawn).
  std::optional<LayerStyle> Style;
  /// What is left out, one entry per effect: "gradient overlay: gradients
  /// are not drawn yet".
  std::vector<std::string> Omissions;
};

// Effects larger than this (in pixels, after the global scale) are drawn at
// this size: the maker's own sizes stop at 250.
constexpr float kLargestEffectSize = 1000.0f;

// Reads the effects of a layer's settings: the 'lfx2' or 'lmfx' descriptor,
// else the older 'lrFX' fields.
StyleRead ReadLayerStyle(const LayerSettings& settings, const StyleContext& context);

}  // namespace plymark
