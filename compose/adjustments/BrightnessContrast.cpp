#include <algorithm>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ChannelTables.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/FieldReader.h"

namespace plymark::adjustments {

// The maker's brightness and contrast before CS3 ("Use Legacy" since), which
// no file of the development corpus holds with values: brightness adds to
// every channel, contrast stretches about the block's mean level, by
// 1 / (1 - c) for a contrast c above 0 (a threshold at 100) and 1 + c below;
// a raised contrast acts after the brightness, a lowered one before it.
AdjustmentRead ReadLegacyBrightnessContrast(std::span<const std::uint8_t> data,
                                            const AdjustmentSpace& space) {
  const FileView view(data);
  std::int64_t position = 1;
  const float brightness =
      static_cast<float>(std::clamp<int>(ReadInt16(view, position, "brightness"), -150, 150)) /
      255.0f;
  const float contrast =
      static_cast<float>(std::clamp<int>(ReadInt16(view, position, "contrast"), -100, 100)) /
      100.0f;
  const float mean =
      static_cast<float>(std::clamp<int>(ReadInt16(view, position, "mean level"), 0, 255)) / 255.0f;
  if (space.ColorMode != color_mode::kRgb && space.ColorMode != color_mode::kCmyk &&
      !IsOneTone(space.ColorMode)) {
    return NotDrawnIn("brightness/contrast", space);
  }

  auto stretch = [&](float v) {
    if (contrast >= 1.0f) return v >= mean ? 1.0f : 0.0f;
    const float slope = contrast > 0.0f ? 1.0f / (1.0f - contrast) : 1.0f + contrast;
    return std::clamp(mean + (v - mean) * slope, 0.0f, 1.0f);
  };
  auto table = SampleToneTable(ToneTableIntervals(space.Depth), [&](float v) {
    if (contrast > 0.0f) return stretch(std::clamp(v + brightness, 0.0f, 1.0f));
    return std::clamp(stretch(v) + brightness, 0.0f, 1.0f);
  });
  return {std::make_unique<ChannelTables>(std::vector<std::vector<float>>(
              static_cast<std::size_t>(space.ColourChannels), table)),
          {}};
}

}  // namespace plymark::adjustments
