#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "compose/ChannelBytes.h"
#include "psd/PsdError.h"
#include "render/DecodePlane.h"

namespace plymark {

// The rows of a ZIP-coded channel (compression 2, or 3 with prediction),
// inflated one after the other from one stream per channel as the bands need
// them, its input read from the file in small pieces. The prediction is
// undone row by row. The stream can be closed between rows to give its
// memory back; it is then opened again and inflated up to where it was.
// A stream that is not valid zlib, or does not inflate to exactly the
// plane's rows, throws PsdError.
class InflateRows {
 public:
  InflateRows(ChannelBytes bytes, bool predicted, std::size_t width, int bytesPerSample,
              std::size_t rows, PlaneName name);
  ~InflateRows();
  InflateRows(const InflateRows&) = delete;
  InflateRows& operator=(const InflateRows&) = delete;

  // Inflates the next row into `out` (width x bytesPerSample bytes).
  void NextRow(std::uint8_t* out);

  bool IsOpen() const { return stream_ != nullptr; }
  void Close();

 private:
  struct Stream;
  void Open();
  // Hands zlib the next piece of input; false at the data's end.
  bool Refill();
  // Inflates exactly `count` bytes into `out`.
  void Inflate(std::uint8_t* out, std::size_t count);
  void CheckEnd();
  PsdError Damaged(const std::string& problem) const;

  ChannelBytes bytes_;
  PlaneName name_;
  bool predicted_;
  std::size_t width_;
  int bytesPerSample_;
  std::size_t rows_;
  std::size_t rowsOut_ = 0;
  std::unique_ptr<Stream> stream_;
  std::vector<std::uint8_t> skipped_;  ///< rows inflated again after a close, let go
};

}  // namespace plymark
