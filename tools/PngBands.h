#pragma once

#include <zlib.h>

#include <QFile>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "tools/LiteralDeflate.h"

namespace plymark::png {

// What the PNG writers share: the rows are cut into bands of about a
// megabyte, each filtered and deflated on its own (on any thread) as its own
// deflate stream ended at a byte boundary, so that the bands, written in
// order as IDAT chunks, form the file's one zlib stream.

using Bytes = std::vector<std::uint8_t>;

// Rows longer than this are refused, so that a band always fits zlib's
// 32-bit counts.
inline constexpr std::size_t kMostRowBytes = std::size_t{1} << 30;

// Rows per band for rows of `rowBytes` bytes.
int BandRows(std::size_t rowBytes);

// The signature and the IHDR chunk of an 8-bit image of 1 to 4 channels.
Bytes SignatureAndHeader(int width, int height, int channels);
// The chunk with the zlib stream's Adler-32, then IEND.
Bytes EndChunks(std::uint32_t adler);

// The deflaters one thread uses, kept from band to band. Where a Huffman code
// for the band's bytes alone already takes half the raw size or more (noisy
// and photographic layers), matches would shorten it by a few percent at
// several times the cost, so the band is sent as literals. Elsewhere zlib's
// runs-only deflate (distance 1), which is as small as its level 6 on
// gradients at four times the speed, is used; where that shrinks the band to
// under half (flat colour, line art, text), the fastest level with matches
// is tried too and the smaller kept.
class BandDeflater {
 public:
  BandDeflater();
  ~BandDeflater();
  BandDeflater(const BandDeflater&) = delete;
  BandDeflater& operator=(const BandDeflater&) = delete;

  // Appends the deflated `data` to `out` (after its first `start` bytes),
  // ended by the final block or, when `last` is false, by an empty stored
  // block that leaves the stream open at a byte boundary.
  bool Deflate(const Bytes& data, bool last, std::size_t start, Bytes& out);

 private:
  static bool Run(z_stream& stream, const Bytes& data, bool last, std::size_t start, Bytes& out);

  LiteralDeflate literals_;
  z_stream runs_{};
  z_stream matches_{};
  Bytes other_;
  bool ready_ = false;
};

// One band of rows, filtered and deflated, as a whole IDAT chunk; `Adler` is
// the Adler-32 of its `Length` filtered bytes.
struct Band {
  Bytes Chunk;
  std::uint32_t Adler = 1;
  std::size_t Length = 0;
};

// Filters `rows` rows of `rowBytes` bytes (`rowAt(r)` gives each) with the
// Sub filter into `filtered` and deflates them as a band: the stream's first
// (behind the zlib header) when `first`, its last when `last`. Nothing when
// zlib fails.
std::optional<Band> MakeBand(const std::function<const std::uint8_t*(int r)>& rowAt, int rows,
                             std::size_t rowBytes, int channels, bool first, bool last,
                             BandDeflater& deflater, Bytes& filtered);

// Writes finished bands to the file in their order, whichever order they are
// finished in, and combines their Adler-32s. Not thread-safe: its callers
// hold a lock.
class BandOrder {
 public:
  BandOrder(QFile& file, int bandCount);

  // Keeps band `index` and writes it and every finished band behind it once
  // the bands ahead of it are written.
  void Put(int index, Band band);
  void Fail(const QString& error);

  int BandCount() const { return static_cast<int>(bands_.size()); }
  int Written() const { return written_; }
  bool Done() const { return !error_.isEmpty() || written_ == BandCount(); }
  // The Adler-32 of the whole filtered image, once every band is written.
  std::uint32_t Adler() const { return adler_; }
  const QString& Error() const { return error_; }

 private:
  QFile& file_;
  std::vector<std::optional<Band>> bands_;
  int written_ = 0;
  std::uint32_t adler_ = 1;
  QString error_;
};

// Writes `bytes` to `file`; an error text, empty on success.
QString WriteBytes(QFile& file, const Bytes& bytes);

}  // namespace plymark::png
