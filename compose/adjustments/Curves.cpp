#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <vector>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ChannelTables.h"
#include "compose/adjustments/NaturalSpline.h"
#include "psd/FieldReader.h"
#include "psd/PsdError.h"

namespace plymark::adjustments {
namespace {

// Bit 0 of the channel set is the master curve, bit c + 1 colour channel c.
constexpr int kChannelBits = 32;

// A curve's points, stored output first. Points out of order are sorted; of
// two at one input the later counts.
NaturalSpline ReadCurve(const FileView& view, std::int64_t& position) {
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
  return NaturalSpline(std::move(points));
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
