#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>

#include "compose/BlendFormulas.h"
#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/BinaryAdjustments.h"

namespace plymark::adjustments {
namespace {

using Rgb = std::array<float, 3>;

// The filter's colour spaces in a version 2 block, as the maker's colour
// records number them.
constexpr std::int16_t kRgbSpace = 0;
constexpr std::int16_t kHsbSpace = 1;
constexpr std::int16_t kLabSpace = 7;
constexpr float kLargestComponent = 65535.0f;

// The filter colour in sRGB, clipped to its gamut, for an RGB, HSB or Lab
// colour record; nothing for other spaces.
std::optional<Rgb> FilterColour(const PhotoFilterFields& fields) {
  const auto& stored = fields.Components;
  auto unit = [&](std::size_t k) { return static_cast<float>(stored[k]) / kLargestComponent; };
  if (fields.ColourSpace == kRgbSpace) return Rgb{unit(0), unit(1), unit(2)};
  if (fields.ColourSpace == kHsbSpace) {
    // Hue in 1/65536 of a turn; saturation and brightness 0..65535.
    const float sector = unit(0) * kLargestComponent / 65536.0f * 6.0f;
    const float value = unit(2);
    const float chroma = value * unit(1);
    Rgb rgb{};
    for (std::size_t c = 0; c < 3; ++c) {
      // Each component's distance round the circle from its own hue.
      const float k = std::fmod(5.0f - 2.0f * static_cast<float>(c) + sector, 6.0f);
      rgb[c] = value - chroma * std::clamp(std::min(k, 4.0f - k), 0.0f, 1.0f);
    }
    return rgb;
  }
  if (fields.ColourSpace == kLabSpace) {
    // L in hundredths 0..10000; a and b in hundredths, signed.
    const cmsCIELab lab{static_cast<double>(stored[0]) / 100.0,
                        static_cast<double>(static_cast<std::int16_t>(stored[1])) / 100.0,
                        static_cast<double>(static_cast<std::int16_t>(stored[2])) / 100.0};
    const std::unique_ptr<void, decltype(&cmsCloseProfile)> labProfile(
        cmsCreateLab4Profile(nullptr), cmsCloseProfile);
    const std::unique_ptr<void, decltype(&cmsCloseProfile)> srgb(cmsCreate_sRGBProfile(),
                                                                 cmsCloseProfile);
    if (!labProfile || !srgb) return std::nullopt;
    const std::unique_ptr<void, decltype(&cmsDeleteTransform)> transform(
        cmsCreateTransform(labProfile.get(), TYPE_Lab_DBL, srgb.get(), TYPE_RGB_DBL,
                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE),
        cmsDeleteTransform);
    if (!transform) return std::nullopt;
    double rgb[3] = {};
    cmsDoTransform(transform.get(), &lab, rgb, 1);
    return Rgb{static_cast<float>(std::clamp(rgb[0], 0.0, 1.0)),
               static_cast<float>(std::clamp(rgb[1], 0.0, 1.0)),
               static_cast<float>(std::clamp(rgb[2], 0.0, 1.0))};
  }
  return std::nullopt;
}

// A coloured filter before the lens: each channel multiplied by the
// filter's, mixed in by the density; "preserve luminosity" puts the
// luminance (0.30, 0.59, 0.11) back as the luminosity blend mode would.
// The development corpus holds the photo filter only over white, where with
// "preserve luminosity" it changes nothing; the rest is not measured.
class PhotoFilter final : public Adjustment {
 public:
  PhotoFilter(const Rgb& colour, float density, bool preserveLuminosity, bool unbounded)
      : preserve_(preserveLuminosity), ceiling_(unbounded ? HUGE_VALF : 1.0f) {
    for (std::size_t c = 0; c < 3; ++c) gain_[c] = 1.0f - density + density * colour[c];
  }

  void Apply(std::span<float* const> channels, std::size_t count) const override {
    if (channels.size() < 3) return;
    for (std::size_t i = 0; i < count; ++i) {
      float in[3];
      float out[3];
      for (std::size_t c = 0; c < 3; ++c) {
        const float v = channels[c][i];
        in[c] = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, ceiling_);
        out[c] = in[c] * gain_[c];
      }
      if (preserve_) {
        const float filtered[3] = {out[0], out[1], out[2]};
        SetLuminance(filtered, blend::Lum(in), out, ceiling_);
      }
      for (std::size_t c = 0; c < 3; ++c) channels[c][i] = std::clamp(out[c], 0.0f, ceiling_);
    }
  }

 private:
  Rgb gain_{};
  bool preserve_;
  float ceiling_;
};

}  // namespace

AdjustmentRead ReadPhotoFilter(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const PhotoFilterFields fields = ReadPhotoFilterFields(cursor);
  if (fields.Version == 3)
    return {nullptr, "photo filter adjustment (its colour is stored as XYZ)"};
  if (fields.Version != 2) return UnknownVersion("photo filter", fields.Version);
  const std::optional<Rgb> colour = FilterColour(fields);
  if (!colour) {
    return {nullptr, "photo filter adjustment (its colour is in colour space " +
                         std::to_string(fields.ColourSpace) + ")"};
  }
  if (space.ColorMode != color_mode::kRgb) return NotDrawnIn("photo filter", space);
  const float density = static_cast<float>(std::clamp(fields.Density, 0, 100)) / 100.0f;
  return {
      std::make_unique<PhotoFilter>(*colour, density, fields.PreserveLuminosity, space.Depth == 32),
      {}};
}

}  // namespace plymark::adjustments
