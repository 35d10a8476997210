#include <algorithm>
#include <cmath>

#include "compose/Paint.h"
#include "psd/ColorModeCodes.h"

namespace plymark {
namespace {

struct Rgb {
  double Red = 0, Green = 0, Blue = 0;  ///< 0..1
};

Rgb RgbOfHsb(double hue, double saturation, double brightness) {
  const double h = std::fmod(std::fmod(hue, 360.0) + 360.0, 360.0) / 60.0;
  const double c = brightness * saturation;
  const double x = c * (1 - std::abs(std::fmod(h, 2.0) - 1));
  const double m = brightness - c;
  const int sector = static_cast<int>(h) % 6;
  const double table[6][3] = {{c, x, 0}, {x, c, 0}, {0, c, x}, {0, x, c}, {x, 0, c}, {c, 0, x}};
  return {table[sector][0] + m, table[sector][1] + m, table[sector][2] + m};
}

double SrgbOfLinear(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

double LinearOfSrgb(double encoded) {
  return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

// CIE Lab (D50) to sRGB through Bradford-adapted D65, clamped.
Rgb RgbOfLab(double l, double a, double b) {
  const auto inverse = [](double t) {
    return t > 6.0 / 29 ? t * t * t : 3 * 36.0 / 841 * (t - 4.0 / 29);
  };
  const double fy = (l + 16) / 116;
  const double x = 0.9642 * inverse(fy + a / 500);
  const double y = inverse(fy);
  const double z = 0.8249 * inverse(fy - b / 200);
  const double r = 3.1338561 * x - 1.6168667 * y - 0.4906146 * z;
  const double g = -0.9787684 * x + 1.9161415 * y + 0.0334540 * z;
  const double bl = 0.0719453 * x - 0.2289914 * y + 1.4052427 * z;
  return {std::clamp(SrgbOfLinear(r), 0.0, 1.0), std::clamp(SrgbOfLinear(g), 0.0, 1.0),
          std::clamp(SrgbOfLinear(bl), 0.0, 1.0)};
}

// sRGB to CIE Lab (D50), the inverse of RgbOfLab.
std::array<double, 3> LabOfRgb(const Rgb& rgb) {
  const double r = LinearOfSrgb(rgb.Red), g = LinearOfSrgb(rgb.Green), b = LinearOfSrgb(rgb.Blue);
  const double x = (0.4360747 * r + 0.3850649 * g + 0.1430804 * b) / 0.9642;
  const double y = 0.2225045 * r + 0.7168786 * g + 0.0606169 * b;
  const double z = (0.0139322 * r + 0.0971045 * g + 0.7141733 * b) / 0.8249;
  const auto f = [](double t) {
    return t > 216.0 / 24389 ? std::cbrt(t) : (841.0 / 108 * t + 4.0 / 29);
  };
  return {116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))};
}

// Any model as RGB 0..1; inks without a profile.
Rgb RgbOf(const DescriptorColour& colour) {
  const auto& c = colour.Components;
  if (colour.Model == "RGBC") return {c[0] / 255, c[1] / 255, c[2] / 255};
  if (colour.Model == "HSBC") return RgbOfHsb(c[0], c[1] / 100, c[2] / 100);
  if (colour.Model == "CMYC") {
    const double k = 1 - c[3] / 100;
    return {(1 - c[0] / 100) * k, (1 - c[1] / 100) * k, (1 - c[2] / 100) * k};
  }
  if (colour.Model == "LbCl") return RgbOfLab(c[0], c[1], c[2]);
  const double grey = 1 - c[0] / 100;  // "Grsc": percent of black
  return {grey, grey, grey};
}

class ColourPaint final : public Paint {
 public:
  ColourPaint(SpaceColour colour, int channels) : colour_(colour), channels_(channels) {}
  void FillRow(std::int32_t, std::int32_t, std::int32_t count, std::span<float* const> colour,
               float* alpha) const override {
    const auto pixels = static_cast<std::size_t>(std::max(0, count));
    for (int c = 0; c < channels_ && c < static_cast<int>(colour.size()); ++c) {
      std::fill_n(colour[static_cast<std::size_t>(c)], pixels,
                  colour_.Values[static_cast<std::size_t>(c)]);
    }
    std::fill_n(alpha, pixels, 1.0f);
  }

 private:
  SpaceColour colour_;
  int channels_;
};

}  // namespace

std::optional<SpaceColour> ColourInSpace(const DescriptorColour& colour,
                                         const AdjustmentSpace& space) {
  const auto& c = colour.Components;
  SpaceColour out;
  auto& v = out.Values;
  const Rgb rgb = RgbOf(colour);
  switch (space.ColorMode) {
    case color_mode::kRgb:
      v = {static_cast<float>(rgb.Red), static_cast<float>(rgb.Green), static_cast<float>(rgb.Blue),
           0.0f};
      return out;
    case color_mode::kGrayscale:
    case color_mode::kDuotone: {
      const double grey = colour.Model == "Grsc"
                              ? 1 - c[0] / 100
                              : 0.30 * rgb.Red + 0.59 * rgb.Green + 0.11 * rgb.Blue;
      v[0] = static_cast<float>(grey);
      return out;
    }
    case color_mode::kCmyk: {
      if (colour.Model == "CMYC") {
        for (std::size_t k = 0; k < 4; ++k) v[k] = static_cast<float>(1 - c[k] / 100);
        return out;
      }
      // Stored inks are inverted: no ink is 1.
      const double black = 1 - std::max({rgb.Red, rgb.Green, rgb.Blue});
      const auto ink = [black](double component) {
        return black >= 1 ? 0.0 : (1 - component - black) / (1 - black);
      };
      v = {static_cast<float>(1 - ink(rgb.Red)), static_cast<float>(1 - ink(rgb.Green)),
           static_cast<float>(1 - ink(rgb.Blue)), static_cast<float>(1 - black)};
      return out;
    }
    case color_mode::kLab: {
      const std::array<double, 3> lab =
          colour.Model == "LbCl" ? std::array<double, 3>{c[0], c[1], c[2]} : LabOfRgb(rgb);
      v = {static_cast<float>(lab[0] / 100), static_cast<float>((lab[1] + 128) / 255),
           static_cast<float>((lab[2] + 128) / 255), 0.0f};
      return out;
    }
    default:
      return std::nullopt;
  }
}

PaintRead ReadColourPaint(const Descriptor& settings, const AdjustmentSpace& space) {
  const Descriptor* object = settings.Object("Clr ");
  const auto colour = object != nullptr ? ReadColour(*object) : std::nullopt;
  if (!colour) return {nullptr, "its colour cannot be read"};
  const auto inSpace = ColourInSpace(*colour, space);
  if (!inSpace) return {nullptr, "its colour cannot be brought into the document's colour mode"};
  return {std::make_unique<ColourPaint>(*inSpace, space.ColourChannels), {}};
}

}  // namespace plymark
