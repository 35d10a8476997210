#include <algorithm>

#include "compose/adjustments/AdjustmentReaders.h"

namespace plymark::adjustments {
namespace {

// Every colour channel as stored, turned over: CMYK's inks and Lab's a and b
// too. A 32-bit value above 1 inverts to 0.
class Invert final : public Adjustment {
 public:
  void Apply(std::span<float* const> channels, std::size_t count) const override {
    for (float* plane : channels) {
      for (std::size_t i = 0; i < count; ++i) plane[i] = std::max(0.0f, 1.0f - plane[i]);
    }
  }
};

}  // namespace

// The block has no settings.
AdjustmentRead ReadInvert(std::span<const std::uint8_t>, const AdjustmentSpace&) {
  return {std::make_unique<Invert>(), {}};
}

}  // namespace plymark::adjustments
