#pragma once

#include "platform/MessageSink.h"
#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// Finds the document's colour profile in its image resources and makes the
// conversion of its colours to sRGB (state.Colour, state.ColorProfile) once
// for the Open. A profile that cannot be used, or a CMYK document whose
// default profile is missing, gets one message; the colours are then shown
// as stored.
void SetUpColourProfile(FileView file, DocumentState& state, MessageSink& messages);

}  // namespace plymark
