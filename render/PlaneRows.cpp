#include "render/PlaneRows.h"

#include <cstring>
#include <limits>
#include <string>

#include "psd/PsdError.h"
#include "render/PackBitsRow.h"

namespace plymark {

bool PlaneRows::Prepare(const ChannelBlock* block, std::int32_t width, std::int32_t height) {
  switch (StartPreparing(block, width, height)) {
    case Start::kReady:
      return true;
    case Start::kRefused:
      return false;
    case Start::kWalk:
      break;
  }
  return WalkRows(0, rows_, CountsSize(), false);
}

PlaneRows::Start PlaneRows::StartPreparing(const ChannelBlock* block, std::int32_t width,
                                           std::int32_t height) {
  block_ = block;
  width_ = static_cast<std::size_t>(width);
  rows_ = static_cast<std::size_t>(height);
  kind_ = Kind::Zero;
  if (block == nullptr) return Start::kReady;
  const std::size_t size = block->Data.size();
  if (block->Compression == ChannelBlock::kRaw) {
    kind_ = Kind::Raw;
    return size / width_ >= rows_ ? Start::kReady : Start::kRefused;
  }
  if (block->Compression != ChannelBlock::kRunLength)
    return Start::kRefused;  // ZIP and others: DecodePlane
  kind_ = Kind::RunLength;
  if (size / static_cast<std::size_t>(block->RowLengthBytes) < rows_) return Start::kRefused;
  rowStarts_.resize(rows_ + 1);
  return Start::kWalk;
}

bool PlaneRows::WalkHalf(int half) {
  const std::size_t middle = rows_ / 2;
  if (half == 0) return WalkRows(0, middle, CountsSize(), true);
  const std::uint8_t* data = block_->Data.data();
  std::size_t p = CountsSize();
  for (std::size_t r = 0; r < middle; ++r) p += StoredRowLength(data, r, block_->RowLengthBytes);
  return WalkRows(middle, rows_, p, true);
}

bool PlaneRows::WalkRows(std::size_t first, std::size_t last, std::size_t p, bool exactEnds) {
  // The checks of DecodePlane, in its order, plus one: every row decodes to
  // exactly `width` pixels. Any failure sends the plane to DecodePlane, which
  // reports damage as it always does.
  const std::uint8_t* data = block_->Data.data();
  const std::size_t size = block_->Data.size();
  for (std::size_t r = first; r < last; ++r) {
    const std::size_t rowLength = StoredRowLength(data, r, block_->RowLengthBytes);
    if (block_->RowLengthBytes == 2 && rowLength >= 32768) return false;
    if (p > std::numeric_limits<std::uint32_t>::max())
      return false;  // beyond the row table's reach
    rowStarts_[r] = static_cast<std::uint32_t>(p);
    const std::size_t rowEnd = p + rowLength;
    std::size_t pixelsLeft = width_;
    while (p < rowEnd) {
      if (p >= size) return false;
      const std::size_t header = data[p++];
      if (header < 128) {
        const std::size_t count = header + 1;
        if (size - p < count || pixelsLeft < count) return false;
        p += count;
        pixelsLeft -= count;
      } else if (header > 128) {
        const std::size_t count = 257 - header;
        if (p >= size || pixelsLeft < count) return false;
        ++p;
        pixelsLeft -= count;
      }
    }
    if (pixelsLeft != 0 || (exactEnds && p != rowEnd)) return false;
  }
  if (p > std::numeric_limits<std::uint32_t>::max()) return false;
  if (last == rows_) rowStarts_[rows_] = static_cast<std::uint32_t>(p);
  return true;
}

const std::uint8_t* PlaneRows::Row(std::int32_t y, std::uint8_t* buffer) const {
  switch (kind_) {
    case Kind::Raw:
      return block_->Data.data() + static_cast<std::size_t>(y) * width_;
    case Kind::RunLength:
      return RunLengthRow(y, buffer);
    case Kind::Zero:
      break;
  }
  std::memset(buffer, 0, width_);
  return buffer;
}

const std::uint8_t* PlaneRows::RunLengthRow(std::int32_t y, std::uint8_t* buffer) const {
  const std::uint8_t* const data = block_->Data.data();
  const std::uint8_t* const dataEnd = data + block_->Data.size();
  const std::uint8_t* p = data + rowStarts_[static_cast<std::size_t>(y)];
  const std::uint8_t* const rowEnd = data + rowStarts_[static_cast<std::size_t>(y) + 1];
  std::uint8_t* out = buffer;
  std::uint8_t* const outEnd = buffer + width_;
  // Prepare has walked these packets; the checks stay, once per packet.
  const PackBitsRowResult unpacked = UnpackPackBitsRow<kBlockCopy>(p, rowEnd, dataEnd, out, outEnd);
  if (unpacked.End == PackBitsEnd::kComplete) {
    p = rowEnd;
    out = unpacked.Out;
  } else {
    p = unpacked.Packet;
  }
  if (p != rowEnd || out != outEnd) {
    throw PsdError::Damaged(block_->DataOffset + (p - data),
                            "run-length data of row " + std::to_string(y),
                            "changed while it was decoded");
  }
  return buffer;
}

}  // namespace plymark
