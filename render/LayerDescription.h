#pragma once

#include <cstdint>
#include <string>

#include "psd/DocumentState.h"

namespace plymark {

// What a layer's tile says about it when the pointer rests on it: the name on
// the first line, then the size in pixels and the position of the layer's
// top-left corner in the document. Lines follow for what else sets the layer
// apart: its group path (`groupPath`, from GroupPath; none at the top level),
// "hidden" when it is not visible, its opacity when below 255, and for a
// text layer the first 40 characters of its `text` (UTF-8) in quotes, line
// breaks as spaces.
std::string DescribeLayer(const LayerRecord& layer, std::int32_t width, std::int32_t height,
                          const std::string& groupPath = {}, const std::string& text = {});

}  // namespace plymark
