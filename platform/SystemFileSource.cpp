#include "platform/SystemFileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace plymark {
namespace {

// An open descriptor, closed when the last reader lets it go. pread keeps no
// file position, so any number of threads may read at once.
class SystemFile final : public RandomAccessFile {
 public:
  SystemFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  SystemFile(const SystemFile&) = delete;
  SystemFile& operator=(const SystemFile&) = delete;
  ~SystemFile() override { ::close(fd_); }

  std::uint64_t Size() const override { return size_; }

  ReadResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const override {
    ReadResult result;
    constexpr auto kLargestOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    while (result.Count < into.size()) {
      const std::uint64_t at = offset + result.Count;
      if (at > kLargestOffset) break;
      const ssize_t got = ::pread(fd_, into.data() + result.Count, into.size() - result.Count,
                                  static_cast<off_t>(at));
      if (got < 0) {
        if (errno == EINTR) continue;
        result.Error = std::strerror(errno);
        return result;
      }
      if (got == 0) break;  // the file ends here, perhaps cut short since it was opened
      result.Count += static_cast<std::size_t>(got);
    }
    return result;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

OpenedFile Failure(int error) {
  return {nullptr, std::strerror(error)};
}

}  // namespace

OpenedFile SystemFileSource::Open(const std::string& path) {
  if (path.empty()) return Failure(ENOENT);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failure(errno);
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    const int error = errno;
    ::close(fd);
    return Failure(error);
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(fd);
    if (S_ISDIR(status.st_mode)) return Failure(EISDIR);
    return {nullptr, "it is not a regular file"};
  }
  // The whole file will be read front to back, a layer at a time.
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return {std::make_shared<SystemFile>(fd, static_cast<std::uint64_t>(status.st_size)), {}};
}

}  // namespace plymark
