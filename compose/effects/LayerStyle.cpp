#include "compose/effects/LayerStyle.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

#include "compose/effects/EffectGeometry.h"

namespace plymark {
namespace {

struct KindOfKey {
  std::string_view Key;
  EffectKind Kind;
  std::string_view Name;
};

// The effects of an 'lfx2' descriptor, and the lists of an 'lmfx' one.
constexpr std::array<KindOfKey, 15> kKinds = {{
    {"DrSh", EffectKind::DropShadow, "drop shadow"},
    {"dropShadowMulti", EffectKind::DropShadow, "drop shadow"},
    {"OrGl", EffectKind::OuterGlow, "outer glow"},
    {"patternFill", EffectKind::PatternOverlay, "pattern overlay"},
    {"GrFl", EffectKind::GradientOverlay, "gradient overlay"},
    {"gradientFillMulti", EffectKind::GradientOverlay, "gradient overlay"},
    {"SoFi", EffectKind::ColourOverlay, "colour overlay"},
    {"solidFillMulti", EffectKind::ColourOverlay, "colour overlay"},
    {"ChFX", EffectKind::Satin, "satin"},
    {"IrGl", EffectKind::InnerGlow, "inner glow"},
    {"IrSh", EffectKind::InnerShadow, "inner shadow"},
    {"innerShadowMulti", EffectKind::InnerShadow, "inner shadow"},
    {"FrFX", EffectKind::Stroke, "stroke"},
    {"frameFXMulti", EffectKind::Stroke, "stroke"},
    {"ebbl", EffectKind::Bevel, "bevel and emboss"},
}};

// The 'BlnM' values of the effects' modes, by the record key of each mode.
constexpr std::array<std::array<std::string_view, 2>, 27> kModeValues = {{
    {"Nrml", "norm"},        {"Dslv", "diss"},
    {"Drkn", "dark"},        {"Mltp", "mul "},
    {"CBrn", "idiv"},        {"linearBurn", "lbrn"},
    {"darkerColor", "dkCl"}, {"Lghn", "lite"},
    {"Scrn", "scrn"},        {"CDdg", "div "},
    {"linearDodge", "lddg"}, {"lighterColor", "lgCl"},
    {"Ovrl", "over"},        {"SftL", "sLit"},
    {"HrdL", "hLit"},        {"vividLight", "vLit"},
    {"linearLight", "lLit"}, {"pinLight", "pLit"},
    {"hardMix", "hMix"},     {"Dfrn", "diff"},
    {"Xclu", "smud"},        {"blendSubtraction", "fsub"},
    {"blendDivide", "fdiv"}, {"H   ", "hue "},
    {"Strt", "sat "},        {"Clr ", "colr"},
    {"Lmns", "lum "},
}};

std::optional<BlendMode> ModeOfValue(std::string_view value) {
  for (const auto& [name, key] : kModeValues) {
    if (name == value) return BlendModeOfKey(key);
  }
  return std::nullopt;
}

float Clamped(std::optional<double> value, float low, float high, float otherwise) {
  if (!value || !std::isfinite(*value)) return otherwise;
  return static_cast<float>(
      std::clamp(*value, static_cast<double>(low), static_cast<double>(high)));
}

// A number item 0..100 % as 0..1.
float Fraction(const Descriptor& settings, std::string_view key, float otherwise) {
  return Clamped(settings.Number(key), 0.0f, 100.0f, otherwise * 100.0f) / 100.0f;
}

float Pixels(const Descriptor& settings, std::string_view key) {
  return Clamped(settings.Number(key), 0.0f, kLargestEffectSize, 0.0f);
}

const std::string* EnumValue(const Descriptor& settings, std::string_view key) {
  const auto* value = settings.Get<Enumerated>(key);
  return value != nullptr ? &value->Value : nullptr;
}

class StyleReader {
 public:
  StyleReader(const StyleContext& context, StyleRead& read) : context_(context), read_(read) {}

  void FromDescriptor(const Descriptor& settings) {
    if (!settings.Boolean("masterFXSwitch").value_or(true)) return;
    // 'Scl ' is not applied: the maker's merged images show the stored sizes
    // and distances drawn as they are.
    for (const DescriptorItem& item : settings.Items) {
      const auto kind = std::find_if(kKinds.begin(), kKinds.end(),
                                     [&](const KindOfKey& k) { return k.Key == item.Key; });
      if (kind == kKinds.end()) continue;
      if (const auto* one = item.Value.As<Descriptor>()) {
        Add(*kind, *one);
      } else if (const auto* list = item.Value.As<std::vector<DescriptorValue>>()) {
        // The first of a list is drawn on top.
        for (auto it = list->rbegin(); it != list->rend(); ++it) {
          if (const auto* each = it->As<Descriptor>()) Add(*kind, *each);
        }
      }
    }
  }

