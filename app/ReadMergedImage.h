#pragma once

#include <optional>
#include <string>

#include "psd/DocumentState.h"
#include "render/MergedImage.h"

namespace plymark {

// The merged image of an opened document, or why there is none.
struct MergedImageResult {
  std::optional<MergedImage> Image;
  std::string Problem;  ///< a sentence without the file's name, when Image is empty
};

// Reads and decodes the image data section at state.ImageDataOffset, the
// file's last section. A file saved without its merged image (the version
// info resource says so) has none: its section holds a blank stand-in.
// Damage there is reported in Problem, never thrown.
MergedImageResult ReadMergedImage(const DocumentState& state);

}  // namespace plymark
