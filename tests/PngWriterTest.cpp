#include "tools/PngRowStream.h"
#include "tools/PngWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace plymark {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t U32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} << 24 | std::uint32_t{at[1]} << 16 | std::uint32_t{at[2]} << 8 |
         at[3];
}

// Rows of noise, or rows that mix noise, flat stretches and a ramp, so that
// bands take every way through the deflaters.
Bytes Pixels(int width, int height, int channels, bool noise = false) {
  Bytes pixels(static_cast<std::size_t>(width) * height * channels);
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    state = state * 1103515245u + 12345u;
    const std::size_t row = i / (static_cast<std::size_t>(width) * channels);
    pixels[i] = noise || row % 3 == 0 ? static_cast<std::uint8_t>(state >> 24)
                : row % 3 == 1        ? static_cast<std::uint8_t>(row)
                                      : static_cast<std::uint8_t>(i % 251);
  }
  return pixels;
}

// Reads back what WritePng wrote, checking every chunk's CRC and the zlib
// stream's Adler-32, and undoing the filters it uses; an empty result when
// anything is wrong.
Bytes ReadBack(const QString& path, int& width, int& height, int& colourType) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray all = file.readAll();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(all.constData());
  const auto size = static_cast<std::size_t>(all.size());
  if (size < 8 || QByteArray(all.constData(), 8) != QByteArray("\x89PNG\r\n\x1a\n", 8)) return {};
  Bytes stream;
  for (std::size_t at = 8; at + 12 <= size;) {
    const std::size_t length = U32(bytes + at);
    if (at + 12 + length > size) return {};
    if (crc32(0, bytes + at + 4, static_cast<uInt>(4 + length)) != U32(bytes + at + 8 + length)) {
      return {};
    }
    const QByteArray type(all.constData() + at + 4, 4);
    if (type == "IHDR") {
      width = static_cast<int>(U32(bytes + at + 8));
      height = static_cast<int>(U32(bytes + at + 12));
      colourType = bytes[at + 17];
    } else if (type == "IDAT") {
      stream.insert(stream.end(), bytes + at + 8, bytes + at + 8 + length);
    }
    at += 12 + length;
  }
  static constexpr int kChannels[7] = {1, 0, 3, 0, 2, 0, 4};
  const auto rowBytes = static_cast<std::size_t>(width) * kChannels[colourType];
  Bytes filtered(static_cast<std::size_t>(height) * (rowBytes + 1));
  uLongf filteredSize = static_cast<uLongf>(filtered.size());
  if (uncompress(filtered.data(), &filteredSize, stream.data(),
                 static_cast<uLong>(stream.size())) != Z_OK ||
      filteredSize != filtered.size()) {
    return {};
  }
  Bytes pixels;
  const std::size_t left = static_cast<std::size_t>(kChannels[colourType]);
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    const std::uint8_t* row = filtered.data() + y * (rowBytes + 1);
    if (row[0] > 1) return {};  // only None and Sub are expected
    for (std::size_t x = 0; x < rowBytes; ++x) {
      const std::size_t at = pixels.size();
      pixels.push_back(static_cast<std::uint8_t>(
          row[1 + x] + (row[0] == 1 && x >= left ? pixels[at - left] : 0)));
    }
  }
  return pixels;
}

struct Case {
  int Width;
  int Height;
  int Channels;
  int Threads;
  bool Noise = false;
};

class PngWriterTest : public ::testing::TestWithParam<Case> {};

