#pragma once

#include <QImage>
#include <QString>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace plymark {

// Writes images on worker threads while the reader goes on painting the next
// layer. The images being painted (reserved before they are made), waiting or
// being written hold at most `budgetBytes` between them, whatever the number
// of threads or of files read at once; one image is always let in, however
// large, so that no image waits for ever.
class ImageWriteQueue {
 public:
  using Write = std::function<QString(const QImage& image)>;

  ImageWriteQueue(int threads, std::size_t budgetBytes);
  ~ImageWriteQueue();  // finishes every write that was handed in
  ImageWriteQueue(const ImageWriteQueue&) = delete;
  ImageWriteQueue& operator=(const ImageWriteQueue&) = delete;

  // Takes `bytes` of the budget for an image about to be painted, waiting
  // while it is spent; returns `bytes`.
  std::size_t Reserve(std::size_t bytes);
  // Gives back a reservation whose image was never handed in.
  void Release(std::size_t bytes);

  // Hands `image` (a shared copy, not a deep one) to `write`, which runs on a
  // worker thread and returns an error text, empty on success. The write takes
  // over the `reserved` bytes, and blocks while the budget lacks the rest of
  // the image's. The image and its bytes are let go as soon as its write ends.
  std::future<QString> Submit(const QImage& image, Write write, std::size_t reserved = 0);

 private:
  struct Job {
    std::size_t Bytes = 0;  ///< of the budget, given back when the write ends
    QImage Image;
    Write Writer;
    std::promise<QString> Done;
  };
  void Work();
  // Called with the lock held.
  void WaitForRoom(std::unique_lock<std::mutex>& lock, std::size_t bytes);

  const std::size_t budgetBytes_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> waiting_;
  std::size_t heldBytes_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// The first error text of `writes`, after waiting for all of them; empty when
// every write succeeded.
QString FirstError(std::vector<std::future<QString>>& writes);

}  // namespace plymark