  void FromLegacy(const LegacyEffects& legacy);

  void Finish() {
    if (effects_.empty()) return;
    Effect content;
    content.Kind = EffectKind::Content;
    effects_.push_back(std::move(content));
    std::stable_sort(effects_.begin(), effects_.end(), [](const Effect& a, const Effect& b) {
      return static_cast<int>(a.Kind) < static_cast<int>(b.Kind);
    });
    LayerStyle style;
    for (const Effect& effect : effects_) style.Reach = std::max(style.Reach, ReachOf(effect));
    style.Effects = std::move(effects_);
    read_.Style = std::move(style);
  }

 private:
  void Omit(std::string_view name, const std::string& why) {
    read_.Omissions.push_back(std::string(name) + ": " + why);
  }

  float Angle(const Descriptor& settings) const {
    if (settings.Boolean("uglg").value_or(false)) return context_.GlobalAngle;
    return Clamped(settings.Number("lagl"), -360.0f, 360.0f, context_.GlobalAngle);
  }

  // The effect's own paint: a colour, or for a stroke its gradient or pattern.
  std::shared_ptr<const Paint> PaintOf(const KindOfKey& kind, const Descriptor& settings) {
    PaintRead paint;
    const std::string* type = EnumValue(settings, "PntT");
    if (kind.Kind == EffectKind::GradientOverlay || (type != nullptr && *type == "GrFl")) {
      paint = ReadGradientPaint(settings, context_.Frame, context_.Space);
    } else if (kind.Kind == EffectKind::PatternOverlay || (type != nullptr && *type == "Ptrn")) {
      if (context_.State == nullptr) return nullptr;
      paint = ReadPatternPaint(settings, *context_.State, context_.Frame, context_.Space);
    } else if (settings.Find("Clr ") == nullptr && settings.Find("Grad") != nullptr) {
      paint.Problem = "glows of a gradient are not drawn yet";
    } else {
      paint = ReadColourPaint(settings, context_.Space);
    }
    if (paint.Source == nullptr) Omit(kind.Name, paint.Problem);
    return std::move(paint.Source);
  }

  void Add(const KindOfKey& kind, const Descriptor& settings) {
    if (!settings.Boolean("enab").value_or(true)) return;
    Effect effect;
    effect.Kind = kind.Kind;
    effect.Name = std::string(kind.Name);
    effect.Opacity = Fraction(settings, "Opct", 1.0f);
    if (const std::string* mode = EnumValue(settings, "Md  ")) {
      const auto known = ModeOfValue(*mode);
      if (!known) {
        Omit(kind.Name, "blend mode '" + *mode + "'");
        return;
      }
      effect.Mode = *known;
    }
    if (effect.Kind == EffectKind::Bevel) {
      if (!ReadBevel(settings, effect)) return;
    } else {
      effect.Fill = PaintOf(kind, settings);
      if (effect.Fill == nullptr) return;
    }
    effect.Size = Pixels(settings, effect.Kind == EffectKind::Stroke ? "Sz  " : "blur");
    effect.Distance = Pixels(settings, "Dstn");
    effect.Angle = Angle(settings);
    effect.Spread = Fraction(settings, "Ckmt", 0.0f);
    effect.Range = std::max(0.01f, Fraction(settings, "Inpr", 0.5f));
    if (const Descriptor* contour =
            settings.Object(kind.Kind == EffectKind::Satin ? "MpgS" : "TrnS")) {
      if (effect.Kind != EffectKind::Bevel)
        effect.Shape = Contour::Read(*contour).value_or(Contour());
    }
    effect.Knockout = settings.Boolean("layerConceals").value_or(true);
    effect.Invert = settings.Boolean("Invr").value_or(false);
    if (const std::string* technique = EnumValue(settings, "GlwT"))
      effect.Precise = *technique == "PrBL";
    if (const std::string* source = EnumValue(settings, "glwS"))
      effect.FromCentre = *source == "SrcC";
    if (const std::string* style = EnumValue(settings, "Styl")) {
      effect.Position = *style == "InsF"   ? StrokePosition::Inside
                        : *style == "CtrF" ? StrokePosition::Centre
                                           : StrokePosition::Outside;
    }
    if (Fraction(settings, "Nose", 0.0f) > 0.0f) Omit(kind.Name, "noise (drawn without)");
    if (Fraction(settings, "ShdN", 0.0f) > 0.0f) Omit(kind.Name, "jitter (drawn without)");
    effects_.push_back(std::move(effect));
  }

