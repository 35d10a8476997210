#pragma once

#include <cstddef>
#include <string>

#include "psd/DocumentState.h"
#include "psd/PsdError.h"
#include "render/DecodePlane.h"

namespace plymark {

// Damage found at byte `index` of a channel's data: `what` was being read in
// the plane `name`.
inline PsdError PlaneError(const ChannelBlock& block, std::size_t index, PlaneName name,
                           const char* what, const std::string& problem) {
  return PsdError::Damaged(block.DataOffset + static_cast<std::int64_t>(index),
                           std::string(what) + " of channel " + std::to_string(name.ChannelId) +
                               " of layer " + std::to_string(name.Layer),
                           problem);
}

}  // namespace plymark
