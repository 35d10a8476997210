#include "render/MergedImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <string>
#include <system_error>
#include <thread>

#include "platform/Prefault.h"
#include "psd/ColorModeCodes.h"
#include "psd/PsdError.h"
#include "render/ColourManagement.h"
#include "render/ColourModes.h"
#include "render/DeepSamples.h"
#include "render/MergedChannelRows.h"

namespace plymark {
namespace {

// A PSB image may measure up to 300000 pixels a side.
constexpr std::int32_t kLargestSide = 300000;
// From this many pixels on, the rows are shared with a second thread.
constexpr std::int64_t kSharedPixels = std::int64_t{1} << 18;
constexpr std::uint32_t kOpaque = 0xff000000u;

// The channels a colour mode's colours take; every channel of a multichannel
// document (and of a mode not known here) is a colour channel.
int ColourChannelCount(std::int16_t colorMode, std::int16_t channels) {
  switch (colorMode) {
    case color_mode::kBitmap:
    case color_mode::kGrayscale:
    case color_mode::kIndexed:
    case color_mode::kDuotone:
      return 1;
    case color_mode::kRgb:
    case color_mode::kLab:
      return 3;
    case color_mode::kCmyk:
      return 4;
    default:
      return channels;
  }
}

// How the merged image's colours are shown: a bitmap document as grey (its
// bits unpacked to 0 and 255), every other mode as its layers are.
struct MergedColour {
  ColourModel Model = ColourModel::Unshowable;
  int Planes = 0;  ///< colour channels read: 0..2 into red, green, blue, 3 as CMYK's black
  const DocumentColour* Conversion = nullptr;  ///< the colour profile's, when there is one
};

MergedColour ColourOf(std::int16_t colorMode, std::int16_t depth) {
  if (depth != 1 && BytesPerSample(depth) == 0) return {};
  const ColourModel model =
      colorMode == color_mode::kBitmap ? ColourModel::Gray : ModelOfColorMode(colorMode);
  switch (model) {
    case ColourModel::Rgb:
    case ColourModel::Lab:
      return {model, 3};
    case ColourModel::Cmyk:
      return {model, 4};
    case ColourModel::Gray:
    case ColourModel::Indexed:
      return {model, 1};
    case ColourModel::Unshowable:
      break;
  }
  return {};
}

// Un-blends a component that the maker stored blended over white with
// coverage `alpha` (0 < alpha < 255): c = (stored x 255 - white x (255 -
// alpha)) / alpha, truncated and clamped. White is 255 in every stored
// channel (CMYK's inks are stored inverted) but Lab's a and b, where it is 128.
std::uint8_t Unblended(std::uint8_t stored, std::uint8_t alpha, int white) {
  if (alpha == 0 || alpha == 255) return stored;
  const int value = (stored * 255 - white * (255 - alpha)) / alpha;
  return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// Unblended(stored, alpha, 255) at [alpha * 256 + stored]: a division per
// component costs more than the rest of a transparent row.
const std::array<std::uint8_t, 65536>& UnblendedFromWhite() {
  static const std::array<std::uint8_t, 65536> table = [] {
    std::array<std::uint8_t, 65536> values{};
    for (int alpha = 0; alpha < 256; ++alpha) {
      for (int stored = 0; stored < 256; ++stored) {
        values[static_cast<std::size_t>(alpha * 256 + stored)] =
            Unblended(static_cast<std::uint8_t>(stored), static_cast<std::uint8_t>(alpha), 255);
      }
    }
    return values;
  }();
  return table;
}

// A 32-bit transparency sample is coverage, not colour: no transfer curve.
std::uint8_t AlphaOfFloatSample(float sample) {
  const float coverage = sample > 0.0f ? std::min(sample, 1.0f) : 0.0f;
  return static_cast<std::uint8_t>(std::lround(coverage * 255.0f));
}

// Scales a stored row of `depth`-bit samples to 8-bit components in `out`
// (width bytes); at depth 8 the stored row is the answer as it is.
const std::uint8_t* ComponentsOfRow(const std::uint8_t* stored, std::size_t width,
                                    std::int16_t depth, bool transparency, std::uint8_t* out) {
  switch (depth) {
    case 8:
      return stored;
    case 1:
      // Most significant bit first; a set bit is black.
      for (std::size_t x = 0; x < width; ++x) {
        out[x] = (stored[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
      }
      return out;
    case 16:
      for (std::size_t x = 0; x < width; ++x, stored += 2) {
        out[x] = static_cast<std::uint8_t>(
            ComponentOf16BitSample(static_cast<std::uint16_t>((stored[0] << 8) | stored[1])));
      }
      return out;
    default:
      for (std::size_t x = 0; x < width; ++x, stored += 4) {
        const float sample = FloatFromBigEndian(stored);
        out[x] = transparency ? AlphaOfFloatSample(sample)
                              : static_cast<std::uint8_t>(ComponentOfFloatSample(sample));
      }
      return out;
  }
}

// One row's 8-bit components: up to four colour planes and the transparency.
struct ComponentRow {
  std::array<const std::uint8_t*, 4> Planes{};
  const std::uint8_t* Alpha = nullptr;  ///< null without transparency
  /// The colour planes' stored 16-bit samples (big-endian), for a profile's
  /// conversion, which takes them whole; null otherwise.
  std::array<const std::uint8_t*, 4> Wide{};
};

// Un-blends a 16-bit sample from a white of `white` as Unblended does.
std::uint16_t Unblended16(std::uint16_t stored, std::uint8_t alpha, std::int64_t white) {
  if (alpha == 0 || alpha == 255) return stored;
  const std::int64_t value = (std::int64_t{stored} * 255 - white * (255 - alpha)) / alpha;
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, 65535));
}

// A row through the document's colour profile: the samples at the depth the
// conversion takes, un-blended from white where the row has transparency.
void ProfiledRow(const DocumentColour& conversion, ColourModel model, int planeCount,
                 const ComponentRow& row, std::size_t width, std::vector<PixelRecord>& pixels,
                 std::vector<PixelRecord>& black, std::uint32_t* out) {
  const bool wide = conversion.InputDepth() == 16;
  pixels.assign(width, PixelRecord{});
  black.assign(model == ColourModel::Cmyk ? width : 0, PixelRecord{});
  const std::array<ComponentField, 3> fields = {&PixelRecord::Red, &PixelRecord::Green,
                                                &PixelRecord::Blue};
  for (int plane = 0; plane < planeCount; ++plane) {
    const auto p = static_cast<std::size_t>(plane);
    PixelRecord* target = plane < 3 ? pixels.data() : black.data();
    const ComponentField field = plane < 3 ? fields[p] : &PixelRecord::Red;
    // Lab's a and b are white at their middle, every other channel at its top.
    const bool chroma = model == ColourModel::Lab && plane > 0;
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t alpha = row.Alpha != nullptr ? row.Alpha[x] : 255;
      if (wide) {
        const std::uint8_t* at = row.Wide[p] != nullptr ? row.Wide[p] + 2 * x : nullptr;
        const auto stored =
            at != nullptr ? static_cast<std::uint16_t>((at[0] << 8) | at[1]) : std::uint16_t{0};
        target[x].*field =
            static_cast<std::int16_t>(Unblended16(stored, alpha, chroma ? 32768 : 65535));
      } else {
        target[x].*field = Unblended(row.Planes[p][x], alpha, chroma ? 128 : 255);
      }
    }
  }
  conversion.Convert(pixels, black);
  for (std::size_t x = 0; x < width; ++x) {
    const std::uint32_t alpha = row.Alpha != nullptr ? row.Alpha[x] : 255u;
    out[x] = (alpha << 24) | (static_cast<std::uint32_t>(pixels[x].Red) << 16) |
             (static_cast<std::uint32_t>(pixels[x].Green) << 8) |
             static_cast<std::uint32_t>(pixels[x].Blue);
  }
}

// The one place where the merged image's stored colours become sRGB words,
// so that colour management has one place to change.
void ColourRow(ColourModel model, const ComponentRow& row, std::size_t width,
               std::span<const std::uint8_t> colorTable, std::vector<PixelRecord>& pixels,
               std::vector<PixelRecord>& black, std::uint32_t* out) {
  const auto& planes = row.Planes;
  if (row.Alpha == nullptr && model == ColourModel::Rgb) {
    for (std::size_t x = 0; x < width; ++x) {
      out[x] = kOpaque | (std::uint32_t{planes[0][x]} << 16) | (std::uint32_t{planes[1][x]} << 8) |
               planes[2][x];
    }
    return;
  }
  if (row.Alpha == nullptr && model == ColourModel::Gray) {
    for (std::size_t x = 0; x < width; ++x) out[x] = kOpaque | (planes[0][x] * 0x010101u);
    return;
  }
  const std::uint8_t* const fromWhite = UnblendedFromWhite().data();
  if (row.Alpha != nullptr && model == ColourModel::Rgb) {
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t* unblended = fromWhite + row.Alpha[x] * 256;
      out[x] = (std::uint32_t{row.Alpha[x]} << 24) |
               (std::uint32_t{unblended[planes[0][x]]} << 16) |
               (std::uint32_t{unblended[planes[1][x]]} << 8) | unblended[planes[2][x]];
    }
    return;
  }
  // Everything else goes through the layers' colour conversion.
  pixels.resize(width);
  for (std::size_t x = 0; x < width; ++x) {
    PixelRecord& pixel = pixels[x];
    pixel.Red = planes[0][x];
    pixel.Green = planes[1] != nullptr ? planes[1][x] : 0;
    pixel.Blue = planes[2] != nullptr ? planes[2][x] : 0;
  }
  if (model == ColourModel::Cmyk) {
    black.resize(width);
    for (std::size_t x = 0; x < width; ++x) black[x].Red = planes[3][x];
  }
  if (row.Alpha != nullptr && model != ColourModel::Indexed) {
    const int chromaWhite = model == ColourModel::Lab ? 128 : 255;
    for (std::size_t x = 0; x < width; ++x) {
      const std::uint8_t alpha = row.Alpha[x];
      const std::uint8_t* unblended = fromWhite + alpha * 256;
      PixelRecord& pixel = pixels[x];
      pixel.Red = unblended[static_cast<std::uint8_t>(pixel.Red)];
      pixel.Green = Unblended(static_cast<std::uint8_t>(pixel.Green), alpha, chromaWhite);
      pixel.Blue = Unblended(static_cast<std::uint8_t>(pixel.Blue), alpha, chromaWhite);
      if (model == ColourModel::Cmyk)
        black[x].Red = unblended[static_cast<std::uint8_t>(black[x].Red)];
    }
  }
  ConvertToRgb(model, pixels, black, colorTable);
  for (std::size_t x = 0; x < width; ++x) {
    const std::uint32_t alpha = row.Alpha != nullptr ? row.Alpha[x] : 255u;
    out[x] = (alpha << 24) | (static_cast<std::uint32_t>(pixels[x].Red) << 16) |
             (static_cast<std::uint32_t>(pixels[x].Green) << 8) |
             static_cast<std::uint32_t>(pixels[x].Blue);
  }
}

// Decodes rows of the merged image into words; one per thread.
class RowDecoder {
 public:
  RowDecoder(const MergedChannelRows& rows, const MergedImageLayout& layout, MergedColour colour,
             std::span<const std::uint8_t> colorTable)
      : rows_(rows),
        layout_(layout),
        colour_(colour),
        colorTable_(colorTable),
        width_(static_cast<std::size_t>(layout.Width)),
        zeros_(width_, 0) {
    for (auto& buffer : stored_) buffer.resize(rows.BufferBytes());
    for (auto& buffer : components_) buffer.resize(width_);
  }

