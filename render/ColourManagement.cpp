#include "render/ColourManagement.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "psd/ColorModeCodes.h"
#include "render/CmykTable.h"

namespace plymark {
namespace {

// The smallest ICC profile: its 128-byte header.
constexpr std::size_t kIccHeaderSize = 128;
// The default press profile is a file of the system; a larger one is not it.
constexpr long kLargestDefaultProfile = 16L << 20;
// Pixels converted per call of the transform, through buffers on the stack.
constexpr std::size_t kChunkPixels = 512;
// From this many pixels on, a conversion is shared with a second thread.
constexpr std::size_t kSharedPixels = std::size_t{1} << 16;
// CMYK: pixels converted exactly before the document's table is made.
constexpr std::size_t kExactPixels =
    std::size_t{CmykTable::kGrid} * CmykTable::kGrid * CmykTable::kGrid * CmykTable::kGrid;

struct ProfileCloser {
  void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

std::uint32_t BigEndian32(const std::uint8_t* at) {
  return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) |
         at[3];
}

// Opens untrusted profile bytes: the size the profile's header gives must fit
// the bytes stored before Little CMS reads any of them.
Profile OpenProfile(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kIccHeaderSize) return nullptr;
  const std::uint32_t declared = BigEndian32(bytes.data());
  if (declared < kIccHeaderSize || declared > bytes.size()) return nullptr;
  return Profile(cmsOpenProfileFromMem(bytes.data(), declared));
}

std::vector<std::uint8_t> ReadSystemFile(const char* path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return bytes;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    if (size > 0 && size <= kLargestDefaultProfile && std::fseek(file, 0, SEEK_SET) == 0) {
      bytes.resize(static_cast<std::size_t>(size));
      if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
    }
  }
  std::fclose(file);
  return bytes;
}

std::string Description(void* profile) {
  std::array<char, 256> text{};
  cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text.data(),
                         static_cast<cmsUInt32Number>(text.size()));
  std::string description(text.data());
  while (!description.empty() && description.back() == ' ') description.pop_back();
  return description;
}

// The Little CMS layout of one pixel's stored samples (CMYK's is below).
cmsUInt32Number InputFormat(std::int16_t colorMode, int depth) {
  const bool wide = depth == 16;
  switch (colorMode) {
    case color_mode::kGrayscale:
      return wide ? TYPE_GRAY_16 : TYPE_GRAY_8;
    case color_mode::kLab:
      return wide ? TYPE_Lab_16 : TYPE_Lab_8;
    default:
      return wide ? TYPE_RGB_16 : TYPE_RGB_8;
  }
}

// The exact conversion of 16-bit stored inks to 16-bit sRGB, without Little
// CMS's precalculated table, from which CmykTable samples its own. The inks
// are stored inverted (65535 is no ink), which the reversed flavour reads so.
void* MakeSamplingTransform(void* input) {
  const Profile srgb(cmsCreate_sRGBProfile());
  if (!srgb) return nullptr;
  return cmsCreateTransform(input, TYPE_CMYK_16_REV, srgb.get(), TYPE_RGB_16,
                            INTENT_RELATIVE_COLORIMETRIC,
                            cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOOPTIMIZE);
}

void* MakeTransform(void* input, std::int16_t colorMode, int depth) {
  if (colorMode == color_mode::kCmyk) return MakeSamplingTransform(input);
  const Profile srgb(cmsCreate_sRGBProfile());
  if (!srgb) return nullptr;
  return cmsCreateTransform(input, InputFormat(colorMode, depth), srgb.get(), TYPE_RGB_8,
                            INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION);
}

// True when an RGB transform leaves every colour of a grid within one step of
// itself: an sRGB profile, under whichever name, costs no conversion.
bool IsIdentity(void* transform, int depth) {
  constexpr int kSteps = 16;
  std::vector<std::uint16_t> wide;
  std::vector<std::uint8_t> narrow;
  for (int r = 0; r < kSteps; ++r) {
    for (int g = 0; g < kSteps; ++g) {
      for (int b = 0; b < kSteps; ++b) {
        for (const int v : {r, g, b}) {
          narrow.push_back(static_cast<std::uint8_t>(v * 17));
          wide.push_back(static_cast<std::uint16_t>(v * 17 * 257));
        }
      }
    }
  }
  std::vector<std::uint8_t> out(narrow.size());
  cmsDoTransform(transform, depth == 8 ? static_cast<void*>(narrow.data()) : wide.data(),
                 out.data(), static_cast<cmsUInt32Number>(narrow.size() / 3));
  for (std::size_t k = 0; k < out.size(); ++k) {
    if (std::abs(int{out[k]} - int{narrow[k]}) > 1) return false;
  }
  return true;
}

