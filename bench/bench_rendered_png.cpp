// The output side of a render alone: noisy bands of a document drawn from its
// layers (4000 x 3000 by default) turned into sRGB rows (compose/RenderedRows)
// and written as rendered.png band by band (tools/PngRowStream), as
// plymark-export --render writes them. Prints the wall and processor time and
// the peak memory.
//
// Usage: bench_rendered_png [--repeat N] [--alpha] [--size WIDTHxHEIGHT] OUTPUT.png

#include <sys/resource.h>

#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "compose/RenderedRows.h"
#include "tools/PngRowStream.h"

namespace {

constexpr std::int32_t kBandRows = 64;

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 3;
  bool alpha = false;
  std::int32_t width = 4000;
  std::int32_t height = 3000;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--alpha") == 0) {
      alpha = true;
    } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      std::sscanf(argv[++i], "%dx%d", &width, &height);
    } else {
      output = argv[i];
    }
  }
  if (output == nullptr || width <= 0 || height <= 0) {
    std::fprintf(stderr, "usage: bench_rendered_png [--repeat N] [--alpha] [--size WxH] OUT.png\n");
    return 2;
  }
  plymark::DocumentState state;
  state.Header = {"8BPS", 1, static_cast<std::int16_t>(alpha ? 4 : 3), height, width, 8, 3};
  // Noise over a ramp, different in every plane, with partial coverage.
  const std::size_t planeSize = static_cast<std::size_t>(width) * kBandRows;
  std::vector<float> values(planeSize * 4);
  std::mt19937 random(42);
  for (std::size_t k = 0; k < values.size(); ++k) {
    const float ramp =
        static_cast<float>(k % static_cast<std::size_t>(width)) / static_cast<float>(width);
    values[k] = std::min(1.0f, 0.75f * ramp + static_cast<float>(random() % 64) / 255.0f);
  }
  plymark::RenderedBand band;
  band.Width = width;
  band.ColourChannels = 3;
  for (std::size_t c = 0; c < 3; ++c) band.Colour[c] = values.data() + c * planeSize;
  band.Alpha = values.data() + 3 * planeSize;

  std::vector<double> walls;
  std::vector<double> processors;
  for (int r = 0; r < repeat; ++r) {
    const auto started = std::chrono::steady_clock::now();
    const double processorStarted = ProcessorSeconds();
    plymark::RenderedRows rows(state);
    plymark::PngRowStream stream(QString::fromLocal8Bit(output), width, height, rows.Channels());
    for (std::int32_t top = 0; top < height; top += kBandRows) {
      band.Top = top;
      band.Rows = std::min(kBandRows, height - top);
      for (std::int32_t y = 0; y < band.Rows; ++y) {
        if (std::uint8_t* out = stream.NextRow()) rows.Bytes(band, y, out);
      }
    }
    if (const QString error = stream.Finish(); !error.isEmpty()) {
      std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
      return 1;
    }
    walls.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    processors.push_back(ProcessorSeconds() - processorStarted);
  }
  std::sort(walls.begin(), walls.end());
  std::sort(processors.begin(), processors.end());
  const double megapixels = static_cast<double>(width) * height / 1e6;
  std::printf(
      "%d x %d %s: %.3f s wall, %.3f s processor (medians of %d), %.0f megapixels/s, "
      "peak %.1f MiB\n",
      width, height, alpha ? "RGBA" : "RGB", walls[walls.size() / 2],
      processors[processors.size() / 2], repeat, megapixels / walls[walls.size() / 2],
      static_cast<double>(PeakKib()) / 1024.0);
  return 0;
}