  void Decode(std::int32_t first, std::int32_t last, std::uint32_t* pixels) {
    ComponentRow row;
    for (std::int32_t y = first; y < last; ++y) {
      for (int plane = 0; plane < colour_.Planes; ++plane) {
        // A colour channel the header does not count reads as 0, as a
        // layer's missing colour channel does.
        row.Planes[static_cast<std::size_t>(plane)] =
            plane < layout_.Channels ? Components(plane, y, static_cast<std::size_t>(plane), false)
                                     : zeros_.data();
      }
      if (layout_.TransparencyChannel >= 0) {
        row.Alpha = Components(layout_.TransparencyChannel, y, 4, true);
      }
      std::uint32_t* out = pixels + static_cast<std::size_t>(y) * width_;
      if (colour_.Conversion != nullptr) {
        row.Wide = wide_;
        ProfiledRow(*colour_.Conversion, colour_.Model, colour_.Planes, row, width_, pixels_,
                    black_, out);
        continue;
      }
      ColourRow(colour_.Model, row, width_, colorTable_, pixels_, black_, out);
    }
  }

 private:
  const std::uint8_t* Components(int channel, std::int32_t y, std::size_t slot, bool transparency) {
    const std::uint8_t* stored = rows_.Row(channel, y, stored_[slot].data());
    if (slot < 4) wide_[slot] = layout_.Depth == 16 ? stored : nullptr;
    return ComponentsOfRow(stored, width_, layout_.Depth, transparency, components_[slot].data());
  }

