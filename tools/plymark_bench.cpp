// plymark-bench: times the viewer's Open of PSD files without a window. Each
// file is opened through the same functions as the viewer's Open button, with
// the headless seams of plymark-export (the file read by the system file
// source, tiles held as QImages in memory), and the time of every stage, the
// throughput and the peak memory are printed.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/OpenWorkflow.h"
#include "platform/StageClock.h"
#include "platform/SystemFileSource.h"
#include "platform/qt/ImageTileSurface.h"
#include "tools/StderrMessageSink.h"

namespace {

constexpr const char* kProgram = "plymark-bench";
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

using Seconds = std::chrono::duration<double>;

// One Open of one file.
struct Run {
  plymark::StageClock Stages;
  Seconds Total{};
};

// What the file holds, from the last Open.
struct Extent {
  std::size_t FileBytes = 0;
  int Layers = 0;
  double Megapixels = 0;
  int BytesPerComponent = 1;
};

void PrintUsage() {
  std::fprintf(stderr,
               "usage: %s [--repeat N] FILE...\n"
               "Opens every FILE as the Plymark viewer does, without a window, N times (default\n"
               "1), and prints the median time of each stage, the throughput and the peak\n"
               "memory of the process.\n",
               kProgram);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Opens `path` once into a fresh document and fresh tiles, as a viewer that
// has just started would. Returns false, after saying why, if the Open failed.
bool OpenOnce(const std::string& path, Run& run, Extent& extent) {
  plymark::SystemFileSource files;
  plymark::StderrMessageSink messages(kProgram, true);
  // As in plymark-export, each layer's image is let go once it is painted.
  plymark::ImageTileSurface tiles([](int, const QImage&) {});
  plymark::DocumentState state;
  const auto start = std::chrono::steady_clock::now();
  const auto failure = plymark::OpenDocument(path, state, files, messages, tiles, &run.Stages);
  run.Total = std::chrono::steady_clock::now() - start;
  if (failure) {
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, path.c_str(), failure->Problem.c_str());
    return false;
  }
  extent.FileBytes = static_cast<std::size_t>(state.File.size());
  extent.Layers = state.LayerCount;
  double pixels = 0;
  for (const plymark::LayerRecord& layer : state.Layers) {
    pixels += std::abs(static_cast<double>(layer.Right) - layer.Left) *
              std::abs(static_cast<double>(layer.Bottom) - layer.Top);
  }
  extent.Megapixels = pixels / 1e6;
  extent.BytesPerComponent = std::max(1, state.Header.Depth / 8);
  return true;
}

void PrintLine(const char* name, double seconds, double totalSeconds) {
  std::printf("  %-32s %9.1f ms %5.1f %%\n", name, seconds * 1e3,
              totalSeconds > 0 ? 100 * seconds / totalSeconds : 0.0);
}

void PrintFigures(const std::string& path, const std::vector<Run>& runs, const Extent& extent) {
  static constexpr const char* kStageNames[plymark::kStageCount] = {
      "file read",
      "header, layer records, channels",
      "tile and pixel buffer set-up",
      "plane decoding",
      "painting",
  };
  std::vector<double> totals;
  for (const Run& run : runs) totals.push_back(run.Total.count());
  const double total = Median(totals);

  std::printf("%s: %zu bytes, %d layers, %.2f megapixels; median of %zu\n", path.c_str(),
              extent.FileBytes, extent.Layers, extent.Megapixels, runs.size());
  double staged = 0;
  double decoding = 0;
  for (std::size_t stage = 0; stage < plymark::kStageCount; ++stage) {
    std::vector<double> times;
    for (const Run& run : runs) times.push_back(Seconds(run.Stages.Spent[stage]).count());
    const double median = Median(times);
    staged += median;
    if (stage == static_cast<std::size_t>(plymark::Stage::PlaneDecoding)) decoding = median;
    PrintLine(kStageNames[stage], median, total);
  }
  PrintLine("other", std::max(0.0, total - staged), total);
  std::printf("  %-32s %9.1f ms   %.0f MB/s of file, %.0f megapixels/s\n", "total", total * 1e3,
              total > 0 ? static_cast<double>(extent.FileBytes) / 1e6 / total : 0.0,
              total > 0 ? extent.Megapixels / total : 0.0);
  // Three colour planes per pixel; the decoding of large layers runs on two
  // threads, and its time is summed over both.
  std::printf("  plane decoding: %.0f MB/s of decoded component bytes per thread\n",
              decoding > 0 ? 3 * extent.Megapixels * extent.BytesPerComponent / decoding : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 1;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-h" || argument == "--help") {
      PrintUsage();
      return 0;
    }
    if (argument == "--repeat" || argument == "-n") {
      if (i + 1 >= argc || (repeat = std::atoi(argv[i + 1])) < 1) {
        std::fprintf(stderr, "%s: --repeat needs a count of at least 1\n", kProgram);
        return kExitUsage;
      }
      ++i;
      continue;
    }
    if (argument.rfind("--repeat=", 0) == 0) {
      if ((repeat = std::atoi(argument.c_str() + std::strlen("--repeat="))) < 1) {
        std::fprintf(stderr, "%s: --repeat needs a count of at least 1\n", kProgram);
        return kExitUsage;
      }
      continue;
    }
    paths.push_back(argument);
  }
  if (paths.empty()) {
    PrintUsage();
    return kExitUsage;
  }

  int status = 0;
  for (const std::string& path : paths) {
    std::vector<Run> runs(static_cast<std::size_t>(repeat));
    Extent extent;
    bool opened = true;
    for (Run& run : runs) {
      if (!(opened = OpenOnce(path, run, extent))) break;
    }
    if (!opened) {
      status = kExitFailure;
      continue;
    }
    PrintFigures(path, runs, extent);
  }

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024);
  return status;
}
