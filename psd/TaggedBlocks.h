#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// The data of one tagged block: 1-based position of its first byte and the
// position just behind it.
struct TaggedBlockData {
  std::int64_t Begin = 0;
  std::int64_t End = 0;
};

// The first block of `key` among `blocks`, or null.
const TaggedBlockRef* FindBlock(const std::vector<TaggedBlockRef>& blocks, std::string_view key);

// The data of `block`, read from `file`: settings blocks are read whole when
// they are looked into. Throws PsdError when the block is longer than
// `largest` bytes (a length is never trusted to allocate) or the file ends
// first.
std::vector<std::uint8_t> ReadBlockData(const FileView& file, const TaggedBlockRef& block,
                                        std::size_t largest);

// In a PSB (version 2) the blocks of these keys store their length in 8
// bytes, every other block in 4, as in a PSD.
bool HasEightByteLength(std::int16_t version, std::string_view key);

// What the global tagged blocks behind the layer info hold.
struct GlobalTaggedBlocks {
  /// Documents of 16 and 32 bits keep their layers in an "Lr16" or "Lr32"
  /// block behind an empty layer info, and some writers an 8-bit document's
  /// in a "Layr" block: the first such block.
  std::optional<TaggedBlockData> LayerBlock;
  /// "Mtrn", "Mt16" or "Mt32": the merged image has transparency.
  bool MergedTransparency = false;
  /// Every block the walk passed, with its data's 0-based file offset.
  std::vector<TaggedBlockRef> Blocks;
};

// Walks from `position` (where the layer info ends) over the global layer
// mask info and the tagged blocks behind it, up to `sectionEnd`. A walk that
// meets a length or signature that does not fit stops there with what it
// found before: these blocks are only looked into, never required.
GlobalTaggedBlocks WalkGlobalTaggedBlocks(FileView file, std::int64_t position,
                                          std::int64_t sectionEnd, std::int16_t version);

}  // namespace plymark
