#include "tools/PngWriter.h"

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

#include "tools/PngBands.h"

namespace plymark {
namespace {

using png::Band;
using png::BandDeflater;
using png::Bytes;

// Writes the bands of one image in order while several threads make them:
// each thread takes the next band, and whoever finishes the band that is due
// writes it and every finished one after it. At most `window` bands are made
// ahead of the writing, which bounds the memory to a few bands per thread.
class BandWriter {
 public:
  BandWriter(const PngImage& image, QFile& file, int threads)
      : image_(image),
        rowBytes_(static_cast<std::size_t>(image.Width) * static_cast<std::size_t>(image.Channels)),
        bandRows_(png::BandRows(rowBytes_)),
        window_(2 * threads),
        order_(file, (image.Height + bandRows_ - 1) / bandRows_) {}

  int BandCount() const { return order_.BandCount(); }

  void Work() {
    try {
      BandDeflater deflater;
      Bytes scratch(rowBytes_);
      Bytes filtered;
      for (;;) {
        int band = 0;
        {
          std::unique_lock lock(mutex_);
          changed_.wait(lock, [&] { return Stopped() || next_ < order_.Written() + window_; });
          if (Stopped()) return;
          band = next_++;
        }
        const int first = band * bandRows_;
        std::optional<Band> made =
            png::MakeBand([&](int r) { return image_.Row(first + r, scratch.data()); },
                          std::min(bandRows_, image_.Height - first), rowBytes_, image_.Channels,
                          band == 0, band + 1 == BandCount(), deflater, filtered);
        std::lock_guard lock(mutex_);
        if (!made) {
          order_.Fail(QStringLiteral("cannot deflate the rows"));
        } else {
          order_.Put(band, std::move(*made));
        }
        changed_.notify_all();
      }
    } catch (const std::bad_alloc&) {
      std::lock_guard lock(mutex_);
      order_.Fail(QStringLiteral("out of memory"));
      changed_.notify_all();
    }
  }

  // Valid once every thread's Work has returned.
  const png::BandOrder& Order() const { return order_; }

 private:
  bool Stopped() const { return !order_.Error().isEmpty() || next_ >= BandCount(); }

  const PngImage& image_;
  const std::size_t rowBytes_;
  const int bandRows_;
  const int window_;
  std::mutex mutex_;
  std::condition_variable changed_;
  png::BandOrder order_;
  int next_ = 0;
};

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

PngImage PngImageOf(const QImage& image, const QImage& alpha) {
  if (image.format() != QImage::Format_RGB32 || alpha.format() != QImage::Format_Grayscale8 ||
      alpha.size() != image.size()) {
    return {};
  }
  PngImage png;
  png.Width = image.width();
  png.Height = image.height();
  png.Channels = 4;
  png.Row = [image, alpha](int y, std::uint8_t* scratch) -> const std::uint8_t* {
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    const std::uint8_t* alphaRow = alpha.constScanLine(y);
    std::uint8_t* out = scratch;
    for (int x = 0, width = image.width(); x < width; ++x, out += 4) {
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
      png::kMostRowBytes) {
    return QStringLiteral("cannot write %1: the image is too wide").arg(path);
  }
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
  }
  if (QString error =
          png::WriteBytes(file, png::SignatureAndHeader(image.Width, image.Height, image.Channels));
      !error.isEmpty()) {
    return error;
  }

  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  BandWriter bands(image, file, threads);
  threads = std::min(threads, bands.BandCount());
  std::vector<std::thread> helpers;
  for (int i = 1; i < threads; ++i) helpers.emplace_back([&bands] { bands.Work(); });
  bands.Work();
  for (std::thread& helper : helpers) helper.join();
  if (!bands.Order().Error().isEmpty()) return bands.Order().Error();
  if (QString error = png::WriteBytes(file, png::EndChunks(bands.Order().Adler()));
      !error.isEmpty()) {
    return error;
  }
  if (!file.flush()) return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
  return {};
}

QString WritePng(const QString& path, const QImage& image, int threads) {
  return WritePng(path, PngImageOf(image), threads);
}

}  // namespace plymark
