#include "compose/Adjustments.h"

#include <algorithm>
#include <array>

namespace plymark {
namespace {

// The keys of every adjustment layer the format defines.
// (`CgEd` rides beside `brit` and is no layer kind of its own.)
constexpr std::array<std::string_view, 17> kAdjustmentKeys = {
    "levl", "curv", "brit", "expA", "hue2", "hue ", "nvrt", "post", "thrs",
    "vibA", "blnc", "blwh", "phfl", "mixr", "grdm", "selc", "clrL"};

}  // namespace

bool IsAdjustmentKey(std::string_view key) {
  return std::find(kAdjustmentKeys.begin(), kAdjustmentKeys.end(), key) != kAdjustmentKeys.end();
}

AdjustmentRead ReadAdjustment(std::string_view key, std::span<const std::uint8_t>,
                              const AdjustmentSpace&) {
  if (!IsAdjustmentKey(key)) return {};
  return {nullptr, "the adjustment is not drawn"};
}

}  // namespace plymark
