// render_probe: draws PSD files from their layers (RenderDocument) and
// measures how far the drawing lies from the maker's merged image: both
// flattened over white, 8-bit sRGB, CIEDE2000 per pixel. One line per file:
//
//   FILE  STATUS  MEAN  P95  MAX  SECONDS  MEGAPIXELS/S  OMISSIONS  PROCESSOR-SECONDS
//
// STATUS is pass (mean <= 1 and 95th percentile <= 2.3), fail, nomerged (no
// merged image to compare with) or error. With --png DIR the drawing is
// written as DIR/<name>.png, with --omissions each omission is printed.
// --repeat N draws each file N times without comparing and prints the
// medians. --records-only reads the records without the viewer's layer loop,
// so that the peak memory printed at the end is the render's own.
//
// Usage: render_probe [--png DIR] [--omissions] [--repeat N] [--budget BYTES]
//                     [--records-only] FILE...

#include <sys/resource.h>
#include <time.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/ColourProfile.h"
#include "app/OpenWorkflow.h"
#include "app/ReadMergedImage.h"
#include "compose/RenderDocument.h"
#include "platform/MemoryTileSurface.h"
#include "platform/MessageSink.h"
#include "platform/SystemFileSource.h"
#include "psd/ChannelData.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"
#include "render/ColourManagement.h"
#include "render/ColourModes.h"
#include "render/DeepSamples.h"
#include "tests/support/Ciede2000.h"

namespace {

using namespace plymark;

class Quiet final : public MessageSink {
 public:
  void ShowMessage(std::string_view) override {}
  void ShowOpenError(std::string_view) override {}
};

// Turns the bands into 8-bit sRGB words as simply as the comparison needs:
// through the document's colour profile or the layers' own conversion.
class PictureSink final : public RenderSink {
 public:
  PictureSink(const DocumentState& state, bool keep)
      : state_(state), keep_(keep), width_(state.Header.Columns) {
    if (keep_) picture_.assign(static_cast<std::size_t>(width_) * state.Header.Rows, 0);
  }

  void TakeBand(const RenderedBand& band) override {
    ++bands_;
    if (!keep_) return;
    const auto width = static_cast<std::size_t>(band.Width);
    const int depth = state_.Header.Depth;
    const DocumentColour* conversion = state_.Colour.get();
    const bool wide = conversion != nullptr && conversion->InputDepth() == 16;
    const ColourModel model = ModelOfColorMode(state_.Header.ColorMode);
    std::vector<PixelRecord> pixels(width), black(width);
    for (std::int32_t row = 0; row < band.Rows; ++row) {
      const std::size_t at = static_cast<std::size_t>(row) * width;
      for (std::size_t x = 0; x < width; ++x) {
        std::int16_t values[4] = {0, 0, 0, 0};
        for (int c = 0; c < band.ColourChannels; ++c) {
          const float v = band.Colour[static_cast<std::size_t>(c)][at + x];
          if (depth == 32) {
            values[c] = ComponentOfFloatSample(v);
          } else if (wide) {
            values[c] = static_cast<std::int16_t>(
                static_cast<std::uint16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 65535.0f)));
          } else {
            values[c] = static_cast<std::int16_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
          }
        }
        if (band.ColourChannels == 1) values[1] = values[2] = values[0];
        pixels[x] = {values[0], values[1], values[2]};
        black[x] = {values[3], 0, 0};
      }
      if (conversion != nullptr && depth != 32) {
        conversion->Convert(
            pixels, model == ColourModel::Cmyk ? std::span(black) : std::span<PixelRecord>());
      } else if (depth != 32) {
        ConvertToRgb(model, pixels, black, state_.ColorTable);
      }
      std::uint32_t* out = picture_.data() + static_cast<std::size_t>(band.Top + row) * width;
      for (std::size_t x = 0; x < width; ++x) {
        const auto alpha = static_cast<std::uint32_t>(
            std::lround(std::clamp(band.Alpha[at + x], 0.0f, 1.0f) * 255.0f));
        out[x] = (alpha << 24) | (static_cast<std::uint32_t>(pixels[x].Red & 0xff) << 16) |
                 (static_cast<std::uint32_t>(pixels[x].Green & 0xff) << 8) |
                 static_cast<std::uint32_t>(pixels[x].Blue & 0xff);
      }
    }
  }

  const std::vector<std::uint32_t>& Picture() const { return picture_; }
  int Bands() const { return bands_; }

 private:
  const DocumentState& state_;
  bool keep_;
  std::int32_t width_;
  std::vector<std::uint32_t> picture_;
  int bands_ = 0;
};

double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Opens `path` as the viewer does, or with `recordsOnly` reads the header,
// resources, records and channel blocks alone. Returns the failure, if any.
std::optional<std::string> Open(const std::string& path, bool recordsOnly, DocumentState& state) {
  SystemFileSource source;
  Quiet quiet;
  if (!recordsOnly) {
    MemoryTileSurface tiles(0);
    const auto failure = OpenDocument(path, state, source, quiet, tiles, nullptr, false);
    if (failure) return failure->Problem;
    return std::nullopt;
  }
  const OpenedFile opened = source.Open(path);
  if (!opened.File) return opened.Error;
  state.FileName = path;
  state.File = FileView(opened.File);
  try {
    if (const auto refusal = ReadFrontSections(state.File, state, quiet)) return refusal;
    ReadChannelData(state.File, state, ReadLayerRecords(state.File, state, quiet));
    SetUpColourProfile(state.File, state, quiet);
  } catch (const PsdError& error) {
    return std::string(error.what());
  }
  return std::nullopt;
}

