#include "render/ColourModes.h"

#include <algorithm>
#include <cmath>

#include "psd/ColorModeCodes.h"

namespace plymark {
namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix product{};
  for (std::size_t r = 0; r < 3; ++r) {
    for (std::size_t c = 0; c < 3; ++c) {
      for (std::size_t k = 0; k < 3; ++k) product[r][c] += a[r][k] * b[k][c];
    }
  }
  return product;
}

// Lab (D50) to sRGB, with tables for what depends on one stored byte alone
// and for the sRGB transfer curve.
class LabToSrgb {
 public:
  LabToSrgb() {
    for (int v = 0; v < 256; ++v) {
      const double lightness = v * 100.0 / 255.0;
      fy_[static_cast<std::size_t>(v)] = (lightness + 16.0) / 116.0;
      fa_[static_cast<std::size_t>(v)] = (v - 128) / 500.0;
      fb_[static_cast<std::size_t>(v)] = (v - 128) / 200.0;
    }
    // XYZ relative to the D50 white, adapted to D65 with Bradford, then the
    // sRGB primaries: one matrix from (X/Xn, Y/Yn, Z/Zn) to linear sRGB.
    const Matrix d50White = {{{0.96422, 0, 0}, {0, 1.0, 0}, {0, 0, 0.82521}}};
    const Matrix bradfordD50ToD65 = {{{0.9555766, -0.0230393, 0.0631636},
                                      {-0.0282895, 1.0099416, 0.0210077},
                                      {0.0122982, -0.0204830, 1.3299098}}};
    const Matrix xyzD65ToLinearSrgb = {{{3.2404542, -1.5371385, -0.4985314},
                                        {-0.9692660, 1.8760108, 0.0415560},
                                        {0.0556434, -0.2040259, 1.0572252}}};
    toLinear_ = Multiply(xyzD65ToLinearSrgb, Multiply(bradfordD50ToD65, d50White));
    for (std::size_t k = 0; k < encoded_.size(); ++k) {
      const double linear = static_cast<double>(k) / kCurveSteps;
      const double value =
          linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
      encoded_[k] = value * 255.0;
    }
  }

  void Convert(PixelRecord& pixel) const {
    const double fy = fy_[static_cast<std::uint8_t>(pixel.Red)];
    const std::array<double, 3> relative = {
        Inverse(fy + fa_[static_cast<std::uint8_t>(pixel.Green)]), Inverse(fy),
        Inverse(fy - fb_[static_cast<std::uint8_t>(pixel.Blue)])};
    std::array<std::int16_t, 3> rgb{};
    for (std::size_t r = 0; r < 3; ++r) {
      const double linear = toLinear_[r][0] * relative[0] + toLinear_[r][1] * relative[1] +
                            toLinear_[r][2] * relative[2];
      rgb[r] = Encode(linear);
    }
    pixel = PixelRecord{rgb[0], rgb[1], rgb[2]};
  }

 private:
  static constexpr int kCurveSteps = 4096;

  // The inverse of the CIE Lab companding function f.
  static double Inverse(double t) {
    constexpr double kDelta = 6.0 / 29.0;
    return t > kDelta ? t * t * t : 3.0 * kDelta * kDelta * (t - 4.0 / 29.0);
  }

  // Linear light, clamped to 0..1, through the sRGB curve, rounded to 0..255.
  std::int16_t Encode(double linear) const {
    const double step = std::clamp(linear, 0.0, 1.0) * kCurveSteps;
    const auto below = std::min(static_cast<std::size_t>(step), encoded_.size() - 2);
    const double fraction = step - static_cast<double>(below);
    const double value = encoded_[below] + (encoded_[below + 1] - encoded_[below]) * fraction;
    return static_cast<std::int16_t>(std::lround(value));
  }

  std::array<double, 256> fy_{};
  std::array<double, 256> fa_{};
  std::array<double, 256> fb_{};
  Matrix toLinear_{};
  std::array<double, kCurveSteps + 1> encoded_{};
};

const LabToSrgb& LabConverter() {
  static const LabToSrgb converter;
  return converter;
}

