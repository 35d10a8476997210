#include "platform/SystemFileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

}  // namespace

OpenedFile SystemFileSource::Open(const std::string& path) {
  if (path.empty()) return Failure(ENOENT);
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return Failure(errno);

  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return Failure(errno);
  if (S_ISDIR(status.st_mode)) return Failure(EISDIR);
  if (!S_ISREG(status.st_mode)) return {nullptr, "it is not a regular file"};

  auto bytes = std::make_shared<FileBytes>();
  const auto expected = static_cast<std::size_t>(status.st_size);
  bytes->Data = std::make_unique_for_overwrite<std::uint8_t[]>(expected == 0 ? 1 : expected);

  // The file may shrink while it is read; what was actually read is the file.
  std::size_t filled = 0;
  while (filled < expected) {
    const ssize_t got = ::read(file.get(), bytes->Data.get() + filled, expected - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return Failure(errno);
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes->Size = filled;
  return {std::move(bytes), {}};
}

}  // namespace plymark
