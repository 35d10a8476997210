#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/StageClock.h"
#include "platform/TileSurface.h"
#include "psd/DocumentState.h"
#include "render/PlaneRows.h"

namespace plymark {

// A layer decoded and painted row by row: each row's three planes are decoded
// into small row buffers, then painted into the tile, with no pixel buffer in
// between. The tile is the one of decoding plane after plane and painting
// afterwards.
// Large layers are shared between two threads, each taking half of the rows.
class LayerRows {
 public:
  // Prepares the red, green and blue planes of a width x height layer (both
  // above 0) from their blocks (null when missing). Returns false when a plane
  // must be decoded by DecodePlane: see PlaneRows::Prepare.
  bool Prepare(const std::array<const ChannelBlock*, 3>& sources, std::int32_t width,
               std::int32_t height);

  // Decodes every row and paints it into the image of tile `tile`, then has
  // the tile show it. The tile's image rows are fetched in order, top row
  // first, on the calling thread, before any of them is written.
  void Render(TileSurface& tiles, int tile, StageClock* clock);

 private:
  // Walks the run-length planes' rows in two halves on two threads; false
  // when that is refused and the planes must be prepared one by one.
  bool PrepareInHalves(const std::array<const ChannelBlock*, 3>& sources, std::size_t planeCount);

  // Rows first to last - 1, in bands of kBandRows: the band's planes are
  // decoded, then its rows stored and painted.
  void RenderRows(std::int32_t first, std::int32_t last, std::uint32_t* const* imageRows,
                  StageClock* clock) const;

  static constexpr std::int32_t kBandRows = 4;

  std::array<PlaneRows, 3> planes_;
  bool gray_ = false;  ///< one channel feeds all three components
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
};

}  // namespace plymark
