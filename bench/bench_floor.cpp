// Lower bound for a whole-file layered PSD reader: read the file into memory with one read, then
// produce OUTPUT_BYTES of decoded-pixel-sized output once (fill a buffer of that size and write it
// to /dev/null). No parsing or decoding happens, so no reader that keeps every layer's pixels in
// memory can beat its wall time or its peak RSS (file bytes + output bytes).
//
// Usage: bench_floor FILE OUTPUT_BYTES

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FILE OUTPUT_BYTES\n", argv[0]);
    return 2;
  }
  const std::size_t out_bytes = std::strtoull(argv[2], nullptr, 10);

  std::unique_ptr<std::FILE, FileCloser> in(std::fopen(argv[1], "rb"));
  if (!in || std::fseek(in.get(), 0, SEEK_END) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  const long size = std::ftell(in.get());
  std::rewind(in.get());
  std::vector<std::uint8_t> file(static_cast<std::size_t>(size));
  if (std::fread(file.data(), 1, file.size(), in.get()) != file.size()) {
    std::perror(argv[1]);
    return 1;
  }

  // The fill value depends on the file so the compiler cannot drop the read or the output.
  std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[out_bytes]);
  std::memset(out.get(), file.empty() ? 0 : file.back(), out_bytes);
  std::unique_ptr<std::FILE, FileCloser> sink(std::fopen("/dev/null", "wb"));
  if (!sink || std::fwrite(out.get(), 1, out_bytes, sink.get()) != out_bytes) {
    std::perror("/dev/null");
    return 1;
  }
  return 0;
}
