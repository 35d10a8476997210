#include "app/ReadLayerSection.h"

#include "psd/ChannelData.h"
#include "psd/LayerRecords.h"
#include "render/LayerLoop.h"

namespace plymark {

void ReadLayerSection(FileView file, DocumentState& state, MessageSink& messages,
                      TileSurface& tiles) {
  const std::int32_t channelDataPosition = ReadLayerRecords(file, state, messages);
  ReadChannelData(file, state, channelDataPosition);
  RenderLayers(state, tiles);
}

}  // namespace plymark
