#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <vector>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ChannelTables.h"
#include "psd/FieldReader.h"
#include "psd/PsdError.h"

namespace plymark::adjustments {
namespace {

// Bit 0 of the channel set is the master curve, bit c + 1 colour channel c.
constexpr int kChannelBits = 32;

// A curve through its points (input, output in 0..255), as the maker draws
// it: a natural cubic spline, flat beyond its end points, clipped to 0..255.
class Spline {
 public:
  explicit Spline(std::vector<std::array<float, 2>> points) : points_(std::move(points)) {
    const std::size_t n = points_.size();
    second_.assign(n, 0.0f);
    if (n < 3) return;
    // Tridiagonal system for the second derivatives, zero at both ends.
    std::vector<float> upper(n, 0.0f);
    std::vector<float> rhs(n, 0.0f);
    for (std::size_t i = 1; i + 1 < n; ++i) {
      const float h0 = X(i) - X(i - 1);
      const float h1 = X(i + 1) - X(i);
      const float slopes = (Y(i + 1) - Y(i)) / h1 - (Y(i) - Y(i - 1)) / h0;
      const float diagonal = 2.0f * (h0 + h1) - h0 * upper[i - 1];
      upper[i] = h1 / diagonal;
      rhs[i] = (6.0f * slopes - h0 * rhs[i - 1]) / diagonal;
    }
    for (std::size_t i = n - 2; i >= 1; --i) second_[i] = rhs[i] - upper[i] * second_[i + 1];
  }

  float operator()(float x) const {
    if (x <= X(0)) return Y(0);
    if (x >= X(points_.size() - 1)) return Y(points_.size() - 1);
    std::size_t i = 1;
    while (X(i) < x) ++i;
    const float h = X(i) - X(i - 1);
    const float a = (X(i) - x) / h;
    const float b = 1.0f - a;
    const float y =
        a * Y(i - 1) + b * Y(i) +
        ((a * a * a - a) * second_[i - 1] + (b * b * b - b) * second_[i]) * h * h / 6.0f;
    return std::clamp(y, 0.0f, 255.0f);
  }

 private:
  float X(std::size_t i) const { return points_[i][0]; }
  float Y(std::size_t i) const { return points_[i][1]; }

  std::vector<std::array<float, 2>> points_;
  std::vector<float> second_;
};

// A curve's points, stored output first. Points out of order are sorted; of
// two at one input the later counts.
Spline ReadCurve(const FileView& view, std::int64_t& position) {
  const std::int16_t count = ReadInt16(view, position, "curve point count");
  if (count < 2 || count > 256) {
    throw PsdError::Damaged(position - 3, "curve point count",
                            "is " + std::to_string(count) + ", not 2 to 256");
  }
  std::map<float, float> byInput;
  for (int i = 0; i < count; ++i) {
    const auto output =
        static_cast<float>(std::clamp<int>(ReadInt16(view, position, "curve point"), 0, 255));
    const auto input =
        static_cast<float>(std::clamp<int>(ReadInt16(view, position, "curve point"), 0, 255));
    byInput[input] = output;
  }
  std::vector<std::array<float, 2>> points;
  for (const auto& [input, output] : byInput) points.push_back({input, output});
  if (points.size() < 2) points = {{0.0f, points[0][1]}, {255.0f, points[0][1]}};
  return Spline(std::move(points));
}

// A curve stored as its 256 outputs (the pencil's "map").
std::vector<float> ReadMap(const FileView& view, std::int64_t& position) {
  const auto bytes = view.Bytes(position - 1, 256, "curve map");
  position += 256;
  return {bytes.begin(), bytes.end()};
}

}  // namespace

// Measured on the maker's merged images: natural splines, each channel's
// curve first, then the master's, exact at 8 bits.
AdjustmentRead ReadCurves(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  const FileView view(data);
  std::int64_t position = 1;
  const bool isMap = ReadUInt8(view, position, "curves kind") == 1;
  const std::int16_t version = ReadInt16(view, position, "curves version");
  if (version != 1 && version != 4) {
    return {nullptr, "curves adjustment (settings of version " + std::to_string(version) + ")"};
  }
  const auto channelSet = static_cast<std::uint32_t>(ReadInt32(view, position, "curves channels"));

  // Each curve as a function of 0..1 (identity where the set has none).
  std::array<std::function<float(float)>, kChannelBits> curves;
  for (int bit = 0; bit < kChannelBits; ++bit) {
    if ((channelSet & (std::uint32_t{1} << bit)) == 0) continue;
    if (isMap) {
      curves[static_cast<std::size_t>(bit)] = [map = ReadMap(view, position)](float v) {
        return LookUp(map, v) / 255.0f;
      };
    } else {
      curves[static_cast<std::size_t>(bit)] = [spline = ReadCurve(view, position)](float v) {
        return spline(v * 255.0f) / 255.0f;
      };
    }
  }

  const int intervals = ToneTableIntervals(space.Depth);
  std::vector<std::vector<float>> tables;
  const auto& master = curves[0];
  for (int c = 0; c < space.ColourChannels; ++c) {
    const auto* channel = c + 1 < kChannelBits ? &curves[static_cast<std::size_t>(c + 1)] : nullptr;
    if (channel != nullptr && !*channel) channel = nullptr;
    if (channel == nullptr && !master) {
      tables.emplace_back();
      continue;
    }
    tables.push_back(SampleToneTable(intervals, [&](float v) {
      if (channel != nullptr) v = (*channel)(v);
      return master ? master(v) : v;
    }));
  }
  return {std::make_unique<ChannelTables>(std::move(tables)), {}};
}

}  // namespace plymark::adjustments