// A word flattened over white, as 8-bit sRGB.
std::uint32_t OverWhite(std::uint32_t word) {
  const double alpha = (word >> 24) / 255.0;
  std::uint32_t out = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const double c = ((word >> shift) & 0xff) * alpha + 255.0 * (1.0 - alpha);
    out |= static_cast<std::uint32_t>(std::lround(c)) << shift;
  }
  return out;
}

struct Agreement {
  double Mean = 0, P95 = 0, Max = 0;
};

Agreement Compare(const std::vector<std::uint32_t>& drawn,
                  const std::vector<std::uint32_t>& merged) {
  std::vector<double> differences(drawn.size());
  for (std::size_t k = 0; k < drawn.size(); ++k) {
    const std::uint32_t a = OverWhite(drawn[k]);
    const std::uint32_t b = OverWhite(merged[k]);
    differences[k] = a == b ? 0.0 : test::Ciede2000(test::LabOfSrgb(a), test::LabOfSrgb(b));
  }
  Agreement agreement;
  if (differences.empty()) return agreement;
  double sum = 0;
  for (const double d : differences) sum += d;
  agreement.Mean = sum / static_cast<double>(differences.size());
  std::sort(differences.begin(), differences.end());
  agreement.P95 = differences[std::min(
      differences.size() - 1,
      static_cast<std::size_t>(0.95 * static_cast<double>(differences.size())))];
  agreement.Max = differences.back();
  return agreement;
}

}  // namespace

int main(int argc, char** argv) {
  std::string pngFolder;
  bool printOmissions = false;
  bool recordsOnly = false;
  int repeat = 1;
  RenderOptions options;
  std::vector<std::string> files;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--png" && k + 1 < argc) {
      pngFolder = argv[++k];
    } else if (arg == "--records-only") {
      recordsOnly = true;
    } else if (arg == "--omissions") {
      printOmissions = true;
    } else if (arg == "--repeat" && k + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++k]));
    } else if (arg == "--budget" && k + 1 < argc) {
      options.BandBudgetBytes = static_cast<std::size_t>(std::atoll(argv[++k]));
    } else {
      files.push_back(arg);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr,
                 "usage: render_probe [--png DIR] [--omissions] [--repeat N] [--budget BYTES] "
                 "[--records-only] FILE...\n");
    return 2;
  }
  const bool compare = repeat == 1;
  for (const std::string& path : files) {
    const std::string name = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    DocumentState state;
    if (const auto failure = Open(path, recordsOnly, state)) {
      std::printf("%s\terror\t-\t-\t-\t-\t-\topen: %s\n", name.c_str(), failure->c_str());
      continue;
    }
    std::vector<double> seconds;
    std::vector<double> processor;
    RenderResult result;
    PictureSink picture(state, compare);
    try {
      for (int run = 0; run < repeat; ++run) {
        PictureSink sink(state, compare);
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ProcessorSeconds();
        result = RenderDocument(state, compare ? picture : static_cast<RenderSink&>(sink), options);
        processor.push_back(ProcessorSeconds() - cpuStart);
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      }
    } catch (const PsdError& error) {
      std::printf("%s\terror\t-\t-\t-\t-\t-\trender: %s\n", name.c_str(), error.what());
      continue;
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(processor.begin(), processor.end());
    const double median = seconds[seconds.size() / 2];
    const double megapixels =
        static_cast<double>(state.Header.Columns) * state.Header.Rows / 1e6 / median;
    std::string status = "timed";
    Agreement agreement;
    MergedImageResult merged;
    if (compare) {
      merged = ReadMergedImage(state);
      if (!merged.Image || merged.Image->Pixels.size() != picture.Picture().size()) {
        status = "nomerged";
      } else {
        agreement = Compare(picture.Picture(), merged.Image->Pixels);
        status = agreement.Mean <= 1.0 && agreement.P95 <= 2.3 ? "pass" : "fail";
      }
      if (!pngFolder.empty()) {
        QDir().mkpath(QString::fromStdString(pngFolder));
        const QImage image(reinterpret_cast<const uchar*>(picture.Picture().data()),
                           state.Header.Columns, state.Header.Rows, QImage::Format_ARGB32);
        image.save(QString::fromStdString(pngFolder + "/" + name + ".png"));
        if (status != "nomerged") {
          QImage(reinterpret_cast<const uchar*>(merged.Image->Pixels.data()), state.Header.Columns,
                 state.Header.Rows, QImage::Format_ARGB32)
              .save(QString::fromStdString(pngFolder + "/" + name + ".merged.png"));
        }
      }
    }
    std::printf("%s\t%s\t%.3f\t%.3f\t%.2f\t%.4f\t%.1f\t%zu\t%.4f\n", name.c_str(), status.c_str(),
                agreement.Mean, agreement.P95, agreement.Max, median, megapixels,
                result.Omissions.size(), processor[processor.size() / 2]);
    if (printOmissions) {
      for (const std::string& omission : result.Omissions)
        std::printf("  - %s\n", omission.c_str());
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr, "peak memory %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}
