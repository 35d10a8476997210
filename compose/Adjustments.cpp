#include "compose/Adjustments.h"

#include <array>

#include "compose/adjustments/AdjustmentReaders.h"
#include "psd/PsdError.h"

namespace plymark {
namespace {

using Reader = AdjustmentRead (*)(std::span<const std::uint8_t>, const AdjustmentSpace&);

// Every adjustment layer key the format defines, with the reader of those
// drawn here (the gradient map is drawn with the fills). `CgEd` rides
// beside `brit` and is no layer kind of its own.
struct AdjustmentKind {
  std::string_view Key;
  std::string_view Name;
  Reader Read;
};

constexpr std::array<AdjustmentKind, 17> kKinds = {{
    {"levl", "levels", adjustments::ReadLevels},
    {"curv", "curves", adjustments::ReadCurves},
    {"brit", "brightness/contrast", adjustments::ReadLegacyBrightnessContrast},
    {"expA", "exposure", adjustments::ReadExposure},
    {"hue2", "hue/saturation", adjustments::ReadHueSaturation},
    {"hue ", "hue/saturation (Photoshop 4)", nullptr},
    {"nvrt", "invert", adjustments::ReadInvert},
    {"post", "posterize", adjustments::ReadPosterize},
    {"thrs", "threshold", adjustments::ReadThreshold},
    {"vibA", "vibrance", adjustments::ReadVibrance},
    {"blnc", "colour balance", adjustments::ReadColourBalance},
    {"blwh", "black & white", adjustments::ReadBlackWhite},
    {"phfl", "photo filter", adjustments::ReadPhotoFilter},
    {"mixr", "channel mixer", adjustments::ReadChannelMixer},
    {"grdm", "gradient map", adjustments::ReadGradientMap},
    {"selc", "selective colour", adjustments::ReadSelectiveColour},
    {"clrL", "colour lookup", adjustments::ReadColourLookup},
}};

// Brightness/contrast as kept since CS3, beside a `brit` block of zeros.
constexpr AdjustmentKind kBrightnessDescriptor = {"CgEd", "brightness/contrast",
                                                  adjustments::ReadBrightnessContrast};

const AdjustmentKind* FindKind(std::string_view key) {
  for (const auto& kind : kKinds) {
    if (kind.Key == key) return &kind;
  }
  return nullptr;
}

}  // namespace

bool IsAdjustmentKey(std::string_view key) {
  return FindKind(key) != nullptr;
}

std::string_view AdjustmentName(std::string_view key) {
  const AdjustmentKind* kind = FindKind(key);
  return kind == nullptr ? std::string_view{} : kind->Name;
}

AdjustmentRead ReadAdjustment(std::string_view key, std::span<const std::uint8_t> data,
                              const AdjustmentSpace& space) {
  const AdjustmentKind* kind = key == "CgEd" ? &kBrightnessDescriptor : FindKind(key);
  if (kind == nullptr) return {};
  const std::string name(kind->Name);
  if (kind->Read == nullptr) return {nullptr, name + " adjustment (not drawn yet)"};
  try {
    return kind->Read(data, space);
  } catch (const PsdError& error) {
    return {nullptr, name + " adjustment (its settings are cut short or damaged at byte " +
                         std::to_string(error.Offset()) + ": " + error.Field() + ")"};
  }
}

}  // namespace plymark
