#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "psd/DocumentState.h"

namespace plymark {

// CMYK to sRGB for 8- and 16-bit samples through a table of our own, sampled once
// from a colour profile's exact conversion: Little CMS's own 4-channel
// transforms run at about 14 megapixels per second per core, this at several
// times that. Inside the table, cyan, magenta and yellow are interpolated
// tetrahedrally on the two black slices around the sample, then between them,
// as Little CMS does with its own tables.
class CmykTable {
 public:
  static constexpr int kGrid = 25;  ///< nodes per ink; 24 steps of 255 / 24

  // Converts `count` nodes: 16-bit C, M, Y, K as stored (65535 is no ink) in,
  // 16-bit sRGB red, green, blue out. May be called from two threads at once.
  using Sampler =
      std::function<void(const std::uint16_t* cmyk, std::uint16_t* rgb, std::size_t count)>;

  // Samples every node, the upper half of them on a second thread.
  explicit CmykTable(const Sampler& sample);

  // Turns stored inks of `depth` bits (8, or 16 kept whole) into sRGB in
  // place: C, M, Y in Red, Green, Blue, K in black's Red (null: stored 0
  // throughout).
  void Convert(PixelRecord* pixels, const PixelRecord* black, std::size_t count, int depth) const;

 private:
  // Where a stored ink lies: the node below it and the distance above that
  // node, 0..256.
  struct Place {
    std::uint32_t Cell;
    std::uint32_t Weight;
  };
  template <typename Locate>
  void ConvertWith(PixelRecord* pixels, const PixelRecord* black, std::size_t count,
                   Locate locate) const;

  struct Node {
    std::uint16_t Red, Green, Blue;  ///< sRGB x 256 (8.8 fixed point)
  };
  std::vector<Node> nodes_;    ///< [k][c][m][y]
  std::uint32_t cell_[256];    ///< the node index below a stored value, per ink step of 1
  std::uint16_t weight_[256];  ///< the stored value's distance above it, 0..256
};

}  // namespace plymark
