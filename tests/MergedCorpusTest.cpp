#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "psd/ImageResources.h"
#include "render/MergedImage.h"

namespace plymark {
namespace {

// Walks a third-party file (without an Mtrn block) to its image data section
// and decodes the merged image.
MergedImage DecodeCorpusFile(const std::string& name) {
  std::ifstream in(std::string(PLYMARK_CORPUS_DIR) + "/" + name, std::ios::binary);
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  const auto field = [&](std::size_t at, std::size_t count) {
    std::size_t value = 0;
    for (std::size_t k = 0; k < count; ++k) value = (value << 8) | file.at(at + k);
    return value;
  };
  // By name: the header's members change width for PSB files.
  FileHeader header;
  header.Version = static_cast<std::int16_t>(field(4, 2));
  header.Channels = static_cast<std::int16_t>(field(12, 2));
  header.Rows = static_cast<decltype(header.Rows)>(field(14, 4));
  header.Columns = static_cast<decltype(header.Columns)>(field(18, 4));
  header.Depth = static_cast<std::int16_t>(field(22, 2));
  header.ColorMode = static_cast<std::int16_t>(field(24, 2));
  const std::size_t resources = 30 + field(26, 4);
  const std::size_t layers = resources + 4 + field(resources, 4);
  const std::size_t imageData = layers + 4 + field(layers, 4);
  const auto bytes = std::span<const std::uint8_t>(file);
  const ImageResources found =
      ReadImageResources(bytes.subspan(resources + 4, field(resources, 4)), resources + 4);
  const int transparency =
      MergedTransparencyChannel(header.Channels, header.ColorMode, found, false);
  return DecodeMergedImage(bytes.subspan(imageData), static_cast<std::int64_t>(imageData),
                           MergedLayoutOf(header, transparency),
                           bytes.subspan(30, std::min<std::size_t>(field(26, 4), 768)));
}

// Pixels as psd-tools 1.9.24 gives them (PSDImage.topil, as RGBA).
TEST(MergedCorpus, ThirdPartyMergedImagesMatchPsdTools) {
  const struct {
    const char* file;
    bool hasAlpha;
    std::int32_t y, x;
    std::uint32_t expected;
  } cases[] = {
      {"im-raw.psd", true, 29, 50, 0x54ff0000},  // raw, R G B A, un-blended from white
      {"im-raw.psd", true, 20, 30, 0xff30555c},
      {"pt-no-layers.psd", false, 18, 28, 0xffe0d8ee},  // run-length, no layers
      {"im-gray.psd", true, 12, 16, 0xff1f1f1f},
      {"im-indexed.psd", false, 3, 3, 0xff008000},
      {"colour/im-cmyk.psd", true, 5, 5, 0xff292929},
  };
  for (const auto& c : cases) {
    const MergedImage image = DecodeCorpusFile(c.file);
    EXPECT_EQ(image.HasAlpha, c.hasAlpha) << c.file;
    const auto at = static_cast<std::size_t>(c.y * image.Width + c.x);
    EXPECT_EQ(image.Pixels.at(at), c.expected) << c.file << " at " << c.x << ", " << c.y;
  }
}

}  // namespace
}  // namespace plymark
