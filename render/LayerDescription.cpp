#include "render/LayerDescription.h"

#include <algorithm>

namespace plymark {
namespace {

// Bit 1 of a record's flags hides the layer.
constexpr std::uint8_t kHiddenFlag = 0x02;

}  // namespace

std::string DescribeLayer(const LayerRecord& layer, std::int32_t width, std::int32_t height,
                          const std::string& groupPath) {
  const std::string name = layer.Name.empty() ? std::string("(no name)") : layer.Name;
  // Edges stored the wrong way round still give the corner nearest the origin.
  const std::int32_t left = std::min(layer.Left, layer.Right);
  const std::int32_t top = std::min(layer.Top, layer.Bottom);
  std::string text = name + "\n" + std::to_string(width) + " \u00d7 " + std::to_string(height) +
                     " pixels at (" + std::to_string(left) + ", " + std::to_string(top) + ")";
  if (!groupPath.empty()) text += "\n" + groupPath;
  if ((layer.Flags & kHiddenFlag) != 0) text += "\nhidden";
  if (layer.Opacity < 255) text += "\nopacity " + std::to_string(layer.Opacity) + " of 255";
  return text;
}

}  // namespace plymark