  const MergedChannelRows& rows_;
  const MergedImageLayout& layout_;
  MergedColour colour_;
  std::span<const std::uint8_t> colorTable_;
  std::size_t width_;
  std::vector<std::uint8_t> zeros_;
  std::array<std::vector<std::uint8_t>, 5> stored_;      ///< four colour planes, transparency
  std::array<std::vector<std::uint8_t>, 5> components_;  ///< the same, scaled to 8 bits
  std::vector<PixelRecord> pixels_;
  std::vector<PixelRecord> black_;
  std::array<const std::uint8_t*, 4> wide_{};  ///< the stored 16-bit rows of the colour planes
};

// Decodes every row, the second half on a second thread for a large image.
// Damage is reported as the first damaged row in file order, whichever
// thread met which.
void DecodeRows(const MergedChannelRows& rows, const MergedImageLayout& layout, MergedColour colour,
                std::span<const std::uint8_t> colorTable, std::uint32_t* pixels) {
  std::int32_t middle = layout.Height;
  std::thread helper;
  std::exception_ptr helperError;
  if (static_cast<std::int64_t>(layout.Width) * layout.Height >= kSharedPixels &&
      layout.Height >= 2) {
    middle = layout.Height / 2;
    try {
      helper = std::thread([&] {
        try {
          RowDecoder(rows, layout, colour, colorTable).Decode(middle, layout.Height, pixels);
        } catch (...) {
          helperError = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      middle = layout.Height;  // no second thread: this one takes every row
    }
  }
  std::exception_ptr error;
  try {
    RowDecoder(rows, layout, colour, colorTable).Decode(0, middle, pixels);
  } catch (...) {
    error = std::current_exception();
  }
  if (helper.joinable()) helper.join();
  if (!error) error = helperError;
  if (!error) return;
  rows.CheckInFileOrder();
  std::rethrow_exception(error);
}

}  // namespace

MergedImageLayout MergedLayoutOf(const FileHeader& header, int transparencyChannel) {
  MergedImageLayout layout;
  layout.Version = header.Version;
  layout.Channels = header.Channels;
  layout.Width = static_cast<std::int32_t>(header.Columns);
  layout.Height = static_cast<std::int32_t>(header.Rows);
  layout.Depth = header.Depth;
  layout.ColorMode = header.ColorMode;
  layout.TransparencyChannel = transparencyChannel;
  return layout;
}

int MergedTransparencyChannel(std::int16_t channels, std::int16_t colorMode,
                              const ImageResources& resources, bool hasTransparencyBlock) {
  const int colourChannels = ColourChannelCount(colorMode, channels);
  if (channels <= colourChannels) return -1;
  const auto& identifiers = resources.AlphaIdentifiers;
  if (identifiers) {
    const auto zero = std::find(identifiers->begin(), identifiers->end(), 0);
    if (zero == identifiers->end()) {
      // Every extra channel is a saved selection or a spot colour.
      return hasTransparencyBlock ? colourChannels : -1;
    }
    // The identifiers belong to the last extra channels: the maker lists
    // its alpha channels, which follow a transparency it may leave unlisted.
    const auto listed = static_cast<int>(identifiers->size());
    const int channel = channels - listed + static_cast<int>(zero - identifiers->begin());
    if (channel >= colourChannels) return channel;
  }
  // No identifier says: the first extra channel, right behind the colour
  // channels. Photoshop stores the transparency there, ahead of its alpha
  // channels, and so do ImageMagick and ag-psd, which write colour channels
  // then the transparency (tests/corpus/im-raw.psd: R, G, B, A).
  return colourChannels;
}

MergedImage DecodeMergedImage(std::span<const std::uint8_t> section, std::int64_t sectionOffset,
                              const MergedImageLayout& layout,
                              std::span<const std::uint8_t> colorTable,
                              const DocumentColour* conversion) {
  if (layout.Width < 0 || layout.Height < 0 || layout.Width > kLargestSide ||
      layout.Height > kLargestSide) {
    throw PsdError::Damaged(sectionOffset, "merged image",
                            "measures " + std::to_string(layout.Width) + " x " +
                                std::to_string(layout.Height) +
                                " pixels, more than the 300000 a side a PSB image can have");
  }
  MergedImage image;
  image.Width = layout.Width;
  image.Height = layout.Height;
  MergedColour colour = ColourOf(layout.ColorMode, layout.Depth);
  // A profile's conversion is made for the layers' depth: 8 or 16 bits.
  if (conversion != nullptr && layout.ColorMode != color_mode::kBitmap &&
      conversion->InputDepth() == layout.Depth) {
    colour.Conversion = conversion;
  }
  const bool shown = colour.Planes > 0 && layout.Channels > 0;
  image.HasAlpha =
      shown && layout.TransparencyChannel >= 0 && layout.TransparencyChannel < layout.Channels;
  MergedImageLayout used = layout;
  if (!image.HasAlpha) used.TransparencyChannel = -1;
  const int usedChannels =
      shown ? std::max(std::min<int>(colour.Planes, layout.Channels), used.TransparencyChannel + 1)
            : 0;
  const MergedChannelRows rows(
      section, sectionOffset,
      {layout.Version, layout.Channels, layout.Width, layout.Height, layout.Depth}, usedChannels);
  const std::int64_t pixelCount = static_cast<std::int64_t>(layout.Width) * layout.Height;
  if (pixelCount == 0) return image;
  if (!shown) {
    // Nothing is decoded, but the picture still takes memory: no more than
    // the stored bytes could fill at the loosest.
    if (pixelCount > static_cast<std::int64_t>(section.size()) * 1032 * 8) {
      throw PsdError::Damaged(sectionOffset, "merged image",
                              "measures " + std::to_string(layout.Width) + " x " +
                                  std::to_string(layout.Height) +
                                  " pixels, more than its stored bytes can fill");
    }
    image.Pixels.assign(static_cast<std::size_t>(pixelCount), kOpaque);
    return image;
  }
  // The first touch of fresh memory costs more than decoding into it: share it.
  image.Pixels.reserve(static_cast<std::size_t>(pixelCount));
  PrefaultInParallel(image.Pixels.data(), image.Pixels.capacity() * sizeof(std::uint32_t));
  image.Pixels.resize(static_cast<std::size_t>(pixelCount));
  DecodeRows(rows, used, colour, colorTable, image.Pixels.data());
  return image;
}

void OpaqueRow(const MergedImage& image, std::int32_t y, std::span<std::uint32_t> out) {
  const auto width = static_cast<std::size_t>(image.Width);
  const std::uint32_t* row = image.Pixels.data() + static_cast<std::size_t>(y) * width;
  for (std::size_t x = 0; x < width && x < out.size(); ++x) out[x] = row[x] | kOpaque;
}

}  // namespace plymark
