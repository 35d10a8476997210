#include "tools/ImageWriteQueue.h"

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

std::future<QString> ImageWriteQueue::Submit(const QImage& image, Write write) {
  const auto bytes = static_cast<std::size_t>(image.sizeInBytes());
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return heldBytes_ == 0 || heldBytes_ + bytes <= budgetBytes_; });
  heldBytes_ += bytes;
  waiting_.push_back(Job{image, std::move(write), {}});
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
      bytes = static_cast<std::size_t>(job.Image.sizeInBytes());
      try {
        job.Done.set_value(job.Writer(job.Image));
      } catch (const std::bad_alloc&) {
        job.Done.set_value(QStringLiteral("out of memory"));
      }
    }  // the job, and with it the image, is gone before its bytes are given back
    {
      std::lock_guard lock(mutex_);
      heldBytes_ -= bytes;
    }
    changed_.notify_all();
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
