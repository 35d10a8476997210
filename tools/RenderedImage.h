#pragma once

#include <QString>
#include <QStringList>

#include "plymark/plymark.h"

namespace plymark {

// What became of the document drawn from its layers in an export.
struct RenderExport {
  bool Asked = false;     ///< a render was made or tried: layers.json says what became of it
  QString Image;          ///< "rendered.png" when it was written; empty otherwise
  QString Problem;        ///< why there is none
  QStringList Omissions;  ///< what the drawing left out, one entry per layer and feature
};

// Draws an opened document from its layers into `folder` as rendered.png,
// row by row as the render makes them, never held whole: the document's
// size, 8-bit RGB, or RGBA where the merged image has transparency, its rows
// deflated by `threads` threads (0: one per core). A render that cannot be
// made is no failure: `result` says why and no rendered.png is left.
void WriteRendered(const Document& document, const QString& folder, RenderExport& result,
                   int threads = 0);

}  // namespace plymark