std::string UnusableProfileText(const std::string& why) {
  return "This document's colour profile cannot be used (" + why +
         "); its layers are shown with their stored colours.";
}

}  // namespace

struct DocumentColourMaker {
  static std::shared_ptr<const DocumentColour> Make(void* transform, void* profile,
                                                    std::int16_t colorMode, int depth,
                                                    bool sampled) {
    return std::shared_ptr<const DocumentColour>(
        new DocumentColour(transform, profile, colorMode, depth, sampled));
  }
};

DocumentColour::DocumentColour(void* transform, void* profile, std::int16_t colorMode,
                               int inputDepth, bool sampled)
    : transform_(transform),
      profile_(profile),
      colorMode_(colorMode),
      inputDepth_(inputDepth),
      sampled_(sampled) {}

DocumentColour::~DocumentColour() {
  cmsDeleteTransform(transform_);
  if (wideTransform_ != nullptr) cmsDeleteTransform(wideTransform_);
  if (profile_ != nullptr) cmsCloseProfile(profile_);
}

void DocumentColour::ConvertInksExactly(PixelRecord* pixels, const PixelRecord* black,
                                        std::size_t count, bool wide) const {
  std::array<std::uint16_t, kChunkPixels * 4> inks{};
  std::array<std::uint16_t, kChunkPixels * 3> rgb{};
  for (std::size_t start = 0; start < count; start += kChunkPixels) {
    const std::size_t n = std::min(kChunkPixels, count - start);
    PixelRecord* in = pixels + start;
    for (std::size_t k = 0; k < n; ++k) {
      const auto widen = [this](std::int16_t stored) {
        return inputDepth_ == 16
                   ? static_cast<std::uint16_t>(stored)
                   : static_cast<std::uint16_t>(static_cast<std::uint8_t>(stored) * 257u);
      };
      inks[4 * k] = widen(in[k].Red);
      inks[4 * k + 1] = widen(in[k].Green);
      inks[4 * k + 2] = widen(in[k].Blue);
      inks[4 * k + 3] = widen(black != nullptr ? black[start + k].Red : std::int16_t{0});
    }
    cmsDoTransform(transform_, inks.data(), rgb.data(), static_cast<cmsUInt32Number>(n));
    const auto narrow = [&](std::size_t at) {
      return static_cast<std::int16_t>((rgb[at] * 255u + 32767u) / 65535u);
    };
    const auto keep = [&](std::size_t at) { return static_cast<std::int16_t>(rgb[at]); };
    for (std::size_t k = 0; k < n; ++k) {
      in[k] = wide ? PixelRecord{keep(3 * k), keep(3 * k + 1), keep(3 * k + 2)}
                   : PixelRecord{narrow(3 * k), narrow(3 * k + 1), narrow(3 * k + 2)};
    }
  }
}

namespace {

// Packs `count` pixels' stored samples (and CMYK's black) the way the
// transform reads them: `channels` per pixel, into `narrow` at 8 bits or
// `wide` at 16.
void PackSamples(const PixelRecord* in, const PixelRecord* black, std::size_t count, int channels,
                 std::int16_t colorMode, int inputDepth, std::uint8_t* narrow,
                 std::uint16_t* wide) {
  for (std::size_t k = 0; k < count; ++k) {
    const std::array<std::int16_t, 4> samples = {in[k].Red, in[k].Green, in[k].Blue,
                                                 black != nullptr ? black[k].Red : std::int16_t{0}};
    for (int c = 0; c < channels; ++c) {
      const auto at = k * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c);
      const std::int16_t sample = samples[static_cast<std::size_t>(c)];
      if (inputDepth == 8) {
        narrow[at] = static_cast<std::uint8_t>(sample);
      } else if (colorMode == color_mode::kLab && c > 0) {
        // The file's a and b have 32768 as neutral (a = v / 256 - 128);
        // Little CMS's 16-bit Lab has 32896 (a = v / 257 - 128).
        const std::uint32_t stored = static_cast<std::uint16_t>(sample);
        wide[at] = static_cast<std::uint16_t>(
            std::min<std::uint32_t>(65535u, (stored * 257u + 128u) / 256u));
      } else {
        wide[at] = static_cast<std::uint16_t>(sample);
      }
    }
  }
}

