#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "compose/Adjustments.h"
#include "psd/ColorModeCodes.h"

namespace plymark::adjustments {

// Grey and duotone documents: one tone channel, no hue.
inline bool IsOneTone(std::int16_t colorMode) {
  return colorMode == color_mode::kGrayscale || colorMode == color_mode::kDuotone;
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

}  // namespace plymark::adjustments
