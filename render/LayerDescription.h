#pragma once

#include <cstdint>
#include <string>

#include "psd/DocumentState.h"

namespace plymark {

// What a layer's tile says about it when the pointer rests on it: the name on
// the first line, then the size in pixels and the position of the layer's
// top-left corner in the document.
std::string DescribeLayer(const LayerRecord& layer, std::int32_t width, std::int32_t height);

}  // namespace plymark
