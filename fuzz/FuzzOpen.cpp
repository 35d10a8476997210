// libFuzzer target: the whole Open without a window. The input bytes are the
// file; messages are dropped and the layers are painted into tiles in memory.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "app/OpenWorkflow.h"
#include "platform/FileSource.h"
#include "platform/MemoryTileSurface.h"
#include "platform/MessageSink.h"
#include "psd/DocumentState.h"

namespace {

// Serves the input as the one file, in a buffer of exactly its size so that
// any read past its end is an out-of-bounds access the sanitizer reports.
class InputFileSource final : public plymark::FileSource {
 public:
  InputFileSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  plymark::OpenedFile Open(const std::string&) override {
    auto bytes = std::make_shared<plymark::FileBytes>();
    bytes->Data = std::make_unique_for_overwrite<std::uint8_t[]>(size_);
    if (size_ > 0) std::memcpy(bytes->Data.get(), data_, size_);
    bytes->Size = size_;
    return {std::move(bytes), {}};
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

class DroppingMessageSink final : public plymark::MessageSink {
 public:
  void ShowMessage(std::string_view) override {}
  void ShowOpenError(std::string_view) override {}
};

// As many tiles as the window has.
constexpr int kWindowTiles = 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputFileSource files(data, size);
  DroppingMessageSink messages;
  plymark::MemoryTileSurface tiles(kWindowTiles);
  plymark::DocumentState state;
  const auto failure = plymark::OpenDocument("input.psd", state, files, messages, tiles);
  if (!failure) plymark::SummaryItems(state);
  return 0;
}
