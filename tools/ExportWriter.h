#pragma once

#include <QByteArray>
#include <QString>

#include "plymark/plymark.h"
#include "tools/CompositeImage.h"
#include "tools/PngWriter.h"
#include "tools/RenderedImage.h"

namespace plymark {

// Writes layer `layer`'s picture into `folder` as layer-<i>.png, its rows
// deflated by `threads` threads (0: one per core). Returns an error text,
// empty on success.
QString WriteLayerImage(const QString& folder, int layer, const PngImage& picture, int threads = 0);

// Writes an opened document's summary.txt (the six summary lines),
// layers.json (header, merged image, drawn document and every layer), the
// embedded smart objects and the XMP metadata into `folder`; the layer images
// are written while the document is read, the composite and the rendered
// image before. Returns an error text, empty on success.
QString WriteExport(const Document& document, const CompositeExport& composite,
                    const RenderExport& render, const QString& folder);

// The layers.json document of an opened file; each layer carries its name,
// and the document what became of its merged image and, when one was asked
// for, of its render ("rendered", "renderOmissions", "renderError"), and
// whether metadata.xmp was written.
QByteArray LayersJson(const Document& document, const CompositeExport& composite,
                      const RenderExport& render, bool xmp);

}  // namespace plymark
