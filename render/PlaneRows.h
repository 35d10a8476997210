#pragma once

#include <cstdint>
#include <vector>

#include "psd/DocumentState.h"

namespace plymark {

// One 8-bit colour plane of a layer, made ready to be decoded row by row, in
// any order and on any thread. Raw rows are read straight from the file's
// bytes; run-length rows start where one pass over the packet headers found
// them; a missing channel gives rows of 0.
class PlaneRows {
 public:
  // Prepares `block` (null when the layer has no such channel) for a tile of
  // width x height, both above 0. Returns false when the plane cannot be taken
  // row by row: a code other than raw and run-length, data that DecodePlane
  // refuses, or run-length rows that do not
  // each decode to exactly `width` pixels, so that the pixel cursor would
  // carry over from row to row. DecodePlane then takes the plane as a whole.
  bool Prepare(const ChannelBlock* block, std::int32_t width, std::int32_t height);

  // Prepare in parts that may run on two threads at once. Start does the
  // checks that need no walk over the packets; when it answers kWalk,
  // WalkHalf(0) and WalkHalf(1) walk the first and the second half of the
  // rows. The second half starts where the stored row lengths put it, so both
  // also require every row's packets to end exactly at its stored length; when
  // either refuses, Prepare, which has no such requirement, decides.
  enum class Start { kReady, kRefused, kWalk };
  Start StartPreparing(const ChannelBlock* block, std::int32_t width, std::int32_t height);
  bool WalkHalf(int half);

  // The component values of row y, `width` bytes: a view of the file's bytes
  // for a raw plane, else decoded into `buffer`, which must hold
  // BufferBytes(width) bytes: short packets are copied in fixed-size blocks
  // that may write past the row's end.
  const std::uint8_t* Row(std::int32_t y, std::uint8_t* buffer) const;
  static std::size_t BufferBytes(std::int32_t width) {
    return static_cast<std::size_t>(width) + kBlockCopy;
  }

 private:
  static constexpr std::size_t kBlockCopy = 32;

  enum class Kind { Zero, Raw, RunLength };

  const std::uint8_t* RunLengthRow(std::int32_t y, std::uint8_t* buffer) const;
  // Bytes of the row counts in front of the packets.
  std::size_t CountsSize() const {
    return rows_ * static_cast<std::size_t>(block_->RowLengthBytes);
  }
  // Walks the packets of rows first to last - 1 from offset p, noting where
  // each row starts; false for anything Prepare refuses, and, when
  // `exactEnds`, for a row whose packets run past its stored length.
  bool WalkRows(std::size_t first, std::size_t last, std::size_t p, bool exactEnds);

  Kind kind_ = Kind::Zero;
  const ChannelBlock* block_ = nullptr;
  std::size_t width_ = 0;
  std::size_t rows_ = 0;
  // Offsets in the block's data where run-length row y starts (entry y) and
  // where the last row ends (the entry behind it).
  std::vector<std::uint32_t> rowStarts_;
};

}  // namespace plymark
