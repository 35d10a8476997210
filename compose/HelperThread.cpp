#include "compose/HelperThread.h"

#include <system_error>

namespace plymark {
namespace {

// Polls before sleeping: long enough to bridge the gap between two pieces of
// a band's work, short enough to cost nothing when the render is done.
constexpr int kSpins = 2000;

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

HelperThread::HelperThread() {
  try {
    thread_ = std::thread([this] { Loop(); });
  } catch (const std::system_error&) {
    // No second thread: every piece of work runs on the caller's.
  }
}

HelperThread::~HelperThread() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void HelperThread::Run(const void* context, Call call) {
  if (!thread_.joinable()) {
    call(context, 0);
    call(context, 1);
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    context_ = context;
    call_ = call;
    error_ = nullptr;
    posted_.fetch_add(1, std::memory_order_release);
  }
  wake_.notify_one();
  std::exception_ptr mine;
  try {
    call(context, 0);
  } catch (...) {
    mine = std::current_exception();
  }
  const std::uint64_t wanted = posted_.load(std::memory_order_relaxed);
  for (int spin = 0; spin < kSpins && finished_.load(std::memory_order_acquire) != wanted; ++spin) {
    Pause();
  }
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return finished_.load(std::memory_order_acquire) == wanted; });
  if (mine) std::rethrow_exception(mine);
  if (error_) std::rethrow_exception(error_);
}

void HelperThread::Loop() {
  std::uint64_t seen = 0;
  for (;;) {
    for (int spin = 0; spin < kSpins && posted_.load(std::memory_order_acquire) == seen; ++spin) {
      Pause();
    }
    const void* context = nullptr;
    Call call = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || posted_.load(std::memory_order_acquire) != seen; });
      if (stop_) return;
      seen = posted_.load(std::memory_order_acquire);
      context = context_;
      call = call_;
    }
    std::exception_ptr error;
    try {
      call(context, 1);
    } catch (...) {
      error = std::current_exception();
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      error_ = error;
      finished_.store(seen, std::memory_order_release);
    }
    done_.notify_one();
  }
}

}  // namespace plymark
