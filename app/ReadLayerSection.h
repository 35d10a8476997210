#pragma once

#include <string>

#include "platform/MessageSink.h"
#include "platform/StageClock.h"
#include "platform/TileSurface.h"
#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// The layer-and-mask section from FilePos: the layer records, the channel
// blocks behind them, then every layer decoded and painted into its tile.
// FilePos is only read. PSB layers too large for a tile are left out, with
// one message that names them. A clock, when given, receives the time of
// every stage.
void ReadLayerSection(FileView file, DocumentState& state, MessageSink& messages,
                      TileSurface& tiles, StageClock* clock = nullptr);

// ReadLayerSection without the decoding: the layer records, the channel
// blocks behind them and the document's colour set-up, with the same
// messages about what cannot be shown. Each layer is decoded later, when it
// is asked for.
void ReadLayerStructure(FileView file, DocumentState& state, MessageSink& messages,
                        StageClock* clock = nullptr);

// The one message of an Open that left out PSB layers too large for a tile
// (state.SkippedLayers).
std::string SkippedLayersText(const DocumentState& state);

}  // namespace plymark
