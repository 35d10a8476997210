#include "tools/ImageWriteQueue.h"

#include <gtest/gtest.h>

#include <QImage>
#include <atomic>
#include <chrono>
#include <thread>

namespace plymark {
namespace {

// Images of 40 000 bytes each against budgets of a few images: however many
// writers there are, no more images are held than the budget has room for,
// reservations count as images, and an image larger than the whole budget
// still gets through once nothing else is held.
TEST(ImageWriteQueueTest, HeldImagesStayWithinTheBudget) {
  const QImage image(100, 100, QImage::Format_RGB32);  // 40 000 bytes
  for (const auto& [budget, mostAtOnce] : {std::pair{40000u, 1}, std::pair{100000u, 2}}) {
    std::atomic<int> held = 0;
    std::atomic<int> most = 0;
    std::vector<std::future<QString>> writes;
    {
      ImageWriteQueue queue(4, budget);
      for (int i = 0; i < 12; ++i) {
        const std::size_t reserved = i % 2 == 0 ? queue.Reserve(40000) : 0;
        writes.push_back(queue.Submit(
            image,
            [&, i](const QImage&) {
              const int now = ++held;
              for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
              }
              std::this_thread::sleep_for(std::chrono::milliseconds(2));
              --held;
              return QString(i == 7 ? "failed" : "");
            },
            reserved));
      }
      writes.push_back(queue.Submit(QImage(200, 200, QImage::Format_RGB32),
                                    [](const QImage&) { return QString(); }));
    }
    EXPECT_EQ(FirstError(writes), "failed");
    EXPECT_LE(most, mostAtOnce) << budget;
  }
}

}  // namespace
}  // namespace plymark
