#pragma once

#include <QImage>
#include <QJsonObject>
#include <QString>
#include <optional>
#include <vector>

#include "platform/MessageSink.h"
#include "psd/DocumentState.h"

namespace plymark {

// The alpha of layer-<i>.png for layer `layer`, whose painted RGB image is
// `painted`: with `withAlpha` and a transparency channel (-1), that channel
// as 8-bit rows of the painted image's size, to be written beside the painted
// colours (the colours under transparent pixels kept); otherwise (and at a
// depth that cannot be shown) nothing, and the painted image is written as it
// is. Reads channel -1 from the document's file while the document is being
// read. A damaged channel costs only the layer's transparency: the layer is
// written opaque and `messages` says so, naming the layer and the channel.
std::optional<std::vector<std::uint8_t>> LayerAlpha(DocumentState& state, int layer,
                                                    const QImage& painted, bool withAlpha,
                                                    MessageSink& messages);

// The name of layer `layer`'s mask-<i>.png, when it has one (HasMaskPlane).
std::optional<QString> MaskImageName(const DocumentState& state, int layer);

// Writes mask-<i>.png (8-bit grey, the mask rectangle's size, channel -2) of
// every layer that has one into `folder`, after the document has been read,
// one at a time. Returns an error text, empty on success; a damaged mask
// channel gives "FILE: what is wrong".
QString WriteMaskImages(DocumentState& state, const QString& folder);

// Adds to a layer's layers.json object what places and shows the layer:
// kind, parent, visible, opacity, clipping and mask.
void AddLayerExtras(const DocumentState& state, int layer, QJsonObject& json);

}  // namespace plymark
