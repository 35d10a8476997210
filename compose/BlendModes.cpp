#include "compose/BlendModes.h"

#include <array>

#include <utility>
#include "psd/ColorModeCodes.h"

namespace plymark {
namespace {

constexpr std::array<std::pair<std::string_view, BlendMode>, 28> kKeys = {{
    {"pass", BlendMode::PassThrough},  {"norm", BlendMode::Normal},
    {"diss", BlendMode::Dissolve},     {"dark", BlendMode::Darken},
    {"mul ", BlendMode::Multiply},     {"idiv", BlendMode::ColorBurn},
    {"lbrn", BlendMode::LinearBurn},   {"dkCl", BlendMode::DarkerColor},
    {"lite", BlendMode::Lighten},      {"scrn", BlendMode::Screen},
    {"div ", BlendMode::ColorDodge},   {"lddg", BlendMode::LinearDodge},
    {"lgCl", BlendMode::LighterColor}, {"over", BlendMode::Overlay},
    {"sLit", BlendMode::SoftLight},    {"hLit", BlendMode::HardLight},
    {"vLit", BlendMode::VividLight},   {"lLit", BlendMode::LinearLight},
    {"pLit", BlendMode::PinLight},     {"hMix", BlendMode::HardMix},
    {"diff", BlendMode::Difference},   {"smud", BlendMode::Exclusion},
    {"fsub", BlendMode::Subtract},     {"fdiv", BlendMode::Divide},
    {"hue ", BlendMode::Hue},          {"sat ", BlendMode::Saturation},
    {"colr", BlendMode::Color},        {"lum ", BlendMode::Luminosity},
}};

}  // namespace

std::optional<BlendMode> BlendModeOfKey(std::string_view key) {
  for (const auto& [name, mode] : kKeys) {
    if (name == key) return mode;
  }
  return std::nullopt;
}

std::string_view KeyOfBlendMode(BlendMode mode) {
  for (const auto& [name, known] : kKeys) {
    if (known == mode) return name;
  }
  return "norm";
}

BlendModeTraits TraitsOf(BlendMode mode) {
  switch (mode) {
    case BlendMode::DarkerColor:
    case BlendMode::LighterColor:
    case BlendMode::Hue:
    case BlendMode::Saturation:
    case BlendMode::Color:
    case BlendMode::Luminosity:
      return {false, false, 0.0f};
    case BlendMode::ColorBurn:
    case BlendMode::LinearBurn:
      return {true, true, 1.0f};
    case BlendMode::ColorDodge:
    case BlendMode::LinearDodge:
    case BlendMode::Difference:
      return {true, true, 0.0f};
    case BlendMode::VividLight:
    case BlendMode::LinearLight:
      return {true, true, 0.5f};
    case BlendMode::HardMix:
      return {true, true, 0.0f};
    default:
      return {};
  }
}

BlendMode DrawnBlendMode(BlendMode mode, std::int16_t colorMode) {
  if (mode == BlendMode::PassThrough || mode == BlendMode::Dissolve) return BlendMode::Normal;
  const bool oneTone = colorMode == color_mode::kGrayscale || colorMode == color_mode::kDuotone ||
                       colorMode == color_mode::kMultichannel;
  if (oneTone && !TraitsOf(mode).Separable) return BlendMode::Normal;
  return mode;
}

CmykBlack CmykBlackOf(BlendMode mode) {
  switch (mode) {
    case BlendMode::Hue:
    case BlendMode::Saturation:
    case BlendMode::Color:
      return CmykBlack::Backdrop;
    case BlendMode::Luminosity:
      return CmykBlack::Source;
    case BlendMode::DarkerColor:
    case BlendMode::LighterColor:
      return CmykBlack::PickedPixel;
    default:
      return CmykBlack::Blended;
  }
}

}  // namespace plymark
