#pragma once

#include <cstdint>

namespace plymark::color_mode {

// The colour modes of the file header, as stored.
constexpr std::int16_t kBitmap = 0;
constexpr std::int16_t kGrayscale = 1;
constexpr std::int16_t kIndexed = 2;
constexpr std::int16_t kRgb = 3;
constexpr std::int16_t kCmyk = 4;
constexpr std::int16_t kMultichannel = 7;
constexpr std::int16_t kDuotone = 8;
constexpr std::int16_t kLab = 9;

// An indexed document's colour table: 256 reds, then 256 greens, then 256 blues.
constexpr std::int32_t kColorTableSize = 768;

}  // namespace plymark::color_mode
