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

// The head of the layer-and-mask section at FilePos without its records and
// without a message: where the merged image lies (ImageDataOffset) and
// whether the global tagged blocks give it transparency. For readers that
// want the merged image alone.
void ReadLayerSectionBounds(FileView file, DocumentState& state);

}  // namespace plymark
