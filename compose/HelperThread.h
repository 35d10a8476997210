#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace plymark {

// A second thread kept for a whole render, so that each band's work can be
// shared between two cores without starting a thread per band. Between two
// pieces of work it waits a little while spinning, as the next piece comes
// within microseconds, then sleeps.
class HelperThread {
 public:
  HelperThread();
  ~HelperThread();
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;

  // Runs work(0) on this thread and work(1) on the helper at once and
  // returns when both are done, rethrowing what either threw (this thread's
  // first). Without a helper (none could be started) both run here.
  template <class Work>
  void Share(const Work& work) {
    Run(&work, [](const void* context, int part) { (*static_cast<const Work*>(context))(part); });
  }

 private:
  using Call = void (*)(const void*, int);
  void Run(const void* context, Call call);
  void Loop();

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::atomic<std::uint64_t> posted_{0};    ///< pieces of work handed to the helper
  std::atomic<std::uint64_t> finished_{0};  ///< pieces the helper has finished
  bool stop_ = false;
  const void* context_ = nullptr;
  Call call_ = nullptr;
  std::exception_ptr error_;
};

}  // namespace plymark
