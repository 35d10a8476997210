#include <algorithm>
#include <cmath>
#include <memory>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ReaderSupport.h"
#include "compose/fills/GradientRamp.h"
#include "psd/BlockCursor.h"

namespace plymark::adjustments {
namespace {

// Stops lie at 0..4096, as in the maker's gradient descriptors.
constexpr double kLocationScale = 4096.0;
// A gradient of the maker's editor holds a few dozen stops at most.
constexpr std::uint16_t kMostStops = 1024;

// Each pixel's tone looked up along the gradient: an RGB pixel's luma, a
// grey or Lab pixel's lightness.
class GradientMap final : public Adjustment {
 public:
  GradientMap(std::shared_ptr<const GradientRamp> ramp, bool reverse, bool rgb)
      : ramp_(std::move(ramp)), reverse_(reverse), rgb_(rgb) {}

  void Apply(std::span<float* const> channels, std::size_t count) const override {
    const int planes = std::min(ramp_->Channels(), static_cast<int>(channels.size()));
    for (std::size_t i = 0; i < count; ++i) {
      float tone = channels[0][i];
      if (rgb_ && channels.size() >= 3) {
        tone = 0.299f * channels[0][i] + 0.587f * channels[1][i] + 0.114f * channels[2][i];
      }
      if (!(tone > 0.0f)) tone = 0.0f;  // NaN as 0
      const int entry = GradientRamp::Index(reverse_ ? 1.0f - tone : tone);
      for (int c = 0; c < planes; ++c) {
        channels[static_cast<std::size_t>(c)][i] = ramp_->Colour(entry, c);
      }
    }
  }

 private:
  std::shared_ptr<const GradientRamp> ramp_;
  bool reverse_;
  bool rgb_;
};

// The colour structure of a binary block: a space and four 16-bit values.
std::optional<DescriptorColour> ReadColourStructure(BlockCursor& cursor) {
  const std::uint16_t model = cursor.UInt16("colour space");
  std::array<double, 4> v{};
  for (double& value : v) value = cursor.UInt16("colour value");
  switch (model) {
    case 0:
      return DescriptorColour{"RGBC", {v[0] / 257, v[1] / 257, v[2] / 257}};
    case 1:
      return DescriptorColour{"HSBC", {v[0] * 360 / 65536, v[1] * 100 / 65535, v[2] * 100 / 65535}};
    case 2:  // 0 is full ink
      return DescriptorColour{"CMYC",
                              {100 - v[0] * 100 / 65535, 100 - v[1] * 100 / 65535,
                               100 - v[2] * 100 / 65535, 100 - v[3] * 100 / 65535}};
    case 7: {
      const auto signedValue = [](double raw) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(raw)) / 100.0;
      };
      return DescriptorColour{"LbCl", {v[0] / 100, signedValue(v[1]), signedValue(v[2])}};
    }
    case 8:
      return DescriptorColour{"Grsc", {v[0] / 100}};
    default:
      return std::nullopt;
  }
}

}  // namespace

// Version, reversed and dithered flags, the gradient's name, the colour stops
// (location, midpoint, colour, two bytes unused), the transparency stops,
// then the smoothness. Transparency does not map tones and is passed over.
AdjustmentRead ReadGradientMap(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  const bool rgb = space.ColorMode == color_mode::kRgb;
  if (!rgb && !IsOneTone(space.ColorMode) && space.ColorMode != color_mode::kLab) {
    return NotDrawnIn("gradient map", space);
  }
  BlockCursor cursor(data, 0, "the 'grdm' block");
  cursor.Skip(2, "version");
  const bool reverse = cursor.UInt8("reversed") != 0;
  cursor.Skip(1, "dithered");
  cursor.UnicodeString("gradient name");
  GradientStops stops;
  const std::uint16_t colourCount = cursor.UInt16("colour stop count");
  if (colourCount == 0 || colourCount > kMostStops) {
    return {nullptr, "gradient map adjustment (its gradient has no colour stops it can read)"};
  }
  for (std::uint16_t k = 0; k < colourCount; ++k) {
    GradientStop stop;
    stop.Location = cursor.Int32("colour stop location") / kLocationScale;
    stop.Midpoint = cursor.Int32("colour stop midpoint") / 100.0;
    const auto colour = ReadColourStructure(cursor);
    cursor.Skip(2, "colour stop kind");
    const auto inSpace = colour ? ColourInSpace(*colour, space) : std::nullopt;
    // Out-of-range places say the settings are laid out otherwise than read.
    if (!inSpace || stop.Location < 0 || stop.Location > 1 || stop.Midpoint < 0 ||
        stop.Midpoint > 1) {
      return {nullptr, "gradient map adjustment (a colour stop cannot be read)"};
    }
    stop.Values = *inSpace;
    stops.Colours.push_back(stop);
  }
  const std::uint16_t opacityCount = cursor.UInt16("transparency stop count");
  if (opacityCount > kMostStops) {
    return {nullptr, "gradient map adjustment (a transparency stop cannot be read)"};
  }
  cursor.Skip(std::uint64_t{opacityCount} * 10, "transparency stops");
  cursor.Skip(2, "expansion count");
  stops.Smoothness = std::clamp(cursor.UInt16("interpolation") / kLocationScale, 0.0, 1.0);
  std::stable_sort(
      stops.Colours.begin(), stops.Colours.end(),
      [](const GradientStop& a, const GradientStop& b) { return a.Location < b.Location; });
  stops.Opacities.push_back({0, 0.5, {{1.0f, 0, 0, 0}}});
  auto ramp = std::make_shared<const GradientRamp>(stops, space);
  return {std::make_unique<GradientMap>(std::move(ramp), reverse, rgb), {}};
}

}  // namespace plymark::adjustments
