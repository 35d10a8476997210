#include "tools/PngWriter.h"

#include <libdeflate.h>
#include <zlib.h>

#include <QFile>
#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "tools/LiteralDeflate.h"

namespace plymark {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Filtered bytes per band: small enough that a band's buffers stay in the
// caches' reach and that the bands of one layer keep every core busy, large
// enough that a band's own deflate stream loses nothing against one stream.
constexpr std::size_t kBandBytes = std::size_t{1} << 20;
// Rows longer than this are refused, so that a band always fits zlib's
// 32-bit counts.
constexpr std::size_t kMostRowBytes = std::size_t{1} << 30;
// The PNG filter type every row gets: Sub (each byte minus the same channel of
// the pixel to its left). Measured on noisy, smooth and photographic layers
// it deflates smallest of the five with runs-only deflate, and costs one pass.
constexpr std::uint8_t kFilterSub = 1;
// zlib header: deflate with a 32 KiB window, the fastest level, no dictionary.
constexpr std::array<std::uint8_t, 2> kZlibHeader{0x78, 0x01};

void PutU32(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 24);
  at[1] = static_cast<std::uint8_t>(value >> 16);
  at[2] = static_cast<std::uint8_t>(value >> 8);
  at[3] = static_cast<std::uint8_t>(value);
}

// A chunk: length, type, data, CRC of type and data.
Bytes Chunk(const char (&type)[5], const std::uint8_t* data, std::size_t size) {
  Bytes chunk(12 + size);
  PutU32(chunk.data(), static_cast<std::uint32_t>(size));
  std::memcpy(chunk.data() + 4, type, 4);
  if (size > 0) std::memcpy(chunk.data() + 8, data, size);
  PutU32(chunk.data() + 8 + size, libdeflate_crc32(0, chunk.data() + 4, 4 + size));
  return chunk;
}

std::uint8_t ColourType(int channels) {
  switch (channels) {
    case 1:
      return 0;  // gray
    case 2:
      return 4;  // gray and alpha
    case 3:
      return 2;  // RGB
    default:
      return 6;  // RGBA
  }
}

Bytes SignatureAndHeader(const PngImage& image) {
  static constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P',  'N',  'G',
                                                          '\r', '\n', 0x1A, '\n'};
  std::array<std::uint8_t, 13> header{};
  PutU32(header.data(), static_cast<std::uint32_t>(image.Width));
  PutU32(header.data() + 4, static_cast<std::uint32_t>(image.Height));
  header[8] = 8;  // bits per channel
  header[9] = ColourType(image.Channels);
  // compression 0 (deflate), filter method 0, no interlace
  Bytes bytes(kSignature.begin(), kSignature.end());
  const Bytes ihdr = Chunk("IHDR", header.data(), header.size());
  bytes.insert(bytes.end(), ihdr.begin(), ihdr.end());
  return bytes;
}

// One band of rows, filtered and deflated, as a whole IDAT chunk; `Adler` is
// the Adler-32 of its `Length` filtered bytes.
struct Band {
  Bytes Chunk;
  std::uint32_t Adler = 1;
  std::size_t Length = 0;
};

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
  BandDeflater() {
    ready_ = deflateInit2(&runs_, 1, Z_DEFLATED, -15, 8, Z_RLE) == Z_OK;
    ready_ = deflateInit2(&matches_, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK && ready_;
  }
  ~BandDeflater() {
    deflateEnd(&runs_);
    deflateEnd(&matches_);
  }
  BandDeflater(const BandDeflater&) = delete;
  BandDeflater& operator=(const BandDeflater&) = delete;

  // Appends the deflated `data` to `out` (after its first `start` bytes),
  // ended by the final block or, when `last` is false, by an empty stored
  // block that leaves the stream open at a byte boundary.
  bool Deflate(const Bytes& data, bool last, std::size_t start, Bytes& out) {
    if (literals_.Plan(data.data(), data.size()) >= data.size() / 2) {
      out.resize(start);
      literals_.Append(data.data(), data.size(), last, out);
      return true;
    }
    if (!ready_ || !Run(runs_, data, last, start, out)) return false;
    if (out.size() - start >= data.size() / 2) return true;
    if (!Run(matches_, data, last, start, other_)) return false;
    if (other_.size() < out.size()) {
      std::memcpy(other_.data(), out.data(), start);
      out.swap(other_);
    }
    return true;
  }

 private:
  static bool Run(z_stream& stream, const Bytes& data, bool last, std::size_t start, Bytes& out) {
    if (deflateReset(&stream) != Z_OK) return false;
    // The bound holds for a finished stream; a flushed one adds at most an
    // empty stored block.
    out.resize(start + deflateBound(&stream, static_cast<uLong>(data.size())) + 16);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data() + start;
    stream.avail_out = static_cast<uInt>(out.size() - start);
    const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool done = last ? result == Z_STREAM_END
                           : result == Z_OK && stream.avail_in == 0 && stream.avail_out > 0;
    out.resize(start + stream.total_out);
    return done;
  }

  LiteralDeflate literals_;
  z_stream runs_{};
  z_stream matches_{};
  Bytes other_;
  bool ready_ = false;
};