int ChannelsOf(std::int16_t colorMode) {
  return colorMode == color_mode::kGrayscale ? 1 : colorMode == color_mode::kCmyk ? 4 : 3;
}

}  // namespace

void DocumentColour::ConvertRange(PixelRecord* pixels, const PixelRecord* black, std::size_t count,
                                  const CmykTable* table) const {
  if (sampled_) {
    if (table != nullptr) {
      table->Convert(pixels, black, count, inputDepth_);
    } else {
      ConvertInksExactly(pixels, black, count, false);
    }
    return;
  }
  std::array<std::uint16_t, kChunkPixels * 4> wide{};
  std::array<std::uint8_t, kChunkPixels * 4> narrow{};
  std::array<std::uint8_t, kChunkPixels * 3> rgb{};
  for (std::size_t start = 0; start < count; start += kChunkPixels) {
    const std::size_t n = std::min(kChunkPixels, count - start);
    PixelRecord* in = pixels + start;
    PackSamples(in, black != nullptr ? black + start : nullptr, n, ChannelsOf(colorMode_),
                colorMode_, inputDepth_, narrow.data(), wide.data());
    cmsDoTransform(transform_, inputDepth_ == 8 ? static_cast<void*>(narrow.data()) : wide.data(),
                   rgb.data(), static_cast<cmsUInt32Number>(n));
    for (std::size_t k = 0; k < n; ++k) {
      in[k] = PixelRecord{rgb[3 * k], rgb[3 * k + 1], rgb[3 * k + 2]};
    }
  }
}

void DocumentColour::ConvertRange16(PixelRecord* pixels, const PixelRecord* black,
                                    std::size_t count) const {
  std::array<std::uint16_t, kChunkPixels * 4> wide{};
  std::array<std::uint8_t, kChunkPixels * 4> narrow{};
  std::array<std::uint16_t, kChunkPixels * 3> rgb{};
  for (std::size_t start = 0; start < count; start += kChunkPixels) {
    const std::size_t n = std::min(kChunkPixels, count - start);
    PixelRecord* in = pixels + start;
    PackSamples(in, black != nullptr ? black + start : nullptr, n, ChannelsOf(colorMode_),
                colorMode_, inputDepth_, narrow.data(), wide.data());
    cmsDoTransform(wideTransform_,
                   inputDepth_ == 8 ? static_cast<void*>(narrow.data()) : wide.data(), rgb.data(),
                   static_cast<cmsUInt32Number>(n));
    for (std::size_t k = 0; k < n; ++k) {
      in[k] = PixelRecord{static_cast<std::int16_t>(rgb[3 * k]),
                          static_cast<std::int16_t>(rgb[3 * k + 1]),
                          static_cast<std::int16_t>(rgb[3 * k + 2])};
    }
  }
}

template <typename Range>
void DocumentColour::Share(std::span<PixelRecord> pixels, std::span<const PixelRecord> black,
                           const Range& convert) const {
  const PixelRecord* blackPlane = black.size() >= pixels.size() ? black.data() : nullptr;
  std::size_t middle = pixels.size();
  std::thread helper;
  if (pixels.size() >= kSharedPixels) {
    middle = pixels.size() / 2;
    try {
      helper = std::thread([&] {
        convert(pixels.data() + middle, blackPlane != nullptr ? blackPlane + middle : nullptr,
                pixels.size() - middle);
      });
    } catch (const std::system_error&) {
      middle = pixels.size();  // no second thread: this one converts every pixel
    }
  }
  convert(pixels.data(), blackPlane, middle);
  if (helper.joinable()) helper.join();
}