TEST_P(PngWriterTest, ReadsBackAsTheSameBytes) {
  const Case c = GetParam();
  const Bytes pixels = Pixels(c.Width, c.Height, c.Channels, c.Noise);
  PngImage image;
  image.Width = c.Width;
  image.Height = c.Height;
  image.Channels = c.Channels;
  image.Row = [&](int y, std::uint8_t*) {
    return pixels.data() + static_cast<std::size_t>(y) * c.Width * c.Channels;
  };
  QTemporaryDir folder;
  const QString path = folder.filePath("image.png");
  ASSERT_EQ(WritePng(path, image, c.Threads), QString());
  int width = 0;
  int height = 0;
  int colourType = -1;
  EXPECT_EQ(ReadBack(path, width, height, colourType), pixels);
  EXPECT_EQ(width, c.Width);
  EXPECT_EQ(height, c.Height);
  static constexpr int kColourTypes[5] = {-1, 0, 4, 2, 6};
  EXPECT_EQ(colourType, kColourTypes[c.Channels]);

  // The same rows handed in one by one, as a render makes them.
  const QString streamed = folder.filePath("streamed.png");
  PngRowStream stream(streamed, c.Width, c.Height, c.Channels, c.Threads);
  const std::size_t rowBytes = static_cast<std::size_t>(c.Width) * c.Channels;
  for (int y = 0; y < c.Height; ++y) {
    std::uint8_t* row = stream.NextRow();
    ASSERT_NE(row, nullptr);
    std::copy_n(image.Row(y, nullptr), rowBytes, row);
  }
  EXPECT_EQ(stream.NextRow(), nullptr) << "no row beyond the height";
  ASSERT_EQ(stream.Finish(), QString());
  EXPECT_EQ(ReadBack(streamed, width, height, colourType), pixels);
}

TEST(PngRowStreamTest, FewerRowsThanTheHeightAreAnError) {
  QTemporaryDir folder;
  PngRowStream stream(folder.filePath("short.png"), 4, 3, 3);
  stream.NextRow();
  EXPECT_TRUE(stream.Finish().contains("1 of its 3 rows")) << "and nothing hangs";
}

// One band, one pixel, rows narrower than a pixel's left neighbour, and
// layers of several bands on more threads than bands or fewer; noise is sent
// as literals in blocks of their own code, the rest by zlib.
INSTANTIATE_TEST_SUITE_P(Sizes, PngWriterTest,
                         ::testing::Values(Case{1, 1, 3, 0}, Case{1, 1, 1, 1}, Case{7, 3, 2, 2},
                                           Case{1, 5000, 4, 4}, Case{1000, 900, 3, 2},
                                           Case{1000, 700, 4, 1}, Case{3001, 500, 1, 8},
                                           Case{640, 2000, 4, 3}, Case{1, 1, 4, 1, true},
                                           Case{50, 50, 1, 1, true}, Case{1000, 900, 3, 2, true},
                                           Case{4000, 300, 4, 3, true}));

TEST(PngWriterImageTest, QtReadsBackEveryFormatItIsGiven) {
  QTemporaryDir folder;
  for (const QImage::Format format :
       {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_Grayscale8,
        QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
    const Bytes noise = Pixels(900, 700, 4);
    QImage image(900, 700, format);
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const std::uint8_t* p = noise.data() + (static_cast<std::size_t>(y) * 900 + x) * 4;
        image.setPixel(x, y, qRgba(p[0], p[1], p[2], image.hasAlphaChannel() ? p[3] : 255));
      }
    }
    const QString path = folder.filePath(QStringLiteral("format-%1.png").arg(format));
    ASSERT_EQ(WritePng(path, image), QString()) << format;
    const QImage read(path);
    ASSERT_FALSE(read.isNull()) << format;
    EXPECT_EQ(read.convertToFormat(QImage::Format_ARGB32),
              image.convertToFormat(QImage::Format_ARGB32))
        << format;
  }
}

TEST(PngWriterImageTest, AnImageWithoutPixelsOrAFolderThatIsNotThereIsAnError) {
  QTemporaryDir folder;
  EXPECT_FALSE(WritePng(folder.filePath("empty.png"), QImage()).isEmpty());
  EXPECT_FALSE(
      WritePng(folder.filePath("missing/a.png"), QImage(2, 2, QImage::Format_RGB32)).isEmpty());
}

}  // namespace
}  // namespace plymark
