#include "compose/RunLengthRows.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "render/PackBitsRow.h"
#include "render/PlaneError.h"

namespace plymark {
namespace {

// Row counts read at once.
constexpr std::size_t kCountsAtOnce = 128;
// Rows longer than this stored are unpacked the slow way, a packet at a time,
// so that the read window stays small.
constexpr std::size_t kLargestFastRow = std::size_t{1} << 20;

ChannelBlock Located(const ChannelBytes& bytes) {
  ChannelBlock block;
  block.DataOffset = bytes.FileOffset();
  return block;
}

}  // namespace

RunLengthRows::RunLengthRows(ChannelBytes bytes, int countBytes, std::size_t rowBytes,
                             std::size_t rows, bool checkSignedCounts, PlaneName name)
    : bytes_(std::move(bytes)),
      name_(name),
      countBytes_(countBytes),
      rowBytes_(rowBytes),
      rows_(rows),
      checkSignedCounts_(checkSignedCounts),
      capacity_(rowBytes * rows) {
  const auto size = static_cast<std::size_t>(bytes_.Size());
  if (size / static_cast<std::size_t>(countBytes) < rows) {
    throw PlaneError(Located(bytes_), 0, name, "row lengths",
                     "need " + std::to_string(rows * static_cast<std::size_t>(countBytes)) +
                         " bytes, but the channel holds " + std::to_string(size));
  }
  p_ = static_cast<std::int64_t>(rows * static_cast<std::size_t>(countBytes));
  rowEnd_ = p_;
}

std::size_t RunLengthRows::CountOf(std::size_t row) {
  const auto countBytes = static_cast<std::size_t>(countBytes_);
  if (row < countsFirst_ || row >= countsFirst_ + counts_.size() / countBytes) {
    const std::size_t count = std::min(kCountsAtOnce, rows_ - row);
    counts_.resize(count * countBytes);
    bytes_.CopyTo(static_cast<std::int64_t>(row * countBytes), counts_);
    countsFirst_ = row;
  }
  return StoredRowLength(counts_.data(), row - countsFirst_, countBytes_);
}

bool RunLengthRows::StartRow() {
  if (rowsStarted_ == rows_) return false;
  const std::size_t row = rowsStarted_;
  const std::size_t length = CountOf(row);
  if (checkSignedCounts_ && countBytes_ == 2 && length >= 32768) {
    throw PlaneError(Located(bytes_), 2 * row, name_, "row length",
                     "holds " + std::to_string(length) + ", more than 32767");
  }
  rowEnd_ = p_ + static_cast<std::int64_t>(length);
  ++rowsStarted_;
  return true;
}

void RunLengthRows::NextRow(std::uint8_t* out, ReadWindow& window) {
  const std::size_t rowStart = rowsOut_ * rowBytes_;
  ++rowsOut_;
  // The common case: the row's packets begin at its stored start and unpack
  // to exactly one row. Anything else is redone the slow way.
  if (pendingCount_ == 0 && p_ >= rowEnd_ && cursor_ == rowStart && rowsStarted_ < rows_) {
    const std::int64_t start = p_;
    const std::size_t length = CountOf(rowsStarted_);
    const std::int64_t left = bytes_.Size() - start;
    if (length <= kLargestFastRow && static_cast<std::int64_t>(length) <= left &&
        !(checkSignedCounts_ && countBytes_ == 2 && length >= 32768)) {
      const std::size_t readable = static_cast<std::size_t>(
          std::min<std::int64_t>(left, static_cast<std::int64_t>(length + kSlack)));
      const std::uint8_t* data = bytes_.At(start, readable, window);
      const PackBitsRowResult unpacked =
          UnpackPackBitsRow<kSlack>(data, data + length, data + readable, out, out + rowBytes_);
      if (unpacked.End == PackBitsEnd::kComplete && unpacked.Out == out + rowBytes_) {
        p_ = start + static_cast<std::int64_t>(length);
        rowEnd_ = p_;
        ++rowsStarted_;
        cursor_ += rowBytes_;
        return;
      }
    }
  }
  UnpackSlowly(out, window);
}

void RunLengthRows::UnpackSlowly(std::uint8_t* out, ReadWindow& window) {
  const std::int64_t size = bytes_.Size();
  const ChannelBlock located = Located(bytes_);
  std::size_t at = 0;
  while (at < rowBytes_) {
    if (pendingCount_ > 0) {
      const std::size_t count = std::min(pendingCount_, rowBytes_ - at);
      if (pendingLiteral_) {
        std::memcpy(out + at, bytes_.At(p_, count, window), count);
        p_ += static_cast<std::int64_t>(count);
      } else {
        std::memset(out + at, pendingValue_, count);
      }
      at += count;
      cursor_ += count;
      pendingCount_ -= count;
      continue;
    }
    if (p_ >= rowEnd_) {
      if (StartRow()) continue;
      std::memset(out + at, 0, rowBytes_ - at);  // no packet reaches the plane's end
      cursor_ += rowBytes_ - at;
      return;
    }
    if (p_ >= size) {
      throw PlaneError(located, static_cast<std::size_t>(p_), name_, "run-length data",
                       "ends inside row " + std::to_string(rowsStarted_ - 1));
    }
    const std::size_t header = *bytes_.At(p_, 1, window);
    ++p_;
    if (header == 128) continue;  // no operation
    const std::size_t count = header < 128 ? header + 1 : 257 - header;
    const std::size_t stored = header < 128 ? count : 1;
    if (static_cast<std::size_t>(size - p_) < stored) {
      throw PlaneError(
          located, static_cast<std::size_t>(p_ - 1), name_, "run-length data",
          header < 128 ? "ends inside a literal packet" : "ends inside a repeat packet");
    }
    if (capacity_ - cursor_ < count) {
      throw PlaneError(located, static_cast<std::size_t>(p_ - 1), name_, "run-length data",
                       "decodes to more pixels than the layer has");
    }
    pendingCount_ = count;
    pendingLiteral_ = header < 128;
    if (!pendingLiteral_) {
      pendingValue_ = *bytes_.At(p_, 1, window);
      ++p_;
    }
  }
}

}  // namespace plymark
