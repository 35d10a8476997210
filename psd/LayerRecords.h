#pragma once

#include <cstdint>

#include "platform/MessageSink.h"
#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// The head of the layer-and-mask section at FilePos and every layer record
// behind it, into LayerSectionLength, LayerInfoLength, LayerCount and Layers.
// Returns the read position behind the last record, where the channel data
// begins. An empty section or empty layer info gives no layers.
std::int64_t ReadLayerRecords(FileView file, DocumentState& state, MessageSink& messages);

}  // namespace plymark
