#pragma once

#include <QString>

#include "plymark/plymark.h"

namespace plymark {

// What became of the document's merged image in an export.
struct CompositeExport {
  QString Image;    ///< "composite.png" when it was written; empty otherwise
  QString Problem;  ///< why there is none: damaged, cut short, or never saved
};

// Reads the merged image of an opened document and writes it into `folder`
// as composite.png: 8-bit RGB, or RGBA when the merged image has
// transparency. A merged image that is damaged, missing or was not saved is
// no failure: `result` says why there is none. Returns an error text when the
// file cannot be written, empty otherwise.
QString WriteComposite(const Document& document, const QString& folder, CompositeExport& result);

}  // namespace plymark
