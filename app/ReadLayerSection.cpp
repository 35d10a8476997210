#include "app/ReadLayerSection.h"

#include <string>

#include "app/ColourProfile.h"
#include "psd/ChannelData.h"
#include "psd/LayerRecords.h"
#include "render/ColourModes.h"
#include "render/DeepSamples.h"
#include "render/LayerLoop.h"

namespace plymark {

std::string SkippedLayersText(const DocumentState& state) {
  const std::size_t count = state.SkippedLayers.size();
  std::string text =
      "This document has " + std::to_string(count) + (count == 1 ? " layer" : " layers") +
      " wider or higher than the " + std::to_string(kLargestLayerSide) +
      " pixels a tile can show; Plymark leaves " + (count == 1 ? "it" : "them") + " out: ";
  for (std::size_t k = 0; k < count; ++k) {
    const SkippedLayer& skipped = state.SkippedLayers[k];
    const std::string& name = state.Layers[static_cast<std::size_t>(skipped.Layer)].Name;
    if (k > 0) text += ", ";
    text += "layer " + std::to_string(skipped.Layer) + " \"" + name + "\" (" +
            std::to_string(skipped.Width) + " \u00d7 " + std::to_string(skipped.Height) + ")";
  }
  return text + ".";
}

void ReadLayerStructure(FileView file, DocumentState& state, MessageSink& messages,
                        StageClock* clock) {
  {
    const StageTimer timer(clock, Stage::Parsing);
    const std::int64_t channelDataPosition = ReadLayerRecords(file, state, messages);
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
  SetUpColourProfile(file, state, messages);
}

void ReadLayerSection(FileView file, DocumentState& state, MessageSink& messages,
                      TileSurface& tiles, StageClock* clock) {
  ReadLayerStructure(file, state, messages, clock);
  RenderLayers(state, tiles, clock);
  if (!state.SkippedLayers.empty()) messages.ShowMessage(SkippedLayersText(state));
}

}  // namespace plymark
