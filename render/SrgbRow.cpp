#include "render/SrgbRow.h"

#include "psd/ColorModeCodes.h"
#include "render/ColourManagement.h"
#include "render/DeepSamples.h"

namespace plymark {
namespace {

constexpr std::uint32_t kOpaque = 0xff000000u;

std::uint32_t AlphaWord(const StoredRow& row, std::size_t x) {
  return row.Alpha != nullptr ? std::uint32_t{row.Alpha[x]} << 24 : kOpaque;
}

void Pack(const StoredRow& row, std::span<const PixelRecord> pixels, std::uint32_t* out) {
  for (std::size_t x = 0; x < pixels.size(); ++x) {
    out[x] = AlphaWord(row, x) | (static_cast<std::uint32_t>(pixels[x].Red) << 16) |
             (static_cast<std::uint32_t>(pixels[x].Green) << 8) |
             static_cast<std::uint32_t>(pixels[x].Blue);
  }
}

// Plane p's sample x as the conversion takes it: whole 16 bits or 8 bits.
std::int16_t SampleOf(const StoredRow& row, std::size_t plane, std::size_t x) {
  if (row.Wide[plane] != nullptr) return static_cast<std::int16_t>(row.Wide[plane][x]);
  return row.Planes[plane] != nullptr ? row.Planes[plane][x] : std::int16_t{0};
}

}  // namespace

StoredColours StoredColoursOf(std::int16_t colorMode, std::int16_t depth,
                              const DocumentColour* conversion,
                              std::span<const std::uint8_t> colorTable) {
  if (depth != 1 && BytesPerSample(depth) == 0) return {};
  const ColourModel model =
      colorMode == color_mode::kBitmap ? ColourModel::Gray : ModelOfColorMode(colorMode);
  StoredColours colours{model, 0, nullptr, colorTable};
  switch (model) {
    case ColourModel::Rgb:
    case ColourModel::Lab:
      colours.Planes = 3;
      break;
    case ColourModel::Cmyk:
      colours.Planes = 4;
      break;
    case ColourModel::Gray:
    case ColourModel::Indexed:
      colours.Planes = 1;
      break;
    case ColourModel::Unshowable:
      return {};
  }
  // A profile's conversion is made for the layers' depth: 8 or 16 bits.
  if (conversion != nullptr && colorMode != color_mode::kBitmap &&
      conversion->InputDepth() == depth) {
    colours.Conversion = conversion;
  }
  return colours;
}

void SrgbRow(const StoredColours& colours, const StoredRow& row, std::size_t width,
             SrgbScratch& scratch, std::uint32_t* out) {
  const auto& planes = row.Planes;
  if (colours.Planes == 0) {
    for (std::size_t x = 0; x < width; ++x) out[x] = AlphaWord(row, x);
    return;
  }
  if (colours.Conversion == nullptr && colours.Model == ColourModel::Rgb) {
    for (std::size_t x = 0; x < width; ++x) {
      out[x] = AlphaWord(row, x) | (std::uint32_t{planes[0][x]} << 16) |
               (std::uint32_t{planes[1][x]} << 8) | planes[2][x];
    }
    return;
  }
  if (colours.Conversion == nullptr && colours.Model == ColourModel::Gray) {
    for (std::size_t x = 0; x < width; ++x) out[x] = AlphaWord(row, x) | (planes[0][x] * 0x010101u);
    return;
  }
  // Everything else goes through the layers' colour conversion: channels 0
  // to 2 into red, green and blue, CMYK's black into a plane of its own.
  std::vector<PixelRecord>& pixels = scratch.Pixels;
  std::vector<PixelRecord>& black = scratch.Black;
  pixels.assign(width, PixelRecord{});
  black.assign(colours.Model == ColourModel::Cmyk ? width : 0, PixelRecord{});
  for (std::size_t x = 0; x < width; ++x) {
    PixelRecord& pixel = pixels[x];
    pixel.Red = SampleOf(row, 0, x);
    pixel.Green = SampleOf(row, 1, x);
    pixel.Blue = SampleOf(row, 2, x);
  }
  for (std::size_t x = 0; x < black.size(); ++x) black[x].Red = SampleOf(row, 3, x);
  if (colours.Conversion != nullptr) {
    colours.Conversion->Convert(pixels, black);
  } else {
    ConvertToRgb(colours.Model, pixels, black, colours.ColorTable);
  }
  Pack(row, pixels, out);
}

}  // namespace plymark
