#pragma once

#include <optional>
#include <string>

#include "platform/FileSource.h"
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

// Opens the file at `path` and reads what its merged image needs before the
// image data section: the header, the colour-mode data, the image resources
// and the head of the layer-and-mask section, and sets up its colours. No
// message is shown; returns what went wrong, from the file's opening on.
std::optional<std::string> ReadMergedImageFront(const std::string& path, FileSource& files,
                                                DocumentState& state);

// Opens the file at `path` and reads only what its merged image needs: the
// header, the colour-mode data, the image resources and the head of the
// layer-and-mask section, then the image data section. No message is shown;
// what went wrong, from the file's opening on, is in Problem.
MergedImageResult ReadMergedImageOnly(const std::string& path, FileSource& files,
                                      DocumentState& state);

}  // namespace plymark
