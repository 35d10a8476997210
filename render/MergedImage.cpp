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
#include "render/SrgbRow.h"

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

// The same at 16 bits, with the 16-bit alpha: cut to 8 bits first, a low
// alpha would multiply the error of its rounding.
std::uint16_t Unblended16(std::uint16_t stored, std::uint16_t alpha, std::int64_t white) {
  if (alpha == 0 || alpha == 65535) return stored;
  const std::int64_t value = (std::int64_t{stored} * 65535 - white * (65535 - alpha)) / alpha;
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, 65535));
}

std::uint16_t Sample16(const std::uint8_t* stored, std::size_t x) {
  return static_cast<std::uint16_t>((stored[2 * x] << 8) | stored[2 * x + 1]);
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
      for (std::size_t x = 0; x < width; ++x) {
        out[x] = static_cast<std::uint8_t>(ComponentOf16BitSample(Sample16(stored, x)));
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

// Decodes rows of the merged image into words; one per thread. Colours
// stored blended over white with the transparency are un-blended before they
// are converted: at 16 bits with the 16-bit transparency, else at 8 bits.
class RowDecoder {
 public:
  RowDecoder(const MergedChannelRows& rows, const MergedImageLayout& layout,
             const StoredColours& colours)
      : rows_(rows),
        layout_(layout),
        colours_(colours),
        width_(static_cast<std::size_t>(layout.Width)),
        zeros_(width_, 0),
        unblended_(colours.Model != ColourModel::Indexed && layout.TransparencyChannel >= 0) {
    for (auto& buffer : stored_) buffer.resize(rows.BufferBytes());
    for (auto& buffer : components_) buffer.resize(width_);
    if (layout.Depth == 16) {
      for (auto& buffer : wide_) buffer.resize(width_);
      alpha16_.resize(width_);
    }
  }

  void Decode(std::int32_t first, std::int32_t last, std::uint32_t* pixels) {
    for (std::int32_t y = first; y < last; ++y) {
      StoredRow row;
      const std::uint8_t* alpha = layout_.TransparencyChannel >= 0
                                      ? rows_.Row(layout_.TransparencyChannel, y, stored_[4].data())
                                      : nullptr;
      if (layout_.Depth == 16) {
        DeepRow(y, alpha, row);
      } else if (layout_.Depth == 32 && unblended_ && alpha != nullptr) {
        FloatRow(y, alpha, row);
      } else {
        ByteRow(y, alpha, row);
      }
      SrgbRow(colours_, row, width_, scratch_, pixels + static_cast<std::size_t>(y) * width_);
    }
  }

 private:
  // A colour channel the header does not count reads as 0, as a layer's
  // missing colour channel does; null then.
  const std::uint8_t* Stored(int plane, std::int32_t y) {
    if (plane >= layout_.Channels) return nullptr;
    return rows_.Row(plane, y, stored_[static_cast<std::size_t>(plane)].data());
  }

  // White is the top of every stored channel but Lab's a and b, whose
  // middle it is.
  bool Chroma(int plane) const { return colours_.Model == ColourModel::Lab && plane > 0; }

  void ByteRow(std::int32_t y, const std::uint8_t* alpha, StoredRow& row) {
    if (alpha != nullptr) {
      row.Alpha = ComponentsOfRow(alpha, width_, layout_.Depth, true, components_[4].data());
    }
    const std::uint8_t* const fromWhite = UnblendedFromWhite().data();
    for (int plane = 0; plane < colours_.Planes; ++plane) {
      const auto p = static_cast<std::size_t>(plane);
      const std::uint8_t* stored = Stored(plane, y);
      const std::uint8_t* components =
          stored != nullptr
              ? ComponentsOfRow(stored, width_, layout_.Depth, false, components_[p].data())
              : zeros_.data();
      if (unblended_) {
        std::uint8_t* out = components_[p].data();
        if (Chroma(plane)) {
          for (std::size_t x = 0; x < width_; ++x)
            out[x] = Unblended(components[x], row.Alpha[x], 128);
        } else {
          for (std::size_t x = 0; x < width_; ++x)
            out[x] = fromWhite[row.Alpha[x] * 256 + components[x]];
        }
        components = out;
      }
      row.Planes[p] = components;
    }
  }

  // 32-bit colours are blended over white in linear light: un-blended there,
  // before the sRGB curve.
  void FloatRow(std::int32_t y, const std::uint8_t* alpha, StoredRow& row) {
    row.Alpha = ComponentsOfRow(alpha, width_, layout_.Depth, true, components_[4].data());
    for (int plane = 0; plane < colours_.Planes; ++plane) {
      const auto p = static_cast<std::size_t>(plane);
      const std::uint8_t* stored = Stored(plane, y);
      std::uint8_t* out = components_[p].data();
      for (std::size_t x = 0; x < width_; ++x) {
        const float coverage = std::clamp(FloatFromBigEndian(alpha + 4 * x), 0.0f, 1.0f);
        const float sample = stored != nullptr ? FloatFromBigEndian(stored + 4 * x) : 0.0f;
        const float colour = coverage > 0.0f ? (sample - (1.0f - coverage)) / coverage : sample;
        out[x] = static_cast<std::uint8_t>(ComponentOfFloatSample(colour));
      }
      row.Planes[p] = out;
    }
  }

  void DeepRow(std::int32_t y, const std::uint8_t* alpha, StoredRow& row) {
    if (alpha != nullptr) {
      std::uint8_t* alpha8 = components_[4].data();
      for (std::size_t x = 0; x < width_; ++x) {
        alpha16_[x] = Sample16(alpha, x);
        alpha8[x] = static_cast<std::uint8_t>(ComponentOf16BitSample(alpha16_[x]));
      }
      row.Alpha = alpha8;
    }
    for (int plane = 0; plane < colours_.Planes; ++plane) {
      const auto p = static_cast<std::size_t>(plane);
      const std::uint8_t* stored = Stored(plane, y);
      std::uint16_t* wide = wide_[p].data();
      const std::int64_t white = Chroma(plane) ? 32768 : 65535;
      for (std::size_t x = 0; x < width_; ++x) {
        const std::uint16_t sample = stored != nullptr ? Sample16(stored, x) : std::uint16_t{0};
        wide[x] = unblended_ ? Unblended16(sample, alpha16_[x], white) : sample;
      }
      if (colours_.Conversion != nullptr) {
        row.Wide[p] = wide;
        continue;
      }
      std::uint8_t* components = components_[p].data();
      for (std::size_t x = 0; x < width_; ++x) {
        components[x] = static_cast<std::uint8_t>(ComponentOf16BitSample(wide[x]));
      }
      row.Planes[p] = components;
    }
  }

  const MergedChannelRows& rows_;
  const MergedImageLayout& layout_;
  const StoredColours& colours_;
  std::size_t width_;
  std::vector<std::uint8_t> zeros_;
  bool unblended_;                                   ///< the colours are stored blended over white
  std::array<std::vector<std::uint8_t>, 5> stored_;  ///< four colour planes, transparency
  std::array<std::vector<std::uint8_t>, 5> components_;  ///< the same at 8 bits, un-blended
  std::array<std::vector<std::uint16_t>, 4> wide_;       ///< 16-bit colours, un-blended
  std::vector<std::uint16_t> alpha16_;
  SrgbScratch scratch_;
};

// Decodes every row, the second half on a second thread for a large image.
// Damage is reported as the first damaged row in file order, whichever
// thread met which.
void DecodeRows(const MergedChannelRows& rows, const MergedImageLayout& layout,
                const StoredColours& colours, std::uint32_t* pixels) {
  std::int32_t middle = layout.Height;
  std::thread helper;
  std::exception_ptr helperError;
  if (static_cast<std::int64_t>(layout.Width) * layout.Height >= kSharedPixels &&
      layout.Height >= 2) {
    middle = layout.Height / 2;
    try {
      helper = std::thread([&] {
        try {
          RowDecoder(rows, layout, colours).Decode(middle, layout.Height, pixels);
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
    RowDecoder(rows, layout, colours).Decode(0, middle, pixels);
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

bool MergedImageHasAlpha(const MergedImageLayout& layout) {
  const bool shown = StoredColoursOf(layout.ColorMode, layout.Depth, nullptr, {}).Planes > 0 &&
                     layout.Channels > 0;
  return shown && layout.TransparencyChannel >= 0 && layout.TransparencyChannel < layout.Channels;
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
  const StoredColours colours =
      StoredColoursOf(layout.ColorMode, layout.Depth, conversion, colorTable);
  const bool shown = colours.Planes > 0 && layout.Channels > 0;
  image.HasAlpha = MergedImageHasAlpha(layout);
  MergedImageLayout used = layout;
  if (!image.HasAlpha) used.TransparencyChannel = -1;
  const int usedChannels =
      shown ? std::max(std::min<int>(colours.Planes, layout.Channels), used.TransparencyChannel + 1)
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
  DecodeRows(rows, used, colours, image.Pixels.data());
  return image;
}

void OpaqueRow(const MergedImage& image, std::int32_t y, std::span<std::uint32_t> out) {
  const auto width = static_cast<std::size_t>(image.Width);
  const std::uint32_t* row = image.Pixels.data() + static_cast<std::size_t>(y) * width;
  for (std::size_t x = 0; x < width && x < out.size(); ++x) out[x] = row[x] | kOpaque;
}

}  // namespace plymark