  bool ReadBevel(const Descriptor& settings, Effect& effect) {
    PaintRead highlight;
    PaintRead shadow;
    if (const Descriptor* colour = settings.Object("hglC")) {
      highlight = ReadColourPaint(WithColour(*colour), context_.Space);
    }
    if (const Descriptor* colour = settings.Object("sdwC")) {
      shadow = ReadColourPaint(WithColour(*colour), context_.Space);
    }
    if (highlight.Source == nullptr || shadow.Source == nullptr) {
      Omit("bevel and emboss", "its colours cannot be read");
      return false;
    }
    effect.Fill = std::move(highlight.Source);
    effect.ShadowFill = std::move(shadow.Source);
    const auto mode = [&](std::string_view key, BlendMode otherwise) {
      const std::string* value = EnumValue(settings, key);
      return value != nullptr ? ModeOfValue(*value).value_or(otherwise) : otherwise;
    };
    effect.Mode = mode("hglM", BlendMode::Screen);
    effect.ShadowMode = mode("sdwM", BlendMode::Multiply);
    effect.Opacity = Fraction(settings, "hglO", 0.75f);
    effect.ShadowOpacity = Fraction(settings, "sdwO", 0.75f);
    if (const std::string* style = EnumValue(settings, "bvlS")) {
      effect.Style = *style == "OtrB"           ? BevelStyle::Outer
                     : *style == "Embs"         ? BevelStyle::Emboss
                     : *style == "PlEb"         ? BevelStyle::PillowEmboss
                     : *style == "strokeEmboss" ? BevelStyle::StrokeEmboss
                                                : BevelStyle::Inner;
    }
    if (effect.Style == BevelStyle::StrokeEmboss) {
      Omit("bevel and emboss", "stroke emboss");
      return false;
    }
    if (const std::string* technique = EnumValue(settings, "bvlT")) {
      effect.Technique = *technique == "PrBL"   ? BevelTechnique::ChiselHard
                         : *technique == "Slmt" ? BevelTechnique::ChiselSoft
                                                : BevelTechnique::Smooth;
    }
    if (const std::string* direction = EnumValue(settings, "bvlD"))
      effect.Up = *direction != "Out ";
    effect.Depth = Clamped(settings.Number("srgR"), 1.0f, 1000.0f, 100.0f) / 100.0f;
    effect.Soften = Clamped(settings.Number("Sftn"), 0.0f, 50.0f, 0.0f);
    effect.Altitude = settings.Boolean("uglg").value_or(false)
                          ? context_.GlobalAltitude
                          : Clamped(settings.Number("Lald"), 0.0f, 90.0f, 30.0f);
    if (const Descriptor* gloss = settings.Object("TrnS")) {
      effect.Shape = Contour::Read(*gloss).value_or(Contour());
    }
    if (settings.Boolean("useTexture").value_or(false)) Omit("bevel and emboss", "texture");
    if (settings.Boolean("useShape").value_or(false)) Omit("bevel and emboss", "contour");
    return true;
  }

  // Settings whose 'Clr ' is `colour`, for ReadColourPaint.
  static Descriptor WithColour(const Descriptor& colour) {
    Descriptor settings;
    settings.ClassId = "null";
    settings.Items.push_back({"Clr ", DescriptorValue{"Objc", colour}});
    return settings;
  }

