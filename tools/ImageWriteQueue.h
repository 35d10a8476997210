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
// layer. The images waiting or being written hold at most `budgetBytes`
// between them, whatever the number of threads or of files read at once; one
// image is always let in, however large, so that no image waits for ever.
class ImageWriteQueue {
 public:
  using Write = std::function<QString(const QImage& image)>;

  ImageWriteQueue(int threads, std::size_t budgetBytes);
  ~ImageWriteQueue();  // finishes every write that was handed in
  ImageWriteQueue(const ImageWriteQueue&) = delete;
  ImageWriteQueue& operator=(const ImageWriteQueue&) = delete;

  // Hands `image` (a shared copy, not a deep one) to `write`, which runs on a
  // worker thread and returns an error text, empty on success. Blocks while
  // the budget is spent. The image is let go as soon as its write ends.
  std::future<QString> Submit(const QImage& image, Write write);

 private:
  struct Job {
    QImage Image;
    Write Writer;
    std::promise<QString> Done;
  };
  void Work();

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