void DocumentColour::Convert(std::span<PixelRecord> pixels,
                             std::span<const PixelRecord> black) const {
  // Until a document has converted as many pixels as its table would have
  // nodes, which cost about as much each to sample, its inks go through the
  // exact conversion: a small document never pays for the table.
  const CmykTable* table = nullptr;
  if (sampled_ && exactPixels_.fetch_add(pixels.size()) + pixels.size() > kExactPixels) {
    std::call_once(tableMade_, [this] {
      table_ = std::make_unique<const CmykTable>(
          [this](const std::uint16_t* cmyk, std::uint16_t* rgb, std::size_t count) {
            cmsDoTransform(transform_, cmyk, rgb, static_cast<cmsUInt32Number>(count));
          });
    });
    table = table_.get();
  }
  Share(pixels, black, [&](PixelRecord* from, const PixelRecord* blackFrom, std::size_t count) {
    ConvertRange(from, blackFrom, count, table);
  });
}

void DocumentColour::Convert16(std::span<PixelRecord> pixels,
                               std::span<const PixelRecord> black) const {
  if (sampled_) {
    Share(pixels, black, [&](PixelRecord* from, const PixelRecord* blackFrom, std::size_t count) {
      ConvertInksExactly(from, blackFrom, count, true);
    });
    return;
  }
  std::call_once(wideMade_, [this] {
    const Profile srgb(cmsCreate_sRGBProfile());
    if (srgb) {
      wideTransform_ = cmsCreateTransform(profile_, InputFormat(colorMode_, inputDepth_),
                                          srgb.get(), TYPE_RGB_16, INTENT_RELATIVE_COLORIMETRIC,
                                          cmsFLAGS_BLACKPOINTCOMPENSATION);
    }
    if (wideTransform_ == nullptr) throw std::bad_alloc();
  });
  Share(pixels, black, [&](PixelRecord* from, const PixelRecord* blackFrom, std::size_t count) {
    ConvertRange16(from, blackFrom, count);
  });
}

ColourSetup SetUpDocumentColour(std::int16_t colorMode, std::int16_t depth,
                                std::span<const std::uint8_t> profile, bool untagged,
                                const char* defaultCmykPath) {
  ColourSetup setup;
  const bool managedMode = colorMode == color_mode::kRgb || colorMode == color_mode::kGrayscale ||
                           colorMode == color_mode::kCmyk || colorMode == color_mode::kLab;
  if (untagged) profile = {};
  Profile input;
  if (!profile.empty()) {
    input = OpenProfile(profile);
    if (input) setup.ProfileDescription = Description(input.get());
  }
  // 32-bit samples keep their linear-light conversion; other modes and
  // depths have no profile conversion here.
  if (!managedMode || (depth != 8 && depth != 16)) return setup;
  if (!profile.empty() && !input) {
    setup.Message = UnusableProfileText("Little CMS cannot read it");
    return setup;
  }
  if (colorMode == color_mode::kLab) {
    input = Profile(cmsCreateLab4Profile(nullptr));  // D50, whatever the file embeds
  } else if (!input && colorMode == color_mode::kCmyk) {
    const std::vector<std::uint8_t> fallback = ReadSystemFile(defaultCmykPath);
    input = OpenProfile(fallback);
    if (!input) {
      setup.Message = std::string(
                          "This CMYK document has no colour profile, and the default "
                          "press profile ") +
                      defaultCmykPath +
                      " (Debian package libgs-common) cannot be read; its inks are shown "
                      "through a simple formula.";
      return setup;
    }
  }
  if (!input) return setup;  // RGB and grey without a profile: shown as stored
  void* transform = MakeTransform(input.get(), colorMode, depth);
  if (transform == nullptr) {
    setup.Message = UnusableProfileText("it does not describe this document's colour mode");
    return setup;
  }
  if (colorMode == color_mode::kRgb && IsIdentity(transform, depth)) {
    cmsDeleteTransform(transform);
    return setup;
  }
  const bool cmyk = colorMode == color_mode::kCmyk;
  // The 16-bit conversion of every mode but CMYK is made from the profile when first asked for.
  setup.Conversion = DocumentColourMaker::Make(transform, cmyk ? nullptr : input.release(),
                                               colorMode, depth, cmyk);
  return setup;
}

}  // namespace plymark