// Stored byte x stored byte / 255, rounded to the nearest.
std::int16_t ScaledByInk(std::int16_t inverted, std::int16_t black) {
  return static_cast<std::int16_t>((inverted * black + 127) / 255);
}

std::uint8_t TableEntry(std::span<const std::uint8_t> table, std::size_t index) {
  return index < table.size() ? table[index] : std::uint8_t{0};
}

// The block of the layer's first channel with `id`, or none.
const ChannelBlock* BlockWithId(const LayerRecord& layer, const ChannelTableEntry& entry,
                                std::int16_t id) {
  for (std::size_t m = 0; m < layer.ChannelInfo.size() && m < entry.Blocks.size(); ++m) {
    if (layer.ChannelInfo[m].ChannelId == id) return &entry.Blocks[m];
  }
  return nullptr;
}

}  // namespace

ColourModel ModelOfColorMode(std::int16_t colorMode) {
  switch (colorMode) {
    case color_mode::kRgb:
    case color_mode::kMultichannel:
      return ColourModel::Rgb;
    case color_mode::kGrayscale:
    case color_mode::kDuotone:
      return ColourModel::Gray;
    case color_mode::kIndexed:
      return ColourModel::Indexed;
    case color_mode::kCmyk:
      return ColourModel::Cmyk;
    case color_mode::kLab:
      return ColourModel::Lab;
    default:
      return ColourModel::Unshowable;
  }
}

ColourChannels FindColourChannels(const DocumentState& state, int layer) {
  const LayerRecord& record = state.Layers[static_cast<std::size_t>(layer)];
  const ChannelTableEntry& entry = state.ChannelData[static_cast<std::size_t>(layer)];
  ColourChannels channels;
  channels.Model = ModelOfColorMode(state.Header.ColorMode);
  std::int16_t planes = 3;
  if (channels.Model == ColourModel::Gray || channels.Model == ColourModel::Indexed) planes = 1;
  if (channels.Model == ColourModel::Cmyk || channels.Model == ColourModel::Unshowable) planes = 4;
  for (std::int16_t id = 0; id < planes; ++id) {
    channels.Blocks[static_cast<std::size_t>(id)] = BlockWithId(record, entry, id);
  }
  return channels;
}

void ConvertToRgb(ColourModel model, std::span<PixelRecord> pixels,
                  std::span<const PixelRecord> black, std::span<const std::uint8_t> colorTable) {
  switch (model) {
    case ColourModel::Rgb:
    case ColourModel::Unshowable:
      return;
    case ColourModel::Gray:
      for (PixelRecord& pixel : pixels) pixel.Green = pixel.Blue = pixel.Red;
      return;
    case ColourModel::Indexed:
      for (PixelRecord& pixel : pixels) {
        const auto index = static_cast<std::size_t>(static_cast<std::uint8_t>(pixel.Red));
        pixel.Red = TableEntry(colorTable, index);
        pixel.Green = TableEntry(colorTable, 256 + index);
        pixel.Blue = TableEntry(colorTable, 512 + index);
      }
      return;
    case ColourModel::Cmyk:
      for (std::size_t k = 0; k < pixels.size(); ++k) {
        // A missing black plane is stored 0 throughout, as a missing colour plane is.
        const std::int16_t inverted = k < black.size() ? black[k].Red : std::int16_t{0};
        PixelRecord& pixel = pixels[k];
        pixel = PixelRecord{ScaledByInk(pixel.Red, inverted), ScaledByInk(pixel.Green, inverted),
                            ScaledByInk(pixel.Blue, inverted)};
      }
      return;
    case ColourModel::Lab: {
      const LabToSrgb& converter = LabConverter();
      for (PixelRecord& pixel : pixels) converter.Convert(pixel);
      return;
    }
  }
}

std::string UnshowableColourModeText(std::int16_t colorMode) {
  const std::string mode = colorMode == color_mode::kBitmap
                               ? std::string("is in bitmap colour mode")
                               : "has colour mode " + std::to_string(colorMode);
  return "This document " + mode + ", which Plymark cannot show; its layers stay black.";
}

}  // namespace plymark
