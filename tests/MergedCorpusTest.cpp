#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "psd/ImageResources.h"
#include "render/MergedImage.h"

namespace plymark {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint64_t BigEndian(const Bytes& file, std::size_t at, std::size_t count) {
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < count; ++k) value = (value << 8) | file.at(at + k);
  return value;
}

// Walks a third-party file's sections to its image data section and decodes
// the merged image. These files have no Mtrn block.
MergedImage DecodeCorpusFile(const std::string& name) {
  std::ifstream in(std::string(PLYMARK_CORPUS_DIR) + "/" + name, std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), {});
  FileHeader header;
  header.Version = static_cast<std::int16_t>(BigEndian(file, 4, 2));
  header.Channels = static_cast<std::int16_t>(BigEndian(file, 12, 2));
  header.Rows = static_cast<std::int16_t>(BigEndian(file, 14, 4));
  header.Columns = static_cast<std::int16_t>(BigEndian(file, 18, 4));
  header.Depth = static_cast<std::int16_t>(BigEndian(file, 22, 2));
  header.ColorMode = static_cast<std::int16_t>(BigEndian(file, 24, 2));
  const std::size_t colourData = 26;
  const std::size_t resources = colourData + 4 + BigEndian(file, colourData, 4);
  const std::size_t resourcesLength = BigEndian(file, resources, 4);
  const std::size_t layers = resources + 4 + resourcesLength;
  const std::size_t imageData = layers + 4 + BigEndian(file, layers, 4);
  const auto bytes = std::span<const std::uint8_t>(file);
  const ImageResources found =
      ReadImageResources(bytes.subspan(resources + 4, resourcesLength), resources + 4);
  const int transparency =
      MergedTransparencyChannel(header.Channels, header.ColorMode, found, false);
  const std::size_t tableSize = std::min<std::size_t>(BigEndian(file, colourData, 4), 768);
  return DecodeMergedImage(bytes.subspan(imageData), static_cast<std::int64_t>(imageData),
                           MergedLayoutOf(header, transparency),
                           bytes.subspan(colourData + 4, tableSize));
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
      {"im-raw.psd", true, 0, 3, 0x00000000},
      {"im-raw.psd", true, 20, 30, 0xff30555c},
      {"pt-no-layers.psd", false, 18, 28, 0xffe0d8ee},  // run-length, no layers
      {"im-gray.psd", true, 12, 16, 0xff1f1f1f},
      {"im-indexed.psd", false, 3, 3, 0xff008000},
      {"colour/im-cmyk.psd", true, 5, 5, 0xff292929},
      {"deep/pt-zip-pred-8.psd", false, 10, 10, 0xff244d60},
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
