#include "compose/adjustments/ChannelTables.h"

#include <algorithm>

namespace plymark::adjustments {

int ToneTableIntervals(std::int16_t depth) {
  return depth == 8 ? 255 : 4096;
}

float LookUp(std::span<const float> table, float value) {
  const std::size_t intervals = table.size() - 1;
  float x = value * static_cast<float>(intervals);
  if (!(x > 0.0f)) return table.front();  // also NaN
  if (x >= static_cast<float>(intervals)) return table.back();
  const auto index = std::min(static_cast<std::size_t>(x), intervals - 1);
  x -= static_cast<float>(index);
  return table[index] + x * (table[index + 1] - table[index]);
}

void ChannelTables::Apply(std::span<float* const> channels, std::size_t count) const {
  const std::size_t used = std::min(channels.size(), tables_.size());
  for (std::size_t c = 0; c < used; ++c) {
    if (tables_[c].size() < 2) continue;
    float* plane = channels[c];
    for (std::size_t i = 0; i < count; ++i) plane[i] = LookUp(tables_[c], plane[i]);
  }
}

}  // namespace plymark::adjustments
