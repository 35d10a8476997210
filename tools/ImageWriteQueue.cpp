#include "tools/ImageWriteQueue.h"

#include <algorithm>
#include <new>

namespace plymark {

ImageWriteQueue::ImageWriteQueue(int threads, std::size_t budgetBytes) : budgetBytes_(budgetBytes) {
  for (int i = 0; i < std::max(1, threads); ++i) workers_.emplace_back([this] { Work(); });
}

ImageWriteQueue::~ImageWriteQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ImageWriteQueue::WaitForRoom(std::unique_lock<std::mutex>& lock, std::size_t bytes) {
  changed_.wait(lock, [&] { return heldBytes_ == 0 || heldBytes_ + bytes <= budgetBytes_; });
  heldBytes_ += bytes;
}

std::size_t ImageWriteQueue::Reserve(std::size_t bytes) {
  std::unique_lock lock(mutex_);
  WaitForRoom(lock, bytes);
  return bytes;
}

void ImageWriteQueue::Release(std::size_t bytes) {
  if (bytes == 0) return;
  {
    std::lock_guard lock(mutex_);
    heldBytes_ -= bytes;
  }
  changed_.notify_all();
}

std::future<QString> ImageWriteQueue::Submit(const QImage& image, Write write,
                                             std::size_t reserved) {
  const auto bytes = static_cast<std::size_t>(image.sizeInBytes());
  std::unique_lock lock(mutex_);
  if (bytes > reserved) WaitForRoom(lock, bytes - reserved);
  waiting_.push_back(Job{std::max(bytes, reserved), image, std::move(write), {}});
  std::future<QString> done = waiting_.back().Done.get_future();
  lock.unlock();
  changed_.notify_all();
  return done;
}

void ImageWriteQueue::Work() {
  for (;;) {
    std::size_t bytes = 0;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      Job job = std::move(waiting_.front());
      waiting_.pop_front();
      lock.unlock();
      bytes = job.Bytes;
      try {
        job.Done.set_value(job.Writer(job.Image));
      } catch (const std::bad_alloc&) {
        job.Done.set_value(QStringLiteral("out of memory"));
      }
    }  // the job, and with it the image, is gone before its bytes are given back
    Release(bytes);
  }
}

QString FirstError(std::vector<std::future<QString>>& writes) {
  QString first;
  for (std::future<QString>& write : writes) {
    QString error = write.get();
    if (first.isEmpty()) first = std::move(error);
  }
  return first;
}

}  // namespace plymark
