#pragma once

#include <cstdint>
#include <span>

#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// The channel-data area that starts at `position`: for every layer, every
// channel's compression code and where its stored bytes lie, into
// ChannelData. The bytes themselves are read when their layer is decoded
// (LoadChannelBlocks); a file held in memory is viewed in place at once.
void ReadChannelData(FileView file, DocumentState& state, std::int64_t position);

// Reads the stored bytes of `blocks`, channels of layer `layer`, into the
// state's channel buffer, which grows as needed and is reused from layer to
// layer, and points each block's Data at its bytes; the blocks of the layer
// loaded before give up their views. Blocks that view a file held in memory
// are left as they are. Throws PsdError when the file has been cut short
// since it was opened.
void LoadChannelBlocks(DocumentState& state, int layer, std::span<ChannelBlock* const> blocks);

}  // namespace plymark
