#include "tools/PngRowStream.h"

#include <algorithm>
#include <new>
#include <optional>

namespace plymark {

PngRowStream::PngRowStream(const QString& path, int width, int height, int channels, int threads)
    : file_(path),
      width_(width),
      height_(height),
      channels_(channels),
      rowBytes_(width > 0 && channels > 0
                    ? static_cast<std::size_t>(width) * static_cast<std::size_t>(channels)
                    : 0),
      bandRows_(png::BandRows(rowBytes_)) {
  if (width <= 0 || height <= 0 || channels < 1 || channels > 4) {
    error_ = QStringLiteral("cannot write %1: the image has no pixels").arg(path);
    return;
  }
  if (rowBytes_ > png::kMostRowBytes) {
    error_ = QStringLiteral("cannot write %1: the image is too wide").arg(path);
    return;
  }
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    error_ = QStringLiteral("cannot write %1: %2").arg(path, file_.errorString());
    return;
  }
  error_ = png::WriteBytes(file_, png::SignatureAndHeader(width, height, channels));
  if (!error_.isEmpty()) return;
  order_ = std::make_unique<png::BandOrder>(file_, (height + bandRows_ - 1) / bandRows_);
  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  window_ = 2 * threads;
  for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
}

PngRowStream::~PngRowStream() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void PngRowStream::Fail(const QString& error) {
  if (error_.isEmpty()) error_ = error;
}

std::uint8_t* PngRowStream::NextRow() {
  if (handedRows_ >= height_) return nullptr;
  if (filledRows_ == bandRows_) Submit();
  {
    std::lock_guard lock(mutex_);
    if (!error_.isEmpty()) return nullptr;
    if (filling_.empty() && !spare_.empty()) {
      filling_ = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  const int rows = std::min(bandRows_, height_ - nextBand_ * bandRows_);
  filling_.resize(static_cast<std::size_t>(rows) * rowBytes_);
  std::uint8_t* row = filling_.data() + static_cast<std::size_t>(filledRows_) * rowBytes_;
  ++filledRows_;
  ++handedRows_;
  return row;
}

void PngRowStream::Submit() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !error_.isEmpty() || nextBand_ < order_->Written() + window_; });
  filledRows_ = 0;
  if (!error_.isEmpty()) return;
  waiting_.push_back({nextBand_++, std::move(filling_)});
  filling_ = {};
  lock.unlock();
  changed_.notify_all();
}

void PngRowStream::Work() {
  try {
    png::BandDeflater deflater;
    png::Bytes filtered;
    for (;;) {
      Pending job;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) return;
        job = std::move(waiting_.front());
        waiting_.pop_front();
      }
      const int rows = static_cast<int>(job.Rows.size() / rowBytes_);
      std::optional<png::Band> made = png::MakeBand(
          [&](int r) { return job.Rows.data() + static_cast<std::size_t>(r) * rowBytes_; }, rows,
          rowBytes_, channels_, job.Index == 0, job.Index + 1 == order_->BandCount(), deflater,
          filtered);
      {
        std::lock_guard lock(mutex_);
        if (made) {
          order_->Put(job.Index, std::move(*made));
          if (!order_->Error().isEmpty()) Fail(order_->Error());
        } else {
          Fail(QStringLiteral("cannot deflate the rows"));
        }
        spare_.push_back(std::move(job.Rows));
      }
      changed_.notify_all();
    }
  } catch (const std::bad_alloc&) {
    {
      std::lock_guard lock(mutex_);
      Fail(QStringLiteral("out of memory"));
    }
    changed_.notify_all();
  }
}

QString PngRowStream::Finish() {
  if (order_ != nullptr && handedRows_ == height_ && filledRows_ > 0) Submit();
  {
    std::unique_lock lock(mutex_);
    if (handedRows_ != height_) {
      Fail(QStringLiteral("cannot write %1: %2 of its %3 rows came")
               .arg(file_.fileName())
               .arg(handedRows_)
               .arg(height_));
    }
    changed_.wait(lock, [&] { return !error_.isEmpty() || order_->Done(); });
    stopping_ = true;
    waiting_.clear();
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
  if (!error_.isEmpty()) return error_;
  if (QString error = png::WriteBytes(file_, png::EndChunks(order_->Adler())); !error.isEmpty()) {
    return error;
  }
  if (!file_.flush()) {
    return QStringLiteral("cannot write %1: %2").arg(file_.fileName(), file_.errorString());
  }
  file_.close();
  return {};
}

}  // namespace plymark
