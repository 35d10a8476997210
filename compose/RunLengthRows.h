#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "compose/ChannelBytes.h"
#include "render/DecodePlane.h"

namespace plymark {

// The rows of a run-length (PackBits) channel, unpacked one after the other
// as the bands need them, with the row counts read a few at a time: nothing
// of the channel is held whole. The rows follow the plane decoder's rules:
// a stored row length only says where a row's packets stop (at the first
// packet boundary at or beyond it), and the output runs on across rows, so
// a packet may end in the next row. Damage throws PsdError as the plane
// decoder does.
class RunLengthRows {
 public:
  // `rowBytes` bytes a row (samples x bytes a sample), `rows` rows;
  // `countBytes` 2 in a PSD, 4 in a PSB. `checkSignedCounts`: a PSD's
  // 8-bit rows may not state more than 32767 bytes.
  RunLengthRows(ChannelBytes bytes, int countBytes, std::size_t rowBytes, std::size_t rows,
                bool checkSignedCounts, PlaneName name);

  // Unpacks the next row into `out`, which must have kSlack bytes of room
  // behind the row's end.
  void NextRow(std::uint8_t* out, ReadWindow& window);
  static constexpr std::size_t kSlack = 32;

 private:
  std::size_t CountOf(std::size_t row);
  // Starts the next stored row; false when every row has been started.
  bool StartRow();
  // Unpacks the row a packet at a time: the slow way that keeps every rule.
  void UnpackSlowly(std::uint8_t* out, ReadWindow& window);

  ChannelBytes bytes_;
  PlaneName name_;
  int countBytes_;
  std::size_t rowBytes_;
  std::size_t rows_;
  bool checkSignedCounts_;
  std::size_t capacity_;  ///< bytes of the whole plane: no packet may unpack beyond

  std::size_t rowsOut_ = 0;      ///< rows handed out
  std::size_t rowsStarted_ = 0;  ///< stored rows whose packets have begun
  std::int64_t p_;               ///< read position in the data
  std::int64_t rowEnd_;          ///< where the packets of the row begun last stop
  std::size_t cursor_ = 0;       ///< bytes unpacked so far into the plane

  // A packet cut by the end of a row: what is left of it.
  std::size_t pendingCount_ = 0;
  bool pendingLiteral_ = false;
  std::uint8_t pendingValue_ = 0;

  // Row counts of rows countsFirst_ .. countsFirst_ + counts_.size() / countBytes_.
  std::vector<std::uint8_t> counts_;
  std::size_t countsFirst_ = 0;
};

}  // namespace plymark
