#include "compose/InflateRows.h"

#include <algorithm>
#include <limits>
#include <span>
#include <string>

#include <zlib.h>

#include "render/InflatePlane.h"
#include "render/PlaneError.h"

namespace plymark {
namespace {

// Input read from the file at once, per open stream.
constexpr std::size_t kInputChunk = std::size_t{16} << 10;

}  // namespace

struct InflateRows::Stream {
  z_stream Zlib{};
  std::vector<std::uint8_t> Input;
  std::int64_t Read = 0;  ///< data bytes handed to zlib so far
  bool Ended = false;     ///< zlib has seen the stream's end
};

InflateRows::InflateRows(ChannelBytes bytes, bool predicted, std::size_t width, int bytesPerSample,
                         std::size_t rows, PlaneName name)
    : bytes_(std::move(bytes)),
      name_(name),
      predicted_(predicted),
      width_(width),
      bytesPerSample_(bytesPerSample),
      rows_(rows) {}

InflateRows::~InflateRows() {
  Close();
}

void InflateRows::Close() {
  if (stream_ == nullptr) return;
  inflateEnd(&stream_->Zlib);
  stream_.reset();
}

PsdError InflateRows::Damaged(const std::string& problem) const {
  ChannelBlock block;
  block.DataOffset = bytes_.FileOffset();
  return PlaneError(block, 0, name_, "ZIP data", problem);
}

void InflateRows::Open() {
  auto stream = std::make_unique<Stream>();
  if (inflateInit(&stream->Zlib) != Z_OK) throw Damaged("cannot be inflated");
  stream_ = std::move(stream);
  // Rows handed out before the stream was closed are inflated again and let go.
  const std::size_t rowBytes = width_ * static_cast<std::size_t>(bytesPerSample_);
  skipped_.resize(rowBytes);
  for (std::size_t row = 0; row < rowsOut_; ++row) Inflate(skipped_.data(), rowBytes);
  skipped_ = {};
}

bool InflateRows::Refill() {
  const std::int64_t left = bytes_.Size() - stream_->Read;
  if (left <= 0) return false;
  const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, kInputChunk));
  stream_->Input.resize(chunk);
  bytes_.CopyTo(stream_->Read, stream_->Input);
  stream_->Read += static_cast<std::int64_t>(chunk);
  stream_->Zlib.next_in = stream_->Input.data();
  stream_->Zlib.avail_in = static_cast<uInt>(chunk);
  return true;
}

void InflateRows::Inflate(std::uint8_t* out, std::size_t count) {
  z_stream& zlib = stream_->Zlib;
  zlib.next_out = out;
  zlib.avail_out = static_cast<uInt>(count);
  while (zlib.avail_out > 0) {
    if (stream_->Ended || (zlib.avail_in == 0 && !Refill())) {
      throw Damaged("ends before the layer's last row");
    }
    const int result = inflate(&zlib, Z_NO_FLUSH);
    if (result == Z_STREAM_END) {
      stream_->Ended = true;
    } else if (result != Z_OK && result != Z_BUF_ERROR) {
      throw Damaged("is not a valid zlib stream");
    }
  }
}

void InflateRows::CheckEnd() {
  // The plane is complete: the stream must end here, as a whole plane's
  // inflate requires.
  z_stream& zlib = stream_->Zlib;
  std::uint8_t spare = 0;
  while (!stream_->Ended) {
    zlib.next_out = &spare;
    zlib.avail_out = 1;
    if (zlib.avail_in == 0 && !Refill()) throw Damaged("does not end with the layer's last row");
    const int result = inflate(&zlib, Z_NO_FLUSH);
    if (zlib.avail_out == 0) throw Damaged("inflates to more than the layer's rows");
    if (result == Z_STREAM_END) return;
    if (result != Z_OK && result != Z_BUF_ERROR) throw Damaged("is not a valid zlib stream");
  }
}

void InflateRows::NextRow(std::uint8_t* out) {
  if (stream_ == nullptr) Open();
  const std::size_t rowBytes = width_ * static_cast<std::size_t>(bytesPerSample_);
  Inflate(out, rowBytes);
  ++rowsOut_;
  if (predicted_) UndoPrediction(std::span(out, rowBytes), width_, 1, bytesPerSample_);
  if (rowsOut_ == rows_) CheckEnd();
}

}  // namespace plymark
