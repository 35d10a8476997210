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

// Where between its stops a position lies: the stops before and after it
// and how far along, moved by the later stop's midpoint.
struct Between {
  std::size_t From = 0, To = 0;
  double Along = 0;
};

Between Locate(const std::vector<GradientStop>& list, double t) {
  if (t <= list.front().Location) return {0, 0, 0};
  if (t >= list.back().Location) return {list.size() - 1, list.size() - 1, 0};
  std::size_t k = 1;
  while (k + 1 < list.size() && list[k].Location <= t) ++k;
  const GradientStop& a = list[k - 1];
  const GradientStop& b = list[k];
  const double span = b.Location - a.Location;
  double u = span > 0 ? (t - a.Location) / span : 1;
  // The midpoint is where the mix is even.
  const double m = std::clamp(b.Midpoint, 0.0, 1.0);
  if (m <= 0) {
    u = 1;
  } else if (m >= 1) {
    u = u < 1 ? 0 : 1;
  } else {
    u = u < m ? 0.5 * u / m : 0.5 + 0.5 * (u - m) / (1 - m);
  }
  return {k - 1, k, u};
}

// The slope of the maker's curve at each stop, per channel and per whole
// gradient: at an inner stop the slope from the stop before to the stop after
// (so the curve runs on smoothly through it), at an end stop half the slope
// to its neighbour (which, with two stops, is the measured ease).
std::vector<Working> StopSlopes(const std::vector<GradientStop>& list,
                                const std::vector<Working>& values) {
  const std::size_t n = list.size();
  std::vector<Working> slopes(n, Working{});
  if (n < 2) return slopes;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t before = i == 0 ? 0 : i - 1;
    const std::size_t after = i + 1 == n ? n - 1 : i + 1;
    const double span = list[after].Location - list[before].Location;
    if (span <= 0) continue;
    const double share = (i == 0 || i + 1 == n) ? 0.5 : 1.0;
    for (std::size_t c = 0; c < 4; ++c)
      slopes[i][c] = share * (values[after][c] - values[before][c]) / span;
  }
  return slopes;
}

// The colour (or opacity) at position `t`. Classic, perceptual and linear
// mixes follow a cubic through the stops with StopSlopes' slopes, weighted
// against the straight line by the smoothness and kept between the two
// stops' values, as the maker's merged images show.
Working Mix(const std::vector<GradientStop>& list, const std::vector<Working>& values,
            const std::vector<Working>& slopes, double t, const GradientStops& stops) {
  const Between at = Locate(list, t);
  const Working& a = values[at.From];
  const Working& b = values[at.To];
  const double u = at.Along;
  Working mixed{};
  if (stops.Method == GradientMethod::Stripes || stops.Method == GradientMethod::Smooth) {
    double e = u < 1 ? 0 : 1;
    if (stops.Method == GradientMethod::Smooth) {
      // Measured on the maker's smooth gradients of two stops.
      const double spread = u * (1 - u);
      e = u + (1 - 2 * u) * spread * (-0.4073 + 1.189 * spread);
    }
    for (std::size_t c = 0; c < 4; ++c) mixed[c] = a[c] + (b[c] - a[c]) * e;
    return mixed;
  }
  const double span = list[at.To].Location - list[at.From].Location;
  const double weight = std::clamp(stops.Smoothness, 0.0, 1.0);
  const double u2 = u * u, u3 = u2 * u;
  const double h00 = 2 * u3 - 3 * u2 + 1, h01 = 3 * u2 - 2 * u3;
  const double h10 = u3 - 2 * u2 + u, h11 = u3 - u2;
  for (std::size_t c = 0; c < 4; ++c) {
    const double line = a[c] + (b[c] - a[c]) * u;
    const double curve =
        h00 * a[c] + h01 * b[c] + span * (h10 * slopes[at.From][c] + h11 * slopes[at.To][c]);
    mixed[c] =
        std::clamp(line + weight * (curve - line), std::min(a[c], b[c]), std::max(a[c], b[c]));
  }
  return mixed;
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
  std::vector<Working> opacities;
  for (const GradientStop& stop : stops.Opacities) opacities.push_back({stop.Values.Values[0]});
  const std::vector<Working> colourSlopes = StopSlopes(stops.Colours, colours);
  const std::vector<Working> opacitySlopes = StopSlopes(stops.Opacities, opacities);
  for (int entry = 0; entry < kEntries; ++entry) {
    const double t = static_cast<double>(entry) / (kEntries - 1);
    const Working mixed = Mix(stops.Colours, colours, colourSlopes, t, stops);
    working.From(mixed, &colours_[static_cast<std::size_t>(entry * channels_)]);
    opacities_[static_cast<std::size_t>(entry)] =
        static_cast<float>(Mix(stops.Opacities, opacities, opacitySlopes, t, stops)[0]);
  }
}

}  // namespace plymark
