#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "compose/BlendRows.h"

namespace plymark {

// Runs blendRows over `area` one row at a time and puts back, after each,
// the colour channels set in `kept` ('brst': left out of the layer's
// blending) as `backdrop` had them; alpha and the other channels blend.
template <class BlendRowsOf>
void BlendKeepingChannels(std::uint8_t kept, int channels, const BandPlanes& backdrop,
                          const BandArea& area, std::vector<float>& saved,
                          BlendRowsOf&& blendRows) {
  const auto width = static_cast<std::size_t>(std::max(0, area.Right - area.Left));
  saved.resize(width * 4);
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    BandArea one = area;
    one.FirstRow = row;
    one.EndRow = row + 1;
    const std::size_t from = static_cast<std::size_t>(row) * area.Stride +
                             static_cast<std::size_t>(std::max(0, area.Left));
    for (std::size_t c = 0; c < static_cast<std::size_t>(channels); ++c) {
      if ((kept >> c) & 1u) {
        std::copy_n(backdrop.Colour[c] + from, width, saved.begin() + c * width);
      }
    }
    blendRows(one);
    for (std::size_t c = 0; c < static_cast<std::size_t>(channels); ++c) {
      if ((kept >> c) & 1u) {
        std::copy_n(saved.begin() + c * width, width, backdrop.Colour[c] + from);
      }
    }
  }
}

}  // namespace plymark
