#pragma once

#include <QJsonObject>
#include <QString>

#include "plymark/plymark.h"

namespace plymark {

// Adds to a layer's layers.json object what its settings blocks say: "id",
// "text", "smartObject", "effects", "adjustment", "fill" (each null where the
// layer has none) and "blockProblems" when a block is damaged.
void AddLayerSettings(const Layer& layer, QJsonObject& json);

// Adds to the document's layers.json object "resolution" (image resource 1005)
// and "xmp" (the name of metadata.xmp, when it was written).
void AddDocumentSettings(const Document& document, bool xmp, QJsonObject& json);

// The file name smart-<i>.<extension> of a layer's embedded smart object, or
// an empty string when it has none.
QString SmartObjectFileName(const Layer& layer);

// Writes every layer's embedded smart object as SmartObjectFileName and the
// XMP packet as metadata.xmp into `folder`, read from the document's file;
// `xmp` says whether there was a packet. Returns an error text, empty on
// success.
QString WriteSettingsFiles(const Document& document, const QString& folder, bool& xmp);

}  // namespace plymark
