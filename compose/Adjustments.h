#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace plymark {

// The document an adjustment works in: its colours are blended and adjusted
// as stored, in the document's own colour space.
struct AdjustmentSpace {
  std::int16_t ColorMode = 3;  ///< as the header stores it: 1 grey, 3 RGB, 4 CMYK, 9 Lab, ...
  std::int16_t Depth = 8;      ///< 8, 16 or 32 (32: linear light)
  int ColourChannels = 3;      ///< colour planes handed to Apply
};

// A colour adjustment layer's mapping of the backdrop's colours, pixel by
// pixel: what the layer draws where its mask and opacity let it.
class Adjustment {
 public:
  virtual ~Adjustment() = default;
  // Maps `count` pixels in place. `channels` holds one plane per colour
  // channel of the document (AdjustmentSpace::ColourChannels), values as
  // stored scaled to 0..1 (CMYK's inks inverted: 1 is no ink; 32-bit values
  // linear and unclamped).
  virtual void Apply(std::span<float* const> channels, std::size_t count) const = 0;
};

// What an adjustment layer's settings block makes.
struct AdjustmentRead {
  std::unique_ptr<const Adjustment> Mapping;  ///< null when it cannot be drawn
  std::string Problem;  ///< why not, for the render's omissions; empty when drawn
};

// Reads the settings block of adjustment key `key` ("levl", "curv", "brit",
// "vibA", "clrL", ...) from its bytes. A key that is not an adjustment gives
// no adjustment and no problem; damaged or unsupported settings, and the
// adjustment kinds not drawn here, give a problem, never an exception. Since
// CS3 the maker writes `brit` as zeros and keeps the real brightness and
// contrast in a `CgEd` descriptor: the caller reads "CgEd" from that block
// instead where a record has one.
AdjustmentRead ReadAdjustment(std::string_view key, std::span<const std::uint8_t> data,
                              const AdjustmentSpace& space);

// True for the keys of the tagged blocks that make a layer an adjustment
// layer, those ReadAdjustment draws and those it does not yet.
bool IsAdjustmentKey(std::string_view key);

// What an adjustment key is called in messages ("levels", "vibrance", ...);
// empty for a key that is no adjustment.
std::string_view AdjustmentName(std::string_view key);

}  // namespace plymark
