#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "compose/Adjustments.h"

namespace plymark::adjustments {

// A 3D colour lookup table: Size^3 RGB entries over an input domain, red
// varying fastest.
struct LookupGrid {
  int Size = 0;
  std::vector<std::array<float, 3>> Entries;
  std::array<float, 3> DomainMin{0, 0, 0};
  std::array<float, 3> DomainMax{1, 1, 1};
};

// The largest grid side read: 128^3 entries take 25 MB.
constexpr int kLargestLookupSide = 128;

// What reading a table gives: the grid, or why there is none.
struct LookupRead {
  std::optional<LookupGrid> Grid;
  std::string Problem;
};

// A .cube file's text (LUT_3D_SIZE, DOMAIN_MIN, DOMAIN_MAX, then the
// entries, red fastest).
LookupRead ReadCubeTable(std::span<const std::uint8_t> text);
// A .3dl file's text (the input levels on one line, then the entries as
// integers, blue fastest).
LookupRead Read3dlTable(std::span<const std::uint8_t> text);
// An ICC device link (RGB to RGB) or abstract profile (Lab to Lab, taken
// through sRGB) sampled on a grid, through Little CMS.
LookupRead ReadProfileTable(std::span<const std::uint8_t> profile);

// Maps RGB through the grid, trilinearly between its entries; results are
// clipped to 0..1.
class LookupAdjustment final : public Adjustment {
 public:
  explicit LookupAdjustment(LookupGrid grid) : grid_(std::move(grid)) {}
  void Apply(std::span<float* const> channels, std::size_t count) const override;

 private:
  LookupGrid grid_;
};

}  // namespace plymark::adjustments
