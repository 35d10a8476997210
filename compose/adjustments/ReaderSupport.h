#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "compose/Adjustments.h"
#include "compose/BlendFormulas.h"
#include "compose/adjustments/ChannelTables.h"
#include "psd/BlockCursor.h"
#include "psd/ColorModeCodes.h"

namespace plymark::adjustments {

// Grey and duotone documents: one tone channel, no hue.
inline bool IsOneTone(std::int16_t colorMode) {
  return colorMode == color_mode::kGrayscale || colorMode == color_mode::kDuotone;
}

// A cursor over a settings block's bytes; what it throws names the byte
// offset inside the block.
inline BlockCursor SettingsCursor(std::span<const std::uint8_t> data) {
  return BlockCursor(data, 0, "its settings");
}

// The answer for settings this program cannot draw in the document's mode.
inline AdjustmentRead NotDrawnIn(std::string_view name, const AdjustmentSpace& space) {
  std::string mode;
  switch (space.ColorMode) {
    case color_mode::kCmyk:
      mode = "CMYK";
      break;
    case color_mode::kLab:
      mode = "Lab";
      break;
    case color_mode::kMultichannel:
      mode = "multichannel";
      break;
    default:
      mode = "colour mode " + std::to_string(space.ColorMode);
  }
  return {nullptr, std::string(name) + " adjustment (not drawn in " + mode + " documents)"};
}

// out = c at luminance l, as the luminosity blend mode sets it; at a
// luminance of `ceiling` or more, where no colour is left, grey.
inline void SetLuminance(const float* c, float l, float* out, float ceiling = 1.0f) {
  if (l >= ceiling) {
    out[0] = out[1] = out[2] = l;
    return;
  }
  blend::SetLum(c, l, out);
}

// Settings that change nothing (a lookup without a table, zero vibrance).
inline AdjustmentRead LeavesAsIs() {
  return {std::make_unique<ChannelTables>(std::vector<std::vector<float>>{}), {}};
}

// The answer for settings of a version this program does not know.
inline AdjustmentRead UnknownVersion(std::string_view name, int version) {
  return {nullptr,
          std::string(name) + " adjustment (settings of version " + std::to_string(version) + ")"};
}

}  // namespace plymark::adjustments
