#include "platform/SystemFileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <thread>

namespace plymark {
namespace {

// Closes the descriptor on every way out.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

OpenedFile Failure(int error) {
  return {nullptr, std::strerror(error)};
}

// Files from this size on are read in two halves at once: copying from the
// page cache is bound by one core's speed, and a machine has at least two.
constexpr std::size_t kSplitReadSize = std::size_t{32} << 20;

// What reading a stretch of the file gave: the bytes read, fewer at the end
// of the file, or the system's error.
struct StretchRead {
  std::size_t Filled = 0;
  int Error = 0;
};

StretchRead ReadStretch(int fd, std::uint8_t* into, std::size_t offset, std::size_t length) {
  StretchRead result;
  while (result.Filled < length) {
    const ssize_t got = ::pread(fd, into + result.Filled, length - result.Filled,
                                static_cast<off_t>(offset + result.Filled));
    if (got < 0) {
      if (errno == EINTR) continue;
      result.Error = errno;
      return result;
    }
    if (got == 0) break;
    result.Filled += static_cast<std::size_t>(got);
  }
  return result;
}

}  // namespace

OpenedFile SystemFileSource::Open(const std::string& path) {
  if (path.empty()) return Failure(ENOENT);
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return Failure(errno);

  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return Failure(errno);
  if (S_ISDIR(status.st_mode)) return Failure(EISDIR);
  if (!S_ISREG(status.st_mode)) return {nullptr, "it is not a regular file"};

  // A PSD file addresses its bytes with signed 32-bit positions; a larger
  // file cannot be one, and is refused before any memory is taken for it.
  if (status.st_size > std::numeric_limits<std::int32_t>::max()) {
    return {nullptr, "it is larger than the 2 GB that a PSD file can have"};
  }
  auto bytes = std::make_shared<FileBytes>();
  const auto expected = static_cast<std::size_t>(status.st_size);
  try {
    bytes->Data = std::make_unique_for_overwrite<std::uint8_t[]>(expected == 0 ? 1 : expected);
  } catch (const std::bad_alloc&) {
    return {nullptr, "there is not enough memory to read it"};
  }

  // The file may shrink while it is read; what was actually read, from its
  // start on, is the file.
  std::size_t firstLength = expected < kSplitReadSize ? expected : expected / 2;
  StretchRead second;
  std::thread secondReader;
  if (firstLength < expected) {
    try {
      secondReader = std::thread([&] {
        second = ReadStretch(file.get(), bytes->Data.get() + firstLength, firstLength,
                             expected - firstLength);
      });
    } catch (const std::system_error&) {
      firstLength = expected;  // no second thread: one read does it all
    }
  }
  const StretchRead first = ReadStretch(file.get(), bytes->Data.get(), 0, firstLength);
  if (secondReader.joinable()) secondReader.join();
  if (first.Error != 0) return Failure(first.Error);
  std::size_t filled = first.Filled;
  if (filled == firstLength) {
    if (second.Error != 0) return Failure(second.Error);
    filled += second.Filled;
  }
  bytes->Size = filled;
  return {std::move(bytes), {}};
}

}  // namespace plymark