  const StyleContext& context_;
  StyleRead& read_;
  std::vector<Effect> effects_;
};

// A colour of the older effects as the descriptors store colours.
std::optional<Descriptor> DescriptorOfLegacy(const LegacyColour& colour) {
  const auto& c = colour.Components;
  Descriptor object;
  const auto add = [&object](const char* key, double value) {
    object.Items.push_back({key, DescriptorValue{"doub", value}});
  };
  switch (colour.Space) {
    case 0:
      object.ClassId = "RGBC";
      add("Rd  ", c[0] / 257.0);
      add("Grn ", c[1] / 257.0);
      add("Bl  ", c[2] / 257.0);
      return object;
    case 1:
      object.ClassId = "HSBC";
      add("H   ", c[0] * 360.0 / 65536.0);
      add("Strt", c[1] * 100.0 / 65535.0);
      add("Brgh", c[2] * 100.0 / 65535.0);
      return object;
    case 2:
      // Stored as 65535 for no ink.
      object.ClassId = "CMYC";
      add("Cyn ", 100.0 - c[0] * 100.0 / 65535.0);
      add("Mgnt", 100.0 - c[1] * 100.0 / 65535.0);
      add("Ylw ", 100.0 - c[2] * 100.0 / 65535.0);
      add("Blck", 100.0 - c[3] * 100.0 / 65535.0);
      return object;
    case 7:
      object.ClassId = "LbCl";
      add("Lmnc", c[0] / 100.0);
      add("A   ", static_cast<std::int16_t>(c[1]) / 100.0);
      add("B   ", static_cast<std::int16_t>(c[2]) / 100.0);
      return object;
    case 8:
      object.ClassId = "Grsc";
      add("Gry ", c[0] / 100.0);
      return object;
    default:
      return std::nullopt;
  }
}

}  // namespace

void StyleReader::FromLegacy(const LegacyEffects& legacy) {
  for (const LegacyEffect& old : legacy.Effects) {
    if (old.Key == "cmnS" && !old.Enabled) return;  // the effects are hidden
  }
  const auto colourPaint = [&](const std::optional<LegacyColour>& colour,
                               std::string_view name) -> std::shared_ptr<const Paint> {
    const auto object = colour ? DescriptorOfLegacy(*colour) : std::nullopt;
    if (!object) {
      Omit(name, "its colour cannot be read");
      return nullptr;
    }
    PaintRead paint = ReadColourPaint(WithColour(*object), context_.Space);
    if (paint.Source == nullptr) Omit(name, paint.Problem);
    return std::move(paint.Source);
  };
  for (const LegacyEffect& old : legacy.Effects) {
    const auto kind = old.Key == "dsdw"   ? kKinds[0]
                      : old.Key == "isdw" ? kKinds[10]
                      : old.Key == "oglw" ? kKinds[2]
                      : old.Key == "iglw" ? kKinds[9]
                      : old.Key == "sofi" ? kKinds[6]
                      : old.Key == "bevl" ? kKinds[14]
                                          : KindOfKey{"", EffectKind::Content, ""};
    if (kind.Kind == EffectKind::Content || !old.Enabled) continue;
    Effect effect;
    effect.Kind = kind.Kind;
    effect.Name = std::string(kind.Name);
    effect.Mode = BlendModeOfKey(old.BlendMode).value_or(BlendMode::Normal);
    effect.Opacity = old.Opacity.value_or(255) / 255.0f;
    effect.Fill = colourPaint(old.Colour, kind.Name);
    if (effect.Fill == nullptr) continue;
    effect.Size = Clamped(old.Blur, 0.0f, kLargestEffectSize, 0.0f);
    effect.Distance = Clamped(old.Distance, 0.0f, kLargestEffectSize, 0.0f);
    effect.Angle = old.UseGlobalAngle.value_or(false)
                       ? context_.GlobalAngle
                       : Clamped(old.Angle, -360.0f, 360.0f, context_.GlobalAngle);
    effect.Spread = Clamped(old.Intensity, 0.0f, 100.0f, 0.0f) / 100.0f;
    if (kind.Kind == EffectKind::Bevel) {
      effect.ShadowFill = colourPaint(old.ShadowColour, kind.Name);
      if (effect.ShadowFill == nullptr) continue;
      effect.ShadowMode = BlendModeOfKey(old.ShadowBlendMode).value_or(BlendMode::Multiply);
      effect.ShadowOpacity = old.ShadowOpacity.value_or(191) / 255.0f;
      effect.Up = old.Up.value_or(true);
      effect.Depth = Clamped(old.Strength, 1.0f, 250.0f, 1.0f);
      effect.Altitude = context_.GlobalAltitude;
      const std::uint8_t style = old.BevelStyle.value_or(2);
      effect.Style = style == 1   ? BevelStyle::Outer
                     : style == 3 ? BevelStyle::Emboss
                     : style == 4 ? BevelStyle::PillowEmboss
                                  : BevelStyle::Inner;
      effect.Spread = 0.0f;
    }
    effects_.push_back(std::move(effect));
  }
}

StyleRead ReadLayerStyle(const LayerSettings& settings, const StyleContext& context) {
  StyleRead read;
  StyleReader reader(context, read);
  if (settings.Effects && settings.Effects->Settings) {
    reader.FromDescriptor(*settings.Effects->Settings);
  } else if (settings.OldEffects) {
    reader.FromLegacy(*settings.OldEffects);
  } else {
    // Damaged effects blocks are named, not dropped.
    for (const std::string& problem : settings.Problems) {
      const std::string_view key = std::string_view(problem).substr(0, 4);
      if (key == "lfx2" || key == "lmfx" || key == "lfxs" || key == "lrFX") {
        read.Omissions.push_back("layer effects: " + problem);
      }
    }
  }
  reader.Finish();
  return read;
}

}  // namespace plymark
