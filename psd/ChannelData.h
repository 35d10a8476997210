#pragma once

#include <cstdint>

#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// The channel-data area that starts at `position`: for every layer, every
// channel's compression code and stored bytes, into ChannelData. The blocks'
// Data view `file`, which the caller keeps alive in state.File.
void ReadChannelData(FileView file, DocumentState& state, std::int32_t position);

}  // namespace plymark
