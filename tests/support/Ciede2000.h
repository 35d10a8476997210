#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plymark::test {

struct Lab {
  double L = 0;
  double a = 0;
  double b = 0;
};

// An 8-bit sRGB colour in CIE Lab, relative to sRGB's D65 white.
Lab LabOfSrgb(std::uint32_t word);  // 0x..RRGGBB

// The CIEDE2000 colour difference (kL = kC = kH = 1).
double Ciede2000(const Lab& first, const Lab& second);

// The mean and the 99th percentile of a set of colour differences.
struct Differences {
  double Mean = 0;
  double Percentile99 = 0;
  std::size_t Pixels = 0;
};
Differences Summarise(std::vector<double> differences);

}  // namespace plymark::test
