#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plymark/Api.h"
#include "plymark/Image.h"

namespace plymark {
inline namespace v0 {

// How Document::Render hands out the document drawn from its layers.
struct DrawOptions {
  CompositeLayout Layout = CompositeLayout::Bytes;
  /// 0: the document's size. Otherwise the drawing is reduced as it is
  /// drawn, by the largest whole factor that leaves it at least ReduceTo
  /// pixels on its longer side (each pixel the mean of its block, weighted
  /// by coverage), so that only the reduced picture is held.
  int ReduceTo = 0;
};

// The document drawn from its layers, as the export's rendered.png.
struct Drawing {
  /// The picture, without pixels when the rows went to a RowReceiver
  Image Picture;
  /// The colours have transparency (by the merged image's rule: exactly when
  /// the merged image has a transparency channel); without it they are
  /// flattened over white.
  bool HasAlpha = false;
  /// What the drawing left out, one entry per layer and feature, such as
  /// `layer 3 "Shadow": layer effects`
  std::vector<std::string> Omissions;
};

// Takes the drawn document row by row, from the top, while the bands of rows
// are drawn: the way to draw a document of any size with little memory (the
// export's). Called on the drawing thread. An exception thrown here ends the
// drawing and leaves Render as it is.
class PLYMARK_API RowReceiver {
 public:
  virtual ~RowReceiver();
  // Before the first row: the picture's size and its layout (Rgb8, Rgba8 or
  // Argb32).
  virtual void Start(int width, int height, PixelFormat format) = 0;
  // Where row `y` (from 0, in order) is written: width x BytesPerPixel bytes,
  // aligned for 32-bit words, that stay the receiver's; null to skip the row.
  virtual std::uint8_t* Row(int y) = 0;
};

}  // namespace v0
}  // namespace plymark
