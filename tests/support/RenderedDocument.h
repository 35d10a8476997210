#pragma once

// A document built in code, read through every parser and rendered into
// twelve tiles in memory, for the tests of the layer loop.

#include <cstdint>

#include "platform/MemoryTileSurface.h"
#include "psd/ChannelData.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "render/LayerLoop.h"
#include "tests/support/Fakes.h"
#include "tests/support/PsdWriter.h"

namespace plymark::test {

struct RenderedDocument {
  Bytes file;  ///< kept alive: the channel blocks view it
  DocumentState state;
  MemoryTileSurface tiles{12};

  explicit RenderedDocument(const TestDocument& document) : file(BuildPsd(document)) {}

  void Render() {
    FakeMessageSink messages;
    ReadFileHeader(file, state);
    ReadColorModeSection(file, state, messages);
    ReadImageResourceSection(file, state);
    ReadChannelData(file, state, ReadLayerRecords(file, state, messages));
    RenderLayers(state, tiles);
  }

  std::uint32_t Pixel(int tile, int x, int y) const {
    const auto& t = tiles.At(tile);
    return t.Image.at(static_cast<std::size_t>(y * t.Width + x));
  }
};

}  // namespace plymark::test
