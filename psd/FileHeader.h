#pragma once

#include <optional>
#include <string>

#include "platform/MessageSink.h"
#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// The 26-byte header, from position 1; leaves FilePos at 27.
void ReadFileHeader(FileView file, DocumentState& state);

// The colour-mode data length at FilePos. Present colour-mode data is
// announced with "ERROR" and skipped by its length; an indexed document keeps
// its first 768 bytes as ColorTable.
void ReadColorModeSection(FileView file, DocumentState& state, MessageSink& messages);

// The header, the colour-mode data and the image resources, in file order.
// Returns why the file is refused although nothing in it is damaged (a PSD
// larger than the 2 GB its signed 32-bit positions reach), before anything
// behind the header is read; nothing otherwise.
std::optional<std::string> ReadFrontSections(FileView file, DocumentState& state,
                                             MessageSink& messages);

// The image-resources length at FilePos; the resources themselves are skipped.
void ReadImageResourceSection(FileView file, DocumentState& state);

}  // namespace plymark
