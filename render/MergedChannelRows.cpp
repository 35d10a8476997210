#include "render/MergedChannelRows.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "psd/PsdError.h"
#include "render/DeepSamples.h"
#include "render/InflatePlane.h"
#include "render/LayerLoop.h"
#include "render/PackBitsRow.h"

namespace plymark {
namespace {

std::string RowField(const char* what, int channel, std::int64_t y) {
  return std::string(what) + " of row " + std::to_string(y) + " of channel " +
         std::to_string(channel) + " of the merged image";
}

std::uint64_t BigEndian(const std::uint8_t* bytes, std::size_t count) {
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < count; ++k) value = (value << 8) | bytes[k];
  return value;
}

}  // namespace

MergedChannelRows::MergedChannelRows(std::span<const std::uint8_t> section,
                                     std::int64_t sectionOffset, const Shape& shape,
                                     int usedChannels)
    : section_(section),
      sectionOffset_(sectionOffset),
      shape_(shape),
      usedChannels_(std::clamp<int>(usedChannels, 0, std::max<int>(0, shape.Channels))) {
  const std::int64_t fileEnd = sectionOffset + static_cast<std::int64_t>(section.size());
  if (section.size() < 2) {
    throw PsdError::Truncated(sectionOffset, static_cast<std::size_t>(fileEnd),
                              "compression code of the merged image");
  }
  compression_ = static_cast<std::int16_t>((section[0] << 8) | section[1]);
  if (compression_ < ChannelBlock::kRaw || compression_ > ChannelBlock::kZipPredicted) {
    throw PsdError::Damaged(
        sectionOffset, "compression code of the merged image",
        "holds " + std::to_string(compression_) + ", which is not 0, 1, 2 or 3");
  }
  const auto width = static_cast<std::uint64_t>(shape.Width);
  rowBytes_ = shape.Depth == 1 ? static_cast<std::size_t>((width + 7) / 8)
                               : static_cast<std::size_t>(width * static_cast<std::uint64_t>(
                                                                      BytesPerSample(shape.Depth)));

  // Width and height are at most 300000 and channels at most 32767: no
  // product below overflows 64 bits.
  const auto height = static_cast<std::int64_t>(shape.Height);
  const std::int64_t planeBytes = static_cast<std::int64_t>(rowBytes_) * height;
  const std::int64_t stored = static_cast<std::int64_t>(section.size()) - 2;
  if (planeBytes == 0 || usedChannels_ == 0) return;  // nothing to read
  if (compression_ == ChannelBlock::kRaw) {
    // Raw rows need exactly their bytes: name the first row the file cuts.
    const std::int64_t needed = planeBytes * usedChannels_;
    if (needed > stored) {
      const std::int64_t row = stored / static_cast<std::int64_t>(rowBytes_);
      throw PsdError::Truncated(sectionOffset + 2 + row * static_cast<std::int64_t>(rowBytes_),
                                static_cast<std::size_t>(fileEnd),
                                RowField("raw data", static_cast<int>(row / height), row % height));
    }
    return;
  }
  const std::int64_t decodedChannels =
      compression_ == ChannelBlock::kRunLength ? usedChannels_ : shape.Channels;
  if (planeBytes * decodedChannels > stored * GreatestExpansion(compression_)) {
    throw PsdError::Damaged(sectionOffset, "merged image",
                            "measures " + std::to_string(shape.Width) + " x " +
                                std::to_string(shape.Height) + " pixels in " +
                                std::to_string(decodedChannels) + " channels, more than its " +
                                std::to_string(stored) + " stored bytes can fill");
  }
  if (compression_ == ChannelBlock::kRunLength) {
    ReadRowLengths(2);
  } else {
    Inflate(compression_ == ChannelBlock::kZipPredicted);
  }
}

