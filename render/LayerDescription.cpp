#include "render/LayerDescription.h"

#include <algorithm>

namespace plymark {

std::string DescribeLayer(const LayerRecord& layer, std::int32_t width, std::int32_t height) {
  const std::string name = layer.Name.empty() ? std::string("(no name)") : layer.Name;
  // Edges stored the wrong way round still give the corner nearest the origin.
  const std::int32_t left = std::min(layer.Left, layer.Right);
  const std::int32_t top = std::min(layer.Top, layer.Bottom);
  return name + "\n" + std::to_string(width) + " \u00d7 " + std::to_string(height) +
         " pixels at (" + std::to_string(left) + ", " + std::to_string(top) + ")";
}

}  // namespace plymark
