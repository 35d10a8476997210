#pragma once

#include <optional>
#include <string>
#include <vector>

#include "compose/ReducedRender.h"
#include "compose/RenderDocument.h"
#include "platform/FileSource.h"
#include "psd/DocumentState.h"
#include "render/MergedImage.h"

namespace plymark {

// What a thumbnail of a document is made from.
struct ThumbnailSource {
  std::optional<MergedImage> Merged;  ///< the merged image, when it can be used
  /// Otherwise the document drawn from its layers, reduced toward the
  /// thumbnail's size; none when it cannot be drawn.
  std::optional<SrgbPicture> Drawn;
  std::vector<std::string> Omissions;  ///< what the drawing left out
  std::string Problem;  ///< why the merged image, or else the drawing, cannot be used
};

// Opens the file at `path` and reads what its thumbnail of at most `size`
// pixels a side needs: the merged image alone where it is usable (the front
// sections, the head of the layer-and-mask section and the image data);
// else the layer records and their channel data, and the document drawn
// from them with `options`. No message is shown and nothing is thrown.
ThumbnailSource ReadThumbnailSource(const std::string& path, FileSource& files,
                                    DocumentState& state, int size,
                                    const RenderOptions& options = {});

}  // namespace plymark