// Writes the bands of one image in order while several threads make them:
// each thread takes the next band, and whoever finishes the band that is due
// writes it and every finished one after it. At most `window` bands are made
// ahead of the writing, which bounds the memory to a few bands per thread.
class BandWriter {
 public:
  BandWriter(const PngImage& image, QFile& file, int threads)
      : image_(image),
        file_(file),
        rowBytes_(static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Channels)),
        bandRows_(static_cast<int>(std::max<std::size_t>(1, kBandBytes / (rowBytes_ + 1)))),
        bandCount_((image.Height + bandRows_ - 1) / bandRows_),
        window_(2 * threads),
        bands_(static_cast<std::size_t>(bandCount_)) {}

  int BandCount() const { return bandCount_; }

  void Work() {
    try {
      BandDeflater deflater;
      Bytes scratch(rowBytes_);
      Bytes filtered;
      for (;;) {
        int band = 0;
        {
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [&] { return Stopped() || next_ < written_ + window_; });
          if (Stopped()) return;
          band = next_++;
        }
        std::optional<Band> made = Make(band, deflater, scratch, filtered);
        std::lock_guard lock(mutex_);
        if (!made) {
          Fail(QStringLiteral("cannot deflate the rows"));
        } else {
          bands_[static_cast<std::size_t>(band)] = std::move(made);
          WriteDue();
        }
        changed_.notify_all();
      }
    } catch (const std::bad_alloc&) {
      std::lock_guard lock(mutex_);
      Fail(QStringLiteral("out of memory"));
      changed_.notify_all();
    }
  }

  // The Adler-32 of the whole filtered image; valid once every band is written.
  std::uint32_t Adler() const { return adler_; }
  const QString& Error() const { return error_; }

 private:
  bool Stopped() const { return !error_.isEmpty() || next_ >= bandCount_; }

  void Fail(const QString& error) {
    if (error_.isEmpty()) error_ = error;
  }

  std::optional<Band> Make(int band, BandDeflater& deflater, Bytes& scratch, Bytes& filtered) {
    const int first = band * bandRows_;
    const int rows = std::min(bandRows_, image_.Height - first);
    const auto bytesPerPixel = static_cast<std::size_t>(image_.Channels);
    filtered.resize(static_cast<std::size_t>(rows) * (rowBytes_ + 1));
    for (int r = 0; r < rows; ++r) {
      const std::uint8_t* row = image_.Row(first + r, scratch.data());
      std::uint8_t* out = filtered.data() + static_cast<std::size_t>(r) * (rowBytes_ + 1);
      out[0] = kFilterSub;
      std::memcpy(out + 1, row, bytesPerPixel);
      for (std::size_t x = bytesPerPixel; x < rowBytes_; ++x) {
        out[1 + x] = static_cast<std::uint8_t>(row[x] - row[x - bytesPerPixel]);
      }
    }
    Band made;
    made.Length = filtered.size();
    made.Adler = libdeflate_adler32(1, filtered.data(), filtered.size());
    const std::size_t start = 8 + (band == 0 ? kZlibHeader.size() : 0);
    if (!deflater.Deflate(filtered, band + 1 == bandCount_, start, made.Chunk)) return {};
    const std::size_t data = made.Chunk.size() - 8;
    PutU32(made.Chunk.data(), static_cast<std::uint32_t>(data));
    std::memcpy(made.Chunk.data() + 4, "IDAT", 4);
    if (band == 0) std::memcpy(made.Chunk.data() + 8, kZlibHeader.data(), kZlibHeader.size());
    made.Chunk.resize(made.Chunk.size() + 4);
    PutU32(made.Chunk.data() + 8 + data, libdeflate_crc32(0, made.Chunk.data() + 4, 4 + data));
    return made;
  }

  // Called with the lock held.
  void WriteDue() {
    while (error_.isEmpty() && written_ < bandCount_ &&
           bands_[static_cast<std::size_t>(written_)]) {
      std::optional<Band>& band = bands_[static_cast<std::size_t>(written_)];
      const auto size = static_cast<qint64>(band->Chunk.size());
      if (file_.write(reinterpret_cast<const char*>(band->Chunk.data()), size) != size) {
        Fail(QStringLiteral("cannot write %1: %2").arg(file_.fileName(), file_.errorString()));
        return;
      }
      adler_ = static_cast<std::uint32_t>(
          adler32_combine(adler_, band->Adler, static_cast<z_off_t>(band->Length)));
      band.reset();
      ++written_;
    }
  }

  const PngImage& image_;
  QFile& file_;
  const std::size_t rowBytes_;
  const int bandRows_;
  const int bandCount_;
  const int window_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::optional<Band>> bands_;
  int next_ = 0;
  int written_ = 0;
  std::uint32_t adler_ = 1;
  QString error_;
};

