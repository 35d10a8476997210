#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "psd/Descriptor.h"
#include "psd/DocumentState.h"
#include "psd/LayerSettings.h"

namespace plymark {

// A descriptor as plain JSON: an object's items under their stored keys
// (trailing spaces kept) beside "_class" (and "_name" when the class has
// one); lists as arrays; numbers, booleans and strings as themselves; unit
// floats as {"unit", "value"}, enumerated values as {"type", "value"};
// the rarer types as objects that name them ("class", "reference",
// "rawData" in base64, "alias", "path", an object array's "_count").
QJsonObject DescriptorJson(const Descriptor& descriptor);
QJsonValue DescriptorValueJson(const DescriptorValue& value);

// Adds to layer `layer`'s layers.json object what its settings blocks say:
// "id", "text", "smartObject", "effects", "adjustment", "fill" (each null
// where the layer has none) and "blockProblems" when a block is damaged.
void AddLayerSettings(const DocumentSettings& settings, int layer, QJsonObject& json);

// Adds to the document's layers.json object "resolution" (image resource 1005)
// and "xmp" (the name of metadata.xmp, when resource 1060 holds a packet).
void AddDocumentSettings(const DocumentState& state, QJsonObject& document);

// The file name smart-<i>.<extension> of layer `layer`'s embedded smart
// object, or an empty string when it has none.
QString SmartObjectFileName(const DocumentSettings& settings, int layer);

// Writes every layer's embedded smart object as SmartObjectFileName and the
// XMP packet as metadata.xmp into `folder`, read from the document's file.
// Returns an error text, empty on success.
QString WriteSettingsFiles(const DocumentState& state, const DocumentSettings& settings,
                           const QString& folder);

}  // namespace plymark
