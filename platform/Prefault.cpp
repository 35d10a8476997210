#include "platform/Prefault.h"

#include <cstring>
#include <system_error>
#include <thread>

namespace plymark {
namespace {

// Below this size one thread touches the whole buffer.
constexpr std::size_t kSharedTouchSize = std::size_t{16} << 20;

}  // namespace

void PrefaultInParallel(void* data, std::size_t bytes) {
  auto* begin = static_cast<unsigned char*>(data);
  std::size_t firstHalf = bytes;
  std::thread helper;
  if (bytes >= kSharedTouchSize) {
    firstHalf = bytes / 2;
    try {
      helper = std::thread([=] { std::memset(begin + firstHalf, 0, bytes - firstHalf); });
    } catch (const std::system_error&) {
      firstHalf = bytes;
    }
  }
  std::memset(begin, 0, firstHalf);
  if (helper.joinable()) helper.join();
}

}  // namespace plymark
