#include "compose/fills/GradientRamp.h"

#include <algorithm>
#include <cmath>

#include "psd/ColorModeCodes.h"
#include "psd/DescriptorColour.h"

namespace plymark {
namespace {

// Stops lie at 0..4096 in the maker's settings.
constexpr double kLocationScale = 4096.0;

using Working = std::array<double, 4>;

double LinearOfEncoded(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double EncodedOfLinear(double v) {
  v = std::clamp(v, 0.0, 1.0);
  return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
}

// Oklab from linear-light sRGB, and back.
Working OklabOfLinear(const Working& rgb) {
  const double l = std::cbrt(0.4122214708 * rgb[0] + 0.5363325363 * rgb[1] + 0.0514459929 * rgb[2]);
  const double m = std::cbrt(0.2119034982 * rgb[0] + 0.6806995451 * rgb[1] + 0.1073969566 * rgb[2]);
  const double s = std::cbrt(0.0883024619 * rgb[0] + 0.2817188376 * rgb[1] + 0.6299787005 * rgb[2]);
  return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
          1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
          0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s, 0};
}

Working LinearOfOklab(const Working& lab) {
  const double l = lab[0] + 0.3963377774 * lab[1] + 0.2158037573 * lab[2];
  const double m = lab[0] - 0.1055613458 * lab[1] - 0.0638541728 * lab[2];
  const double s = lab[0] - 0.0894841775 * lab[1] - 1.2914855480 * lab[2];
  const double l3 = l * l * l, m3 = m * m * m, s3 = s * s * s;
  return {4.0767416621 * l3 - 3.3077115913 * m3 + 0.2309699292 * s3,
          -1.2684380046 * l3 + 2.6097574011 * m3 - 0.3413193965 * s3,
          -0.0041960863 * l3 - 0.7034186147 * m3 + 1.7076147010 * s3, 0};
}

// Where the colours are mixed: the document's own values, or, in RGB and
// grey documents, linear light or Oklab as the method asks.
class WorkingSpace {
 public:
  WorkingSpace(GradientMethod method, const AdjustmentSpace& space)
      : channels_(space.ColourChannels) {
    const bool rgbLike =
        space.ColorMode == color_mode::kRgb || space.ColorMode == color_mode::kGrayscale;
    if (!rgbLike) return;
    linearStored_ = space.Depth == 32;
    if (method == GradientMethod::Linear) {
      kind_ = Kind::Linear;
    } else if (method == GradientMethod::Perceptual || method == GradientMethod::Smooth) {
      kind_ = Kind::Oklab;
    }
  }

  Working To(const SpaceColour& colour) const {
    Working v{};
    for (int c = 0; c < channels_; ++c)
      v[static_cast<std::size_t>(c)] = colour.Values[static_cast<std::size_t>(c)];
    if (kind_ == Kind::Stored) return v;
    if (channels_ == 1) v[1] = v[2] = v[0];
    if (!linearStored_) {
      for (std::size_t c = 0; c < 3; ++c) v[c] = LinearOfEncoded(v[c]);
    }
    return kind_ == Kind::Oklab ? OklabOfLinear(v) : v;
  }

  void From(const Working& mixed, float* out) const {
    Working v = mixed;
    if (kind_ != Kind::Stored) {
      if (kind_ == Kind::Oklab) v = LinearOfOklab(v);
      if (!linearStored_) {
        for (std::size_t c = 0; c < 3; ++c) v[c] = EncodedOfLinear(v[c]);
      }
    }
    for (int c = 0; c < channels_; ++c) out[c] = static_cast<float>(v[static_cast<std::size_t>(c)]);
  }

