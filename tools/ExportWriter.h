#pragma once

#include <QString>

#include <QImage>
#include "psd/DocumentState.h"

namespace plymark {

// Writes layer `layer`'s painted image into `folder` as layer-<i>.png, its
// rows deflated by `threads` threads (0: one per core). Returns an error
// text, empty on success.
QString WriteLayerImage(const QString& folder, int layer, const QImage& image, int threads = 0);

// Writes an opened document's summary.txt (the six summary lines) and
// layers.json (header and every layer) into `folder`; the layer images are
// written while the document is read. Returns an error text, empty on
// success.
QString WriteExport(const DocumentState& state, const QString& folder);

// The layers.json document of an opened file; each layer carries its name.
QByteArray LayersJson(const DocumentState& state);

}  // namespace plymark
