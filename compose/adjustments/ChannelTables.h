#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "compose/Adjustments.h"

namespace plymark::adjustments {

// Intervals of a tone table over 0..1. An 8-bit document gets one entry per
// level, as the maker maps its 256 levels through a table of 256 entries, so
// that stored values land on entries exactly; deeper documents a finer table.
int ToneTableIntervals(std::int16_t depth);

// `map` (0..1 to 0..1) sampled at intervals + 1 evenly spaced points.
template <class Map>
std::vector<float> SampleToneTable(int intervals, Map map) {
  std::vector<float> table(static_cast<std::size_t>(intervals) + 1);
  for (int i = 0; i <= intervals; ++i) {
    table[static_cast<std::size_t>(i)] = map(static_cast<float>(i) / static_cast<float>(intervals));
  }
  return table;
}

// One value through a table, linearly between its entries. Values outside
// 0..1 take the end entries (a 32-bit value above 1 holds the table's end;
// NaN counts as 0).
float LookUp(std::span<const float> table, float value);

// Maps each colour channel through a table of its own; a channel without a
// table (an empty one) is left as it is.
class ChannelTables final : public Adjustment {
 public:
  explicit ChannelTables(std::vector<std::vector<float>> tables) : tables_(std::move(tables)) {}
  void Apply(std::span<float* const> channels, std::size_t count) const override;

 private:
  std::vector<std::vector<float>> tables_;
};

}  // namespace plymark::adjustments