 private:
  enum class Kind { Stored, Linear, Oklab };
  int channels_;
  Kind kind_ = Kind::Stored;
  bool linearStored_ = false;
};

// How far from the earlier stop's colour towards the later one's the mix
// is, `u` of the way between them.
double Ease(double u, double midpoint, const GradientStops& stops) {
  if (stops.Method == GradientMethod::Stripes) return u < 1 ? 0 : 1;
  // The midpoint is where the mix is even.
  const double m = std::clamp(midpoint, 0.0, 1.0);
  if (m <= 0) {
    u = 1;
  } else if (m >= 1) {
    u = u < 1 ? 0 : 1;
  } else {
    u = u < m ? 0.5 * u / m : 0.5 + 0.5 * (u - m) / (1 - m);
  }
  if (stops.Method == GradientMethod::Smooth) {
    // Measured on the maker's smooth gradients of two stops.
    const double spread = u * (1 - u);
    return u + (1 - 2 * u) * spread * (-0.4073 + 1.189 * spread);
  }
  // Full smoothness mixes the straight line and smoothstep half and half.
  const double weight = 0.5 * std::clamp(stops.Smoothness, 0.0, 1.0);
  return u + weight * (u * u * (3 - 2 * u) - u);
}

// The two stops around `t` and how far between them `t` lies, eased.
struct Between {
  std::size_t From = 0, To = 0;
  double Mix = 0;
};

Between Locate(const std::vector<GradientStop>& list, double t, const GradientStops& stops) {
  if (t <= list.front().Location) return {0, 0, 0};
  if (t >= list.back().Location) return {list.size() - 1, list.size() - 1, 0};
  std::size_t k = 1;
  while (k + 1 < list.size() && list[k].Location <= t) ++k;
  const GradientStop& a = list[k - 1];
  const GradientStop& b = list[k];
  const double span = b.Location - a.Location;
  const double u = span > 0 ? (t - a.Location) / span : 1;
  return {k - 1, k, Ease(u, b.Midpoint, stops)};
}

std::optional<GradientStop> ReadStop(const Descriptor& stop, const AdjustmentSpace& space,
                                     bool colour) {
  GradientStop read;
  read.Location = stop.Number("Lctn").value_or(0) / kLocationScale;
  read.Midpoint = stop.Number("Mdpn").value_or(50) / 100;
  if (!std::isfinite(read.Location) || !std::isfinite(read.Midpoint)) return std::nullopt;
  if (colour) {
    const Descriptor* object = stop.Object("Clr ");
    const auto stored = object != nullptr ? ReadColour(*object) : std::nullopt;
    const auto inSpace = stored ? ColourInSpace(*stored, space) : std::nullopt;
    if (!inSpace) return std::nullopt;
    read.Values = *inSpace;
  } else {
    const double opacity = stop.Number("Opct").value_or(100) / 100;
    if (!std::isfinite(opacity)) return std::nullopt;
    read.Values.Values[0] = static_cast<float>(std::clamp(opacity, 0.0, 1.0));
  }
  return read;
}

// The stops of list `key`; false when one cannot be read.
bool ReadStops(const Descriptor& gradient, std::string_view key, const AdjustmentSpace& space,
               bool colour, std::vector<GradientStop>& out) {
  const auto* list = gradient.Get<std::vector<DescriptorValue>>(key);
  if (list == nullptr) return true;
  for (const DescriptorValue& value : *list) {
    const Descriptor* stop = value.As<Descriptor>();
    const auto read = stop != nullptr ? ReadStop(*stop, space, colour) : std::nullopt;
    if (!read) return false;
    out.push_back(*read);
  }
  std::stable_sort(out.begin(), out.end(), [](const GradientStop& a, const GradientStop& b) {
    return a.Location < b.Location;
  });
  return true;
}

}  // namespace

GradientMethod GradientMethodOf(const Descriptor& settings) {
  // Layer effects keep it under a key of their own.
  const auto* method = settings.Get<Enumerated>("gradientsInterpolationMethod");
  if (method == nullptr) method = settings.Get<Enumerated>("gs99");
  if (method == nullptr) return GradientMethod::Classic;
  if (method->Value == "Perc") return GradientMethod::Perceptual;
  if (method->Value == "Lnr ") return GradientMethod::Linear;
  if (method->Value == "Smoo") return GradientMethod::Smooth;
  if (method->Value == "GIMs") return GradientMethod::Stripes;
  return GradientMethod::Classic;
}

GradientStopsRead ReadGradientStops(const Descriptor& gradient, GradientMethod method,
                                    const AdjustmentSpace& space) {
  const auto* form = gradient.Get<Enumerated>("GrdF");
  if (form != nullptr && form->Value == "ClNs")
    return {std::nullopt, "noise gradients are not drawn"};
  GradientStops stops;
  stops.Method = method;
  stops.Smoothness = gradient.Number("Intr").value_or(kLocationScale) / kLocationScale;
  if (!std::isfinite(stops.Smoothness)) stops.Smoothness = 1;
  if (!ReadStops(gradient, "Clrs", space, true, stops.Colours) ||
      !ReadStops(gradient, "Trns", space, false, stops.Opacities)) {
    return {std::nullopt, "a stop of its gradient cannot be read"};
  }
  if (stops.Colours.empty()) return {std::nullopt, "its gradient has no colour stops"};
  if (stops.Opacities.empty()) stops.Opacities.push_back({0, 0.5, {{1.0f, 0, 0, 0}}});
  return {std::move(stops), {}};
}

GradientRamp::GradientRamp(const GradientStops& stops, const AdjustmentSpace& space)
    : channels_(std::clamp(space.ColourChannels, 1, 4)),
      colours_(static_cast<std::size_t>(kEntries * channels_)),
      opacities_(static_cast<std::size_t>(kEntries)) {
  const WorkingSpace working(stops.Method, space);
  std::vector<Working> colours;
  for (const GradientStop& stop : stops.Colours) colours.push_back(working.To(stop.Values));
  for (int entry = 0; entry < kEntries; ++entry) {
    const double t = static_cast<double>(entry) / (kEntries - 1);
    const Between c = Locate(stops.Colours, t, stops);
    Working mixed{};
    for (std::size_t k = 0; k < 4; ++k) {
      mixed[k] = colours[c.From][k] + (colours[c.To][k] - colours[c.From][k]) * c.Mix;
    }
    working.From(mixed, &colours_[static_cast<std::size_t>(entry * channels_)]);
    const Between o = Locate(stops.Opacities, t, stops);
    const float a = stops.Opacities[o.From].Values.Values[0];
    const float b = stops.Opacities[o.To].Values.Values[0];
    opacities_[static_cast<std::size_t>(entry)] = a + (b - a) * static_cast<float>(o.Mix);
  }
}

}  // namespace plymark
