// The colour-profile conversion alone: one layer's decoded samples (4000 x
// 3000 by default) through a document's conversion to sRGB, as the layer loop
// runs it (two threads on a large layer), for CMYK through a press profile
// and for RGB through a wide-gamut one.
//
// Usage: bench_colour [--repeat N] [PROFILE.icc]
//   PROFILE defaults to libgs-common's default_cmyk.icc ("Artifex CMYK SWOP").

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "psd/ColorModeCodes.h"
#include "render/ColourManagement.h"

namespace {

using plymark::PixelRecord;

std::vector<std::uint8_t> ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Noise over ramps, so that neither a one-pixel cache nor a flat area helps.
void Fill(std::vector<PixelRecord>& pixels, std::vector<PixelRecord>& black) {
  std::mt19937 random(42);
  for (std::size_t k = 0; k < pixels.size(); ++k) {
    const auto ramp = static_cast<int>(k % 4000 * 255 / 4000);
    const auto noisy = [&] { return static_cast<std::int16_t>((ramp + random() % 64) & 0xff); };
    pixels[k] = PixelRecord{noisy(), noisy(), noisy()};
    black[k] = PixelRecord{noisy(), 0, 0};
  }
}

double Run(const char* what, std::int16_t colorMode, const std::vector<std::uint8_t>& profile,
           int repeat) {
  constexpr std::size_t kPixels = 4000 * 3000;
  std::vector<double> firsts;
  std::vector<double> rates;
  std::vector<double> perCore;  // pixels per second of processor time: what one free core gives
  std::vector<PixelRecord> pixels(kPixels);
  std::vector<PixelRecord> black(kPixels);
  double setup = 0;
  for (int r = 0; r < repeat; ++r) {
    Fill(pixels, black);
    const auto started = std::chrono::steady_clock::now();
    const auto colour = plymark::SetUpDocumentColour(colorMode, 8, profile, false);
    if (!colour.Conversion) {
      std::fprintf(stderr, "%s: no conversion (%s)\n", what, colour.Message.c_str());
      return 0;
    }
    const auto made = std::chrono::steady_clock::now();
    // The first layer of a CMYK document also samples the table.
    colour.Conversion->Convert(pixels, black);
    const auto first = std::chrono::steady_clock::now();
    Fill(pixels, black);
    const auto filled = std::chrono::steady_clock::now();
    const std::clock_t cpuBefore = std::clock();
    colour.Conversion->Convert(pixels, black);
    const std::clock_t cpuAfter = std::clock();
    const auto second = std::chrono::steady_clock::now();
    perCore.push_back(static_cast<double>(kPixels) /
                      (static_cast<double>(cpuAfter - cpuBefore) / CLOCKS_PER_SEC) / 1e6);
    setup = std::chrono::duration<double, std::milli>(made - started).count();
    const auto rate = [](auto from, auto to) {
      return static_cast<double>(kPixels) / std::chrono::duration<double>(to - from).count() / 1e6;
    };
    firsts.push_back(rate(made, first));
    rates.push_back(rate(filled, second));
  }
  std::sort(firsts.begin(), firsts.end());
  std::sort(rates.begin(), rates.end());
  std::sort(perCore.begin(), perCore.end());
  const double median = rates[rates.size() / 2];
  std::printf(
      "%s\n  set-up %.1f ms; first layer %.1f, further layers %.1f megapixels/s; "
      "%.1f per second of processor time (medians of %d)\n",
      what, setup, firsts[firsts.size() / 2], median, perCore[perCore.size() / 2], repeat);
  return median;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 3;
  const char* path = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
  for (int a = 1; a < argc; ++a) {
    if (std::strcmp(argv[a], "--repeat") == 0 && a + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++a]));
    } else {
      path = argv[a];
    }
  }
  const std::vector<std::uint8_t> cmyk = ReadFile(path);
  Run("CMYK 4000 x 3000 through the press profile", plymark::color_mode::kCmyk, cmyk, repeat);
  const std::vector<std::uint8_t> wide = ReadFile("/usr/share/color/icc/colord/AdobeRGB1998.icc");
  if (!wide.empty()) {
    Run("RGB 4000 x 3000 through Adobe RGB (colord)", plymark::color_mode::kRgb, wide, repeat);
  }
  // An sRGB profile costs its check at the Open and nothing per pixel.
  const std::vector<std::uint8_t> srgb = ReadFile("/usr/share/color/icc/ghostscript/srgb.icc");
  const auto started = std::chrono::steady_clock::now();
  const auto setup = plymark::SetUpDocumentColour(plymark::color_mode::kRgb, 8, srgb, false);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  std::printf("RGB with an sRGB profile\n  set-up %.1f ms; %s\n", ms,
              setup.Conversion ? "converted (unexpected)" : "no conversion");
  return 0;
}
