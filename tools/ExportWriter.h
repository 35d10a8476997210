#pragma once

#include <QString>
#include <functional>

#include "platform/qt/ImageTileSurface.h"
#include "psd/DocumentState.h"

namespace plymark {

// Reports that `done` of `total` layer images are written.
using ExportProgress = std::function<void(int done, int total)>;

// Writes an opened document into `folder`: summary.txt (the six summary
// lines), layers.json (header and every layer) and layer-<i>.png for every
// layer with pixels. Returns an error text, empty on success.
QString WriteExport(const DocumentState& state, const ImageTileSurface& tiles,
                    const QString& folder, const ExportProgress& progress);

// The layers.json document of an opened file; each layer carries its name.
QByteArray LayersJson(const DocumentState& state);

}  // namespace plymark
