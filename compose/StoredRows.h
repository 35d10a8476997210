#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "compose/ChannelBytes.h"
#include "compose/InflateRows.h"
#include "compose/RunLengthRows.h"
#include "psd/DocumentState.h"
#include "psd/FieldReader.h"
#include "render/DecodePlane.h"

namespace plymark {

// What a thread needs to decode rows: the read window the decoders share and
// a row buffer.
struct RowScratch {
  ReadWindow Window;
  std::vector<std::uint8_t> Row;
};

// The rows of one stored channel, top to bottom, each decoded when it is
// asked for: raw rows read from the file, run-length rows unpacked, ZIP rows
// inflated. A channel holds no more than its decoder's state between rows.
class StoredRows {
 public:
  // A channel of `rows` rows of `width` samples of `bytesPerSample` bytes.
  // Throws PsdError for a code the format does not define and for raw or
  // run-length data that cannot hold the rows.
  StoredRows(const FileView& file, const ChannelBlock& block, std::size_t width, std::size_t rows,
             int bytesPerSample, PlaneName name);

  // The next row's big-endian samples: in place, or decoded into `scratch`.
  const std::uint8_t* NextRow(RowScratch& scratch);
  void SkipRows(std::size_t count, RowScratch& scratch);
  std::size_t RowsRead() const { return rowsRead_; }

  // A ZIP channel's open stream, which CloseStream gives back.
  bool HoldsStream() const { return inflate_ != nullptr && inflate_->IsOpen(); }
  void CloseStream() {
    if (inflate_ != nullptr) inflate_->Close();
  }

 private:
  ChannelBytes bytes_;
  std::size_t rowBytes_;
  std::size_t rowsRead_ = 0;
  std::unique_ptr<RunLengthRows> runLength_;
  std::unique_ptr<InflateRows> inflate_;
};

}  // namespace plymark
