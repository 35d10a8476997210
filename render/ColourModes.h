#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "psd/DocumentState.h"

namespace plymark {

// How the colour channels of a document's colour mode become red, green and
// blue.
enum class ColourModel {
  Rgb,         ///< RGB and multichannel: channels 0, 1, 2 are red, green, blue
  Gray,        ///< grayscale and duotone: channel 0 in all three
  Indexed,     ///< channel 0 holds indices into the colour table
  Cmyk,        ///< channels 0 to 3 are C, M, Y, K, stored inverted (255 is no ink)
  Lab,         ///< channels 0 to 2 are L, a, b (D50)
  Unshowable,  ///< bitmap and unknown modes: nothing is decoded
};

ColourModel ModelOfColorMode(std::int16_t colorMode);

// The blocks of a layer's colour channels, by plane: 0, 1 and 2 decode into
// Red, Green and Blue, 3 into the separate black plane (CMYK's K). Plane p
// holds the layer's first channel with id p that the model uses; null where
// the layer has none. An unshowable mode lists its channels 0 to 3 all the
// same, so that the size check can count them, but none is decoded.
struct ColourChannels {
  ColourModel Model = ColourModel::Rgb;
  std::array<const ChannelBlock*, 4> Blocks{};
};

ColourChannels FindColourChannels(const DocumentState& state, int layer);

// Turns the decoded channel values in `pixels` into sRGB red, green and blue,
// in place. `black` holds CMYK's K plane in its Red components (one record per
// pixel); `colorTable` the indexed colour table (missing entries count as 0).
void ConvertToRgb(ColourModel model, std::span<PixelRecord> pixels,
                  std::span<const PixelRecord> black, std::span<const std::uint8_t> colorTable);

// The box shown once per Open of a document whose colour mode cannot be shown.
std::string UnshowableColourModeText(std::int16_t colorMode);

}  // namespace plymark
