// libFuzzer target: the whole Open without a window, then what plymark-export
// and the thumbnailer read beyond it: every layer's transparency channel and
// user mask, every layer's settings blocks and the linked files, the merged
// image, the document drawn from its layers, and the thumbnailer's way. The
// input bytes are the file; messages are dropped, the layers are painted into
// tiles in memory and the drawn bands are let go.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/OpenWorkflow.h"
#include "app/ReadMergedImage.h"
#include "app/ThumbnailSource.h"
#include "compose/RenderDocument.h"
#include "platform/FileSource.h"
#include "platform/MemoryTileSurface.h"
#include "platform/MessageSink.h"
#include "psd/DocumentState.h"
#include "psd/LayerSettings.h"
#include "psd/PsdError.h"
#include "render/ChannelPlane.h"
#include "render/LayerLoop.h"

namespace {

// The same bytes, but not offered as a file in memory: channel data is read
// into the layer loop's buffer, as from a file on disk.
class ReadOnlyFile final : public plymark::RandomAccessFile {
 public:
  explicit ReadOnlyFile(std::vector<std::uint8_t> bytes) : file_(std::move(bytes)) {}
  std::uint64_t Size() const override { return file_.Size(); }
  plymark::ReadResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const override {
    return file_.ReadAt(offset, into);
  }

 private:
  plymark::MemoryFile file_;
};

// Serves the input as the one file, in a buffer of exactly its size so that
// any read past its end is an out-of-bounds access the sanitizer reports.
// Every other input is read through positioned reads, as a file on disk is.
class InputFileSource final : public plymark::FileSource {
 public:
  InputFileSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  plymark::OpenedFile Open(const std::string&) override {
    std::vector<std::uint8_t> bytes(data_, data_ + size_);
    if (size_ % 2 == 0) return {std::make_shared<plymark::MemoryFile>(std::move(bytes)), {}};
    return {std::make_shared<ReadOnlyFile>(std::move(bytes)), {}};
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
// The thumbnailer's default size. Documents drawn from their layers: at most a
// few megapixels, in small bands.
constexpr int kThumbnailSize = 256;
constexpr std::int64_t kLargestDrawn = std::int64_t{4} << 20;
constexpr std::size_t kBandBudget = std::size_t{4} << 20;

class DroppingRenderSink final : public plymark::RenderSink {
 public:
  void TakeBand(const plymark::RenderedBand&) override {}
};

void Draw(plymark::DocumentState& state) {
  DroppingRenderSink sink;
  plymark::RenderOptions options;
  options.BandBudgetBytes = kBandBudget;
  options.LargestPixels = kLargestDrawn;
  try {
    plymark::RenderDocument(state, sink, options);
  } catch (const plymark::PsdError&) {
    // A document that cannot be drawn is reported, never a crash.
  }
}

// Channel -1 at each shown layer's size and channel -2 at its mask's size.
void DecodeTransparencyAndMasks(plymark::DocumentState& state) {
  for (int i = 0; i < state.LayerCount; ++i) {
    const plymark::LayerRecord& record = state.Layers[static_cast<std::size_t>(i)];
    const std::int64_t width = std::llabs(static_cast<std::int64_t>(record.Right) - record.Left);
    const std::int64_t height = std::llabs(static_cast<std::int64_t>(record.Bottom) - record.Top);
    try {
      if (width <= plymark::kLargestLayerSide && height <= plymark::kLargestLayerSide) {
        plymark::ReadGreyChannel(state, i, -1, static_cast<std::int32_t>(width),
                                 static_cast<std::int32_t>(height), "rectangle");
      }
      plymark::ReadMaskPlane(state, i);
    } catch (const plymark::PsdError&) {
      // A damaged channel is reported, never a crash.
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputFileSource files(data, size);
  DroppingMessageSink messages;
  plymark::MemoryTileSurface tiles(kWindowTiles);
  plymark::DocumentState state;
  const auto failure = plymark::OpenDocument("input.psd", state, files, messages, tiles);
  if (!failure) {
    plymark::SummaryItems(state);
    DecodeTransparencyAndMasks(state);
    plymark::ReadDocumentSettings(state);
    // The export's merged image, after the layers.
    if (state.LayerCount > 0) plymark::ReadMergedImage(state);
    Draw(state);
  }
  // The thumbnailer's way: the merged image alone, or the layers drawn.
  plymark::DocumentState alone;
  plymark::RenderOptions small;
  small.LargestPixels = kLargestDrawn;
  plymark::ReadThumbnailSource("input.psd", files, alone, kThumbnailSize, small);
  return 0;
}