QString WriteBytes(QFile& file, const Bytes& bytes) {
  const auto size = static_cast<qint64>(bytes.size());
  if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
    return QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
  }
  return {};
}

}  // namespace

PngImage PngImageOf(const QImage& image) {
  PngImage png;
  png.Width = image.width();
  png.Height = image.height();
  switch (image.format()) {
    case QImage::Format_RGB32:
      png.Channels = 3;
      png.Row = [image](int y, std::uint8_t* scratch) -> const std::uint8_t* {
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* out = scratch;
        for (int x = 0, width = image.width(); x < width; ++x, out += 3) {
          out[0] = static_cast<std::uint8_t>(qRed(pixels[x]));
          out[1] = static_cast<std::uint8_t>(qGreen(pixels[x]));
          out[2] = static_cast<std::uint8_t>(qBlue(pixels[x]));
        }
        return scratch;
      };
      return png;
    case QImage::Format_ARGB32:
      png.Channels = 4;
      png.Row = [image](int y, std::uint8_t* scratch) -> const std::uint8_t* {
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::uint8_t* out = scratch;
        for (int x = 0, width = image.width(); x < width; ++x, out += 4) {
          out[0] = static_cast<std::uint8_t>(qRed(pixels[x]));
          out[1] = static_cast<std::uint8_t>(qGreen(pixels[x]));
          out[2] = static_cast<std::uint8_t>(qBlue(pixels[x]));
          out[3] = static_cast<std::uint8_t>(qAlpha(pixels[x]));
        }
        return scratch;
      };
      return png;
    case QImage::Format_Grayscale8:
      png.Channels = 1;
      png.Row = [image](int y, std::uint8_t*) { return image.constScanLine(y); };
      return png;
    default:
      if (image.isNull()) return png;
      if (image.isGrayscale() && !image.hasAlphaChannel()) {
        return PngImageOf(image.convertToFormat(QImage::Format_Grayscale8));
      }
      return PngImageOf(image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                      : QImage::Format_RGB32));
  }
}

PngImage PngImageOf(const QImage& image, std::vector<std::uint8_t> alpha) {
  if (image.format() != QImage::Format_RGB32 ||
      alpha.size() != static_cast<std::size_t>(image.width()) * image.height()) {
    return {};
  }
  PngImage png;
  png.Width = image.width();
  png.Height = image.height();
  png.Channels = 4;
  png.Row = [image, alpha = std::make_shared<const std::vector<std::uint8_t>>(std::move(alpha))](
                int y, std::uint8_t* scratch) -> const std::uint8_t* {
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    const std::size_t width = static_cast<std::size_t>(image.width());
    const std::uint8_t* alphaRow = alpha->data() + static_cast<std::size_t>(y) * width;
    std::uint8_t* out = scratch;
    for (std::size_t x = 0; x < width; ++x, out += 4) {
      out[0] = static_cast<std::uint8_t>(qRed(pixels[x]));
      out[1] = static_cast<std::uint8_t>(qGreen(pixels[x]));
      out[2] = static_cast<std::uint8_t>(qBlue(pixels[x]));
      out[3] = alphaRow[x];
    }
    return scratch;
  };
  return png;
}

QString WritePng(const QString& path, const PngImage& image, int threads) {
  if (image.Width <= 0 || image.Height <= 0 || image.Channels < 1 || image.Channels > 4 ||
      !image.Row) {
    return QStringLiteral("cannot write %1: the image has no pixels").arg(path);
  }
  if (static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Channels) >
      kMostRowBytes) {
    return QStringLiteral("cannot write %1: the image is too wide").arg(path);
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
  }
  if (QString error = WriteBytes(file, SignatureAndHeader(image)); !error.isEmpty()) return error;

  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  BandWriter bands(image, file, threads);
  threads = std::min(threads, bands.BandCount());
  std::vector<std::thread> helpers;
  for (int i = 1; i < threads; ++i) helpers.emplace_back([&bands] { bands.Work(); });
  bands.Work();
  for (std::thread& helper : helpers) helper.join();
  if (!bands.Error().isEmpty()) return bands.Error();

  // The zlib stream's Adler-32 closes the image data in a chunk of its own.
  std::array<std::uint8_t, 4> adler{};
  PutU32(adler.data(), bands.Adler());
  Bytes end = Chunk("IDAT", adler.data(), adler.size());
  const Bytes iend = Chunk("IEND", nullptr, 0);
  end.insert(end.end(), iend.begin(), iend.end());
  if (QString error = WriteBytes(file, end); !error.isEmpty()) return error;
  if (!file.flush()) return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
  return {};
}

QString WritePng(const QString& path, const QImage& image, int threads) {
  return WritePng(path, PngImageOf(image), threads);
}

}  // namespace plymark
