#include "app/ReadLayerSection.h"

#include <string>

#include "psd/ChannelData.h"
#include "psd/LayerRecords.h"
#include "render/ColourModes.h"
#include "render/DeepSamples.h"
#include "render/LayerLoop.h"

namespace plymark {

void ReadLayerSection(FileView file, DocumentState& state, MessageSink& messages,
                      TileSurface& tiles, StageClock* clock) {
  {
    const StageTimer timer(clock, Stage::Parsing);
    const std::int32_t channelDataPosition = ReadLayerRecords(file, state, messages);
    ReadChannelData(file, state, channelDataPosition);
  }
  // Layers of a depth that cannot be shown stay black; say so once.
  if (state.LayerCount > 0 && BytesPerSample(state.Header.Depth) == 0) {
    messages.ShowMessage("This document has " + std::to_string(state.Header.Depth) +
                         " bits per channel, which Plymark cannot show; its layers stay black.");
  }
  // Layers of a colour mode that cannot be shown stay black; say so once.
  if (state.LayerCount > 0 && ModelOfColorMode(state.Header.ColorMode) == ColourModel::Unshowable) {
    messages.ShowMessage(UnshowableColourModeText(state.Header.ColorMode));
  }
  RenderLayers(state, tiles, clock);
}

}  // namespace plymark
