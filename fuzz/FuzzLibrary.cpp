// libFuzzer target: libplymark's reading of a file held in memory, through its
// public API: every layer at 8 and 16 bits, in sRGB and as stored, with its
// transparency and mask at both depths, and the merged image in both
// layouts; every layer's settings and embedded file, the resolution and XMP
// packet, the document drawn (reduced, to keep each input quick); then the
// same file opened with a receiver, as the export reads it, and opened for its
// merged image alone with its layers read after. Failures are plymark::Error,
// never a crash.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plymark/plymark.h"

namespace {

class DroppingReceiver final : public plymark::LayerReceiver {
 public:
  void Painted(const plymark::Layer& layer, plymark::Image) override {
    try {
      layer.Transparency();
    } catch (const plymark::Error&) {
      // The export reports a damaged transparency channel; so may a receiver.
    }
  }
};

// Each read on its own: a damaged part costs only itself.
template <typename Read>
void Try(const Read& read) {
  try {
    read();
  } catch (const plymark::Error&) {
  }
}

void ReadSettings(const plymark::Layer& layer) {
  layer.Id();
  layer.Text();
  layer.SmartObject();
  layer.Effects();
  layer.Adjustment();
  layer.Fill();
  layer.BlockProblems();
  Try([&] { layer.EmbeddedFile(); });
}

void ReadEverything(const plymark::Document& document) {
  Try([&] { document.Render({plymark::CompositeLayout::Bytes, 64}); });
  document.Resolution();
  Try([&] { document.Xmp(); });
  for (const plymark::Layer& layer : document.Layers()) {
    Try([&] { ReadSettings(layer); });
    for (const int depth : {8, 16}) {
      try {
        layer.Pixels(depth);
        layer.Pixels(depth, plymark::Colours::Stored);
        layer.Transparency(depth);
        layer.MaskPixels(depth);
      } catch (const plymark::Error&) {
        // A damaged layer is reported, never a crash.
      }
    }
  }
  document.MergedImage();
  document.MergedImage(plymark::CompositeLayout::Words);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  try {
    ReadEverything(plymark::Document::FromMemory(bytes));
  } catch (const plymark::Error&) {
    // A file that cannot be opened is reported, never a crash.
  }
  DroppingReceiver receiver;
  plymark::OpenOptions options;
  options.Layers = &receiver;
  try {
    plymark::Document::FromMemory(bytes, options);
  } catch (const plymark::Error&) {
  }
  options = {};
  options.Read = plymark::Reading::MergedImageOnly;
  try {
    const plymark::Document merged = plymark::Document::FromMemory(bytes, options);
    merged.MergedImage();
    merged.ReadLayers();
    for (const plymark::Layer& layer : merged.Layers()) Try([&] { layer.Pixels(); });
  } catch (const plymark::Error&) {
  }
  return 0;
}
