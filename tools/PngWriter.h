#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace plymark {

// An 8-bit image as a PNG file stores it: one to four interleaved channels
// per pixel, rows from the top.
struct PngImage {
  int Width = 0;
  int Height = 0;
  int Channels = 3;  ///< 1 gray, 2 gray and alpha, 3 RGB, 4 RGBA (alpha not premultiplied)
  // Row y's Width * Channels bytes: a pointer into the caller's pixels, or
  // `scratch` (room for one row) filled and returned. Called from several
  // threads at once, each with its own scratch.
  std::function<const std::uint8_t*(int y, std::uint8_t* scratch)> Row;
};

// The rows of `image` as a PngImage, which keeps its own reference to the
// pixels: Format_RGB32 as RGB, Format_ARGB32 as RGBA, Format_Grayscale8 as
// gray, any other format converted to one of these first.
PngImage PngImageOf(const QImage& image);
// The rows of a Format_RGB32 `image` with `alpha` (Format_Grayscale8 of the
// same size) as RGBA; the PngImage keeps both.
PngImage PngImageOf(const QImage& image, const QImage& alpha);

// Writes `image` to `path` as a PNG file. The rows are cut into bands of
// about a megabyte that `threads` threads (0: one per core) filter and
// deflate at once, each band as its own deflate stream ended at a byte
// boundary, so that together they form the file's one zlib stream. Returns
// an error text, empty on success.
QString WritePng(const QString& path, const PngImage& image, int threads = 0);
QString WritePng(const QString& path, const QImage& image, int threads = 0);

}  // namespace plymark
