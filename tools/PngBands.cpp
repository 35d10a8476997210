#include "tools/PngBands.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace plymark::png {
namespace {

// Filtered bytes per band: small enough that a band's buffers stay in the
// caches' reach and that the bands of one layer keep every core busy, large
// enough that a band's own deflate stream loses nothing against one stream.
constexpr std::size_t kBandBytes = std::size_t{1} << 20;
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

}  // namespace

int BandRows(std::size_t rowBytes) {
  return static_cast<int>(std::max<std::size_t>(1, kBandBytes / (rowBytes + 1)));
}

Bytes SignatureAndHeader(int width, int height, int channels) {
  static constexpr std::array<std::uint8_t, 8> kSignature{0x89, 'P',  'N',  'G',
                                                          '\r', '\n', 0x1A, '\n'};
  std::array<std::uint8_t, 13> header{};
  PutU32(header.data(), static_cast<std::uint32_t>(width));
  PutU32(header.data() + 4, static_cast<std::uint32_t>(height));
  header[8] = 8;  // bits per channel
  header[9] = ColourType(channels);
  // compression 0 (deflate), filter method 0, no interlace
  Bytes bytes(kSignature.begin(), kSignature.end());
  const Bytes ihdr = Chunk("IHDR", header.data(), header.size());
  bytes.insert(bytes.end(), ihdr.begin(), ihdr.end());
  return bytes;
}

Bytes EndChunks(std::uint32_t adler) {
  // The zlib stream's Adler-32 closes the image data in a chunk of its own.
  std::array<std::uint8_t, 4> bytes{};
  PutU32(bytes.data(), adler);
  Bytes end = Chunk("IDAT", bytes.data(), bytes.size());
  const Bytes iend = Chunk("IEND", nullptr, 0);
  end.insert(end.end(), iend.begin(), iend.end());
  return end;
}

BandDeflater::BandDeflater() {
  ready_ = deflateInit2(&runs_, 1, Z_DEFLATED, -15, 8, Z_RLE) == Z_OK;
  ready_ = deflateInit2(&matches_, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK && ready_;
}

BandDeflater::~BandDeflater() {
  deflateEnd(&runs_);
  deflateEnd(&matches_);
}

bool BandDeflater::Deflate(const Bytes& data, bool last, std::size_t start, Bytes& out) {
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

bool BandDeflater::Run(z_stream& stream, const Bytes& data, bool last, std::size_t start,
                       Bytes& out) {
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

std::optional<Band> MakeBand(const std::function<const std::uint8_t*(int r)>& rowAt, int rows,
                             std::size_t rowBytes, int channels, bool first, bool last,
                             BandDeflater& deflater, Bytes& filtered) {
  const auto bytesPerPixel = static_cast<std::size_t>(channels);
  filtered.resize(static_cast<std::size_t>(rows) * (rowBytes + 1));
  for (int r = 0; r < rows; ++r) {
    const std::uint8_t* row = rowAt(r);
    std::uint8_t* out = filtered.data() + static_cast<std::size_t>(r) * (rowBytes + 1);
    out[0] = kFilterSub;
    std::memcpy(out + 1, row, bytesPerPixel);
    for (std::size_t x = bytesPerPixel; x < rowBytes; ++x) {
      out[1 + x] = static_cast<std::uint8_t>(row[x] - row[x - bytesPerPixel]);
    }
  }
  Band made;
  made.Length = filtered.size();
  made.Adler = libdeflate_adler32(1, filtered.data(), filtered.size());
  const std::size_t start = 8 + (first ? kZlibHeader.size() : 0);
  if (!deflater.Deflate(filtered, last, start, made.Chunk)) return {};
  const std::size_t data = made.Chunk.size() - 8;
  PutU32(made.Chunk.data(), static_cast<std::uint32_t>(data));
  std::memcpy(made.Chunk.data() + 4, "IDAT", 4);
  if (first) std::memcpy(made.Chunk.data() + 8, kZlibHeader.data(), kZlibHeader.size());
  made.Chunk.resize(made.Chunk.size() + 4);
  PutU32(made.Chunk.data() + 8 + data, libdeflate_crc32(0, made.Chunk.data() + 4, 4 + data));
  return made;
}

BandOrder::BandOrder(QFile& file, int bandCount)
    : file_(file), bands_(static_cast<std::size_t>(std::max(0, bandCount))) {}

void BandOrder::Fail(const QString& error) {
  if (error_.isEmpty()) error_ = error;
}

void BandOrder::Put(int index, Band band) {
  if (!error_.isEmpty()) return;
  bands_[static_cast<std::size_t>(index)] = std::move(band);
  while (error_.isEmpty() && written_ < BandCount() && bands_[static_cast<std::size_t>(written_)]) {
    std::optional<Band>& due = bands_[static_cast<std::size_t>(written_)];
    const auto size = static_cast<qint64>(due->Chunk.size());
    if (file_.write(reinterpret_cast<const char*>(due->Chunk.data()), size) != size) {
      Fail(QStringLiteral("cannot write %1: %2").arg(file_.fileName(), file_.errorString()));
      return;
    }
    adler_ = static_cast<std::uint32_t>(
        adler32_combine(adler_, due->Adler, static_cast<z_off_t>(due->Length)));
    due.reset();
    ++written_;
  }
}

QString WriteBytes(QFile& file, const Bytes& bytes) {
  const auto size = static_cast<qint64>(bytes.size());
  if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
    return QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
  }
  return {};
}

}  // namespace plymark::png
