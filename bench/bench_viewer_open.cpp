// Times the Open inside the running viewer: the window frmMain with its own
// tiles, a file chooser that answers FILE at once and message boxes that are
// recorded instead of waiting for a click. Each round clicks Open and then
// lets the window paint, so a round ends when the last tile is painted.
//
// Usage: bench_viewer_open [--repeat N] FILE   (QT_QPA_PLATFORM defaults to offscreen)

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/frmMain.h"
#include "platform/FileChooser.h"
#include "platform/MessageSink.h"
#include "platform/SystemFileSource.h"

namespace {

class AnsweringChooser final : public plymark::FileChooser {
 public:
  explicit AnsweringChooser(std::string path) : path_(std::move(path)) {}
  std::optional<std::string> ChooseFile() override { return path_; }

 private:
  std::string path_;
};

class RecordingSink final : public plymark::MessageSink {
 public:
  void ShowMessage(std::string_view) override {}
  void ShowOpenError(std::string_view text) override { error = text; }
  std::string error;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int repeat = 5;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if ((argument == "--repeat" || argument == "-n") && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else {
      path = argument;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "usage: bench_viewer_open [--repeat N] FILE\n");
    return 2;
  }

  QApplication application(argc, argv);
  plymark::SystemFileSource files;
  RecordingSink messages;
  AnsweringChooser chooser(path);
  plymark::frmMain window(files, messages, chooser);
  window.show();
  QApplication::processEvents();

  std::vector<double> opens;
  std::vector<double> paints;
  for (int round = 0; round < repeat; ++round) {
    QElapsedTimer clock;
    clock.start();
    window.cmdOpen_Click();
    const qint64 opened = clock.nsecsElapsed();
    // The tiles repaint from the posted update requests.
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    const qint64 painted = clock.nsecsElapsed();
    if (!messages.error.empty()) {
      std::fprintf(stderr, "bench_viewer_open: %s\n", messages.error.c_str());
      return 1;
    }
    opens.push_back(static_cast<double>(opened) / 1e6);
    paints.push_back(static_cast<double>(painted - opened) / 1e6);
    std::printf("round %d: click %.1f ms, tiles painted %.1f ms later, total %.1f ms\n", round + 1,
                opens.back(), paints.back(), static_cast<double>(painted) / 1e6);
  }
  std::printf("%s: first Open %.1f ms; median of %d: click %.1f ms + painting %.1f ms\n",
              path.c_str(), opens.front() + paints.front(), repeat, Median(opens), Median(paints));
  return 0;
}
