#include "render/LayerDescription.h"

#include <algorithm>

namespace plymark {
namespace {

// Bit 1 of a record's flags hides the layer.
constexpr std::uint8_t kHiddenFlag = 0x02;
constexpr std::size_t kTextShown = 40;

// The first kTextShown characters of UTF-8 `text` on one line, with an
// ellipsis when there are more.
std::string TextExcerpt(const std::string& text) {
  std::string excerpt;
  std::size_t characters = 0;
  for (const char c : text) {
    const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (starts && ++characters > kTextShown) return excerpt + "\u2026";
    // Paragraphs end in carriage returns; ETX breaks a line within one.
    excerpt.push_back(c == '\r' || c == '\n' || c == '\x03' ? ' ' : c);
  }
  return excerpt;
}

}  // namespace

std::string DescribeLayer(const LayerRecord& layer, std::int32_t width, std::int32_t height,
                          const std::string& groupPath, const std::string& text) {
  const std::string name = layer.Name.empty() ? std::string("(no name)") : layer.Name;
  // Edges stored the wrong way round still give the corner nearest the origin.
  const std::int32_t left = std::min(layer.Left, layer.Right);
  const std::int32_t top = std::min(layer.Top, layer.Bottom);
  std::string description = name + "\n" + std::to_string(width) + " \u00d7 " +
                            std::to_string(height) + " pixels at (" + std::to_string(left) + ", " +
                            std::to_string(top) + ")";
  if (!groupPath.empty()) description += "\n" + groupPath;
  if ((layer.Flags & kHiddenFlag) != 0) description += "\nhidden";
  if (layer.Opacity < 255) {
    description += "\nopacity " + std::to_string(layer.Opacity) + " of 255";
  }
  if (!text.empty()) description += "\n\u201c" + TextExcerpt(text) + "\u201d";
  return description;
}

}  // namespace plymark
