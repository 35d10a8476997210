#pragma once

#include <QImage>

#include "plymark/Image.h"

namespace plymark {

// A QImage over the pixels of a library picture, without a copy: it keeps a
// share of them for as long as it or a copy of it lives. Argb32 pictures are
// Format_ARGB32 (`alpha`) or Format_RGB32, Gray8 ones Format_Grayscale8; a
// picture without pixels, or of another format, gives a null image.
QImage ImageView(const Image& picture, bool alpha = false);

}  // namespace plymark
