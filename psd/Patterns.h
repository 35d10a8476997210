#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// One stored channel of a pattern: its samples' depth, its rectangle and its
// data, which a channel decoder reads from the file (raw or run-length rows,
// counts of two bytes).
struct PatternChannel {
  std::int32_t Depth = 8;  ///< bits per sample
  std::int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
  ChannelBlock Block;
};

// A pattern of the document's 'Patt', 'Pat2' or 'Pat3' blocks: its header
// and its "virtual memory array list" of channels.
struct Pattern {
  std::string Id;  ///< the unique id a fill or overlay names it by
  std::string Name;
  std::int32_t ImageMode = 3;  ///< as the header's colour mode: 1 grey, 2 indexed, 3 RGB, ...
  std::int32_t Width = 0, Height = 0;
  std::vector<std::uint8_t> ColourTable;  ///< indexed: 256 red, green, blue triples
  std::int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
  /// The channel slots in stored order: the colour channels of its mode
  /// first, then a user mask and last the transparency; those not written
  /// are empty, those after the list ends are missing.
  std::vector<std::optional<PatternChannel>> Channels;
  /// The channel count the list declares: the transparency is slot count + 1.
  std::uint32_t ChannelCount = 0;
};

// The pattern of unique id `id` among the global blocks `blocks`, its
// channels' data left in the file; nothing when none has that id. Throws
// PsdError when a pattern record met on the way is damaged.
std::optional<Pattern> FindPattern(const FileView& file, const std::vector<TaggedBlockRef>& blocks,
                                   std::string_view id);

}  // namespace plymark