void MergedChannelRows::ReadRowLengths(std::size_t firstLength) {
  const std::size_t lengthBytes = shape_.Version == 2 ? 4 : 2;
  const auto rows = static_cast<std::size_t>(shape_.Height);
  const std::size_t lengths = static_cast<std::size_t>(shape_.Channels) * rows;
  const std::size_t size = section_.size();
  const std::int64_t fileEnd = sectionOffset_ + static_cast<std::int64_t>(size);
  if ((size - firstLength) / lengthBytes < lengths) {
    throw PsdError::Truncated(sectionOffset_ + static_cast<std::int64_t>(firstLength),
                              static_cast<std::size_t>(fileEnd), "merged image's row lengths");
  }
  const std::size_t usedRows = static_cast<std::size_t>(usedChannels_) * rows;
  rowStarts_.resize(usedRows + 1);
  const std::uint8_t* length = section_.data() + firstLength;
  std::uint64_t start = firstLength + lengths * lengthBytes;
  for (std::size_t k = 0; k < usedRows; ++k, length += lengthBytes) {
    rowStarts_[k] = start;
    start += BigEndian(length, lengthBytes);
    if (start > size) {
      const int channel = static_cast<int>(k / rows);
      throw PsdError::Truncated(
          sectionOffset_ + static_cast<std::int64_t>(rowStarts_[k]),
          static_cast<std::size_t>(fileEnd),
          RowField("run-length data", channel, static_cast<std::int64_t>(k % rows)));
    }
  }
  rowStarts_[usedRows] = start;
}

void MergedChannelRows::Inflate(bool predicted) {
  const std::size_t planeBytes = rowBytes_ * static_cast<std::size_t>(shape_.Height);
  inflated_.resize(planeBytes * static_cast<std::size_t>(shape_.Channels));
  if (!InflatePlane(section_.subspan(2), inflated_)) {
    throw PsdError::Damaged(
        sectionOffset_ + 2, "ZIP data of the merged image",
        "is not a zlib stream of exactly " + std::to_string(inflated_.size()) + " bytes");
  }
  if (!predicted || shape_.Depth == 1) return;
  const std::size_t width = static_cast<std::size_t>(shape_.Width);
  for (std::size_t c = 0; c < static_cast<std::size_t>(shape_.Channels); ++c) {
    UndoPrediction(std::span(inflated_).subspan(c * planeBytes, planeBytes), width,
                   static_cast<std::size_t>(shape_.Height), BytesPerSample(shape_.Depth));
  }
}

const std::uint8_t* MergedChannelRows::Row(int channel, std::int32_t y,
                                           std::uint8_t* buffer) const {
  const std::size_t plane =
      static_cast<std::size_t>(channel) * static_cast<std::size_t>(shape_.Height);
  switch (compression_) {
    case ChannelBlock::kRaw:
      return section_.data() + 2 + (plane + static_cast<std::size_t>(y)) * rowBytes_;
    case ChannelBlock::kRunLength:
      return RunLengthRow(channel, y, buffer);
    default:
      return inflated_.data() + (plane + static_cast<std::size_t>(y)) * rowBytes_;
  }
}

const std::uint8_t* MergedChannelRows::RunLengthRow(int channel, std::int32_t y,
                                                    std::uint8_t* buffer) const {
  const std::size_t index =
      static_cast<std::size_t>(channel) * static_cast<std::size_t>(shape_.Height) +
      static_cast<std::size_t>(y);
  const std::uint8_t* const data = section_.data();
  const std::uint8_t* const dataEnd = data + section_.size();
  const std::uint8_t* p = data + rowStarts_[index];
  const std::uint8_t* const rowEnd = data + rowStarts_[index + 1];
  std::uint8_t* out = buffer;
  std::uint8_t* const outEnd = buffer + rowBytes_;
  // Short packets copy a fixed 32 bytes, which the buffer's slack takes.
  const PackBitsRowResult unpacked = UnpackPackBitsRow<kBlockCopy>(p, rowEnd, dataEnd, out, outEnd);
  if (unpacked.End != PackBitsEnd::kComplete) {
    throw PsdError::Damaged(
        sectionOffset_ + (unpacked.Packet - data), RowField("run-length data", channel, y),
        unpacked.End == PackBitsEnd::kPastOutput
            ? "unpacks to more than the row's " + std::to_string(rowBytes_) + " bytes"
            : std::string(*unpacked.Packet < 128 ? "has a literal" : "has a repeat") +
                  " packet that runs past the row's stored length");
  }
  out = unpacked.Out;
  if (out != outEnd) {
    throw PsdError::Damaged(sectionOffset_ + static_cast<std::int64_t>(rowStarts_[index]),
                            RowField("run-length data", channel, y),
                            "unpacks to " + std::to_string(out - buffer) + " bytes instead of " +
                                std::to_string(rowBytes_));
  }
  return buffer;
}

void MergedChannelRows::CheckInFileOrder() const {
  if (compression_ != ChannelBlock::kRunLength) return;
  std::vector<std::uint8_t> buffer(BufferBytes());
  for (int c = 0; c < usedChannels_; ++c) {
    for (std::int32_t y = 0; y < shape_.Height; ++y) RunLengthRow(c, y, buffer.data());
  }
}

}  // namespace plymark
