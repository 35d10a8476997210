#include "compose/StoredRows.h"

#include <string>

#include "render/PlaneError.h"

namespace plymark {

StoredRows::StoredRows(const FileView& file, const ChannelBlock& block, std::size_t width,
                       std::size_t rows, int bytesPerSample, PlaneName name)
    : bytes_(file, block), rowBytes_(width * static_cast<std::size_t>(bytesPerSample)) {
  switch (block.Compression) {
    case ChannelBlock::kRaw:
      if (rowBytes_ > 0 && static_cast<std::size_t>(block.DataLength) / rowBytes_ < rows) {
        throw PlaneError(block, 0, name, "raw data",
                         "holds " + std::to_string(block.DataLength) + " bytes for " +
                             std::to_string(width * rows) + " samples of " +
                             std::to_string(bytesPerSample) + " bytes");
      }
      break;
    case ChannelBlock::kRunLength:
      runLength_ = std::make_unique<RunLengthRows>(bytes_, block.RowLengthBytes, rowBytes_, rows,
                                                   bytesPerSample == 1, name);
      break;
    case ChannelBlock::kZip:
    case ChannelBlock::kZipPredicted:
      inflate_ =
          std::make_unique<InflateRows>(bytes_, block.Compression == ChannelBlock::kZipPredicted,
                                        width, bytesPerSample, rows, name);
      break;
    default:
      throw PlaneError(
          block, 0, name, "compression code",
          "is " + std::to_string(block.Compression) + ", which the format does not define");
  }
}

const std::uint8_t* StoredRows::NextRow(RowScratch& scratch) {
  const std::size_t row = rowsRead_++;
  if (runLength_ == nullptr && inflate_ == nullptr) {
    return bytes_.At(static_cast<std::int64_t>(row * rowBytes_), rowBytes_, scratch.Window);
  }
  if (scratch.Row.size() < rowBytes_ + RunLengthRows::kSlack) {
    scratch.Row.resize(rowBytes_ + RunLengthRows::kSlack);
  }
  if (runLength_ != nullptr) {
    runLength_->NextRow(scratch.Row.data(), scratch.Window);
  } else {
    inflate_->NextRow(scratch.Row.data());
  }
  return scratch.Row.data();
}

void StoredRows::SkipRows(std::size_t count, RowScratch& scratch) {
  if (runLength_ == nullptr && inflate_ == nullptr) {
    rowsRead_ += count;
    return;
  }
  for (std::size_t k = 0; k < count; ++k) NextRow(scratch);
}

}  // namespace plymark
