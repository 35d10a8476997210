#pragma once

#include <QImage>
#include <QJsonObject>
#include <QString>
#include <optional>

#include "plymark/plymark.h"
#include "tools/ExportConsole.h"

namespace plymark {

// The alpha of layer-<i>.png for a painted layer: with `withAlpha` and a
// transparency channel (-1), that channel as a Format_Grayscale8 image of the
// layer's size, to be written beside the painted colours (the colours under
// transparent pixels kept); otherwise (and at a depth that cannot be shown) a
// null image, and the painted colours are written as they are. A damaged
// channel costs only the layer's transparency: the layer is written opaque
// and `notices` says so, naming the layer and the channel.
QImage LayerAlpha(const Layer& layer, bool withAlpha, const ConsoleNotices& notices);

// The name of a layer's mask-<i>.png, when its mask has a picture.
std::optional<QString> MaskImageName(const Layer& layer);

// Writes mask-<i>.png (8-bit grey, the mask rectangle's size, channel -2) of
// every layer that has one into `folder`, one at a time. Returns an error
// text, empty on success; a damaged mask channel gives "FILE: what is wrong".
QString WriteMaskImages(const Document& document, const QString& folder);

// Adds to a layer's layers.json object what places and shows the layer:
// kind, parent, visible, opacity, clipping and mask.
void AddLayerExtras(const Layer& layer, QJsonObject& json);

}  // namespace plymark
