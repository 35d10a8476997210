#include "psd/LegacyEffects.h"

#include "psd/BlockCursor.h"

namespace plymark {
namespace {

double Fixed(BlockCursor& cursor, std::string_view field) {
  return cursor.Int32(field) / 65536.0;
}

LegacyColour Colour(BlockCursor& cursor, std::string_view field) {
  LegacyColour colour;
  colour.Space = cursor.UInt16(field);
  for (std::uint16_t& component : colour.Components) component = cursor.UInt16(field);
  return colour;
}

// The blend mode's signature "8BIM" and key.
std::string BlendMode(BlockCursor& cursor) {
  cursor.Skip(4, "blend-mode signature");
  return cursor.FourCharacters("blend-mode key");
}

bool Flag(BlockCursor& cursor, std::string_view field) {
  return cursor.UInt8(field) != 0;
}

// The fields of one effect, in stored order; `data` holds exactly its size.
void ReadFields(BlockCursor& data, LegacyEffect& effect) {
  effect.Version = data.UInt32("version");
  const std::string& key = effect.Key;
  // Version 2 adds the colours the effect was picked in.
  const auto native = [&](std::optional<LegacyColour>& into) {
    if (data.Left() >= 10) into = Colour(data, "native colour");
  };
  if (key == "cmnS") {
    effect.Enabled = Flag(data, "visible");
  } else if (key == "dsdw" || key == "isdw") {
    effect.Blur = Fixed(data, "blur");
    effect.Intensity = Fixed(data, "intensity");
    effect.Angle = Fixed(data, "angle");
    effect.Distance = Fixed(data, "distance");
    effect.Colour = Colour(data, "colour");
    effect.BlendMode = BlendMode(data);
    effect.Enabled = Flag(data, "enabled");
    effect.UseGlobalAngle = Flag(data, "use global angle");
    effect.Opacity = data.UInt8("opacity");
    native(effect.NativeColour);
  } else if (key == "oglw" || key == "iglw") {
    effect.Blur = Fixed(data, "blur");
    effect.Intensity = Fixed(data, "intensity");
    effect.Colour = Colour(data, "colour");
    effect.BlendMode = BlendMode(data);
    effect.Enabled = Flag(data, "enabled");
    effect.Opacity = data.UInt8("opacity");
    if (key == "iglw" && effect.Version >= 2) effect.Invert = Flag(data, "invert");
    native(effect.NativeColour);
  } else if (key == "bevl") {
    effect.Angle = Fixed(data, "angle");
    effect.Strength = Fixed(data, "strength");
    effect.Blur = Fixed(data, "blur");
    effect.BlendMode = BlendMode(data);
    effect.ShadowBlendMode = BlendMode(data);
    effect.Colour = Colour(data, "highlight colour");
    effect.ShadowColour = Colour(data, "shadow colour");
    effect.BevelStyle = data.UInt8("bevel style");
    effect.Opacity = data.UInt8("highlight opacity");
    effect.ShadowOpacity = data.UInt8("shadow opacity");
    effect.Enabled = Flag(data, "enabled");
    effect.UseGlobalAngle = Flag(data, "use global angle");
    effect.Up = Flag(data, "up or down");
    native(effect.NativeColour);
    native(effect.ShadowNativeColour);
  } else if (key == "sofi") {
    effect.BlendMode = BlendMode(data);
    effect.Colour = Colour(data, "colour");
    effect.Opacity = data.UInt8("opacity");
    effect.Enabled = Flag(data, "enabled");
    native(effect.NativeColour);
  }
}

}  // namespace

LegacyEffects ReadLegacyEffects(std::span<const std::uint8_t> data, std::int64_t fileOffset,
                                const std::string& context, SettingsBudget& budget) {
  BlockCursor cursor(data, fileOffset, context);
  LegacyEffects effects;
  effects.Version = cursor.UInt16("version");
  const std::uint16_t count = cursor.UInt16("effect count");
  for (std::uint16_t k = 0; k < count; ++k) {
    const BlockCursor at = cursor;
    if (cursor.FourCharacters("effect signature") != "8BIM") {
      at.Fail("effect signature", "is not 8BIM");
    }
    budget.Take(cursor, kLegacyEffectValues);
    LegacyEffect effect;
    effect.Key = cursor.FourCharacters("effect key");
    BlockCursor fields = cursor.Sub(cursor.UInt32("effect size"), "effect '" + effect.Key + "'");
    ReadFields(fields, effect);
    effects.Effects.push_back(std::move(effect));
  }
  return effects;
}

}  // namespace plymark
