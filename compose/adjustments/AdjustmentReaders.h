#pragma once

// One reader per adjustment kind. Each reads `data` (the tagged block's
// bytes: fixed fields through psd/BinaryAdjustments, or a descriptor)
// bounds-checked, so a block cut short throws PsdError with the offset
// inside the block; ReadAdjustment turns that into a problem text. A reader
// returns a problem of its own for settings it cannot draw in `space`.

#include <span>

#include "compose/Adjustments.h"

namespace plymark::adjustments {

AdjustmentRead ReadLevels(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadCurves(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadLegacyBrightnessContrast(std::span<const std::uint8_t> data,
                                            const AdjustmentSpace& space);
AdjustmentRead ReadExposure(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadHueSaturation(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadInvert(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadPosterize(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadThreshold(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
// The `CgEd` descriptor that holds brightness/contrast since CS3.
AdjustmentRead ReadBrightnessContrast(std::span<const std::uint8_t> data,
                                      const AdjustmentSpace& space);
AdjustmentRead ReadColourBalance(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadVibrance(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadBlackWhite(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadPhotoFilter(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadChannelMixer(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadSelectiveColour(std::span<const std::uint8_t> data,
                                   const AdjustmentSpace& space);
AdjustmentRead ReadColourLookup(std::span<const std::uint8_t> data, const AdjustmentSpace& space);
AdjustmentRead ReadGradientMap(std::span<const std::uint8_t> data, const AdjustmentSpace& space);

}  // namespace plymark::adjustments
