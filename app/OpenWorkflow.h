#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSource.h"
#include "platform/MessageSink.h"
#include "platform/StageClock.h"
#include "platform/TileSurface.h"
#include "psd/DocumentState.h"

namespace plymark {

// Why an Open failed, in plain words, without the file's name.
struct OpenFailure {
  std::string Problem;
  std::int64_t Offset = -1;  ///< where in the file the damage was found; -1 for none
};

// Reads the file at `path` into `state` and paints its layers: header,
// colour-mode data, image resources, then the layer-and-mask section. A
// document without layers shows its merged image in tile 0 instead, unless
// `mergedImageOfFlatDocument` is false. On success the tiles that nothing
// reached go back to their start state. Returns the failure, if any; nothing
// about it has been shown yet. A clock, when given, receives the time of
// every stage.
std::optional<OpenFailure> OpenDocument(const std::string& path, DocumentState& state,
                                        FileSource& files, MessageSink& messages,
                                        TileSurface& tiles, StageClock* clock = nullptr,
                                        bool mergedImageOfFlatDocument = true);

// OpenDocument without decoding any layer: the header, the colour-mode
// data, the image resources, the layer records and their channel blocks, and
// the colour set-up, with the same messages and failures. Each layer is
// decoded later, when it is asked for; nothing is painted.
std::optional<OpenFailure> OpenDocumentStructure(const std::string& path, DocumentState& state,
                                                 FileSource& files, MessageSink& messages);

// The six summary lines of an opened document, as the list shows them.
std::vector<std::string> SummaryItems(const DocumentState& state);

// The error box text for a failed Open of `path`.
std::string OpenErrorText(const std::string& path, const OpenFailure& failure);

}  // namespace plymark
