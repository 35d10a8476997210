#include "tools/ExportConsole.h"

#include <cstdio>

namespace plymark {

ExportConsole::ExportConsole(QString program, bool progressShown)
    : program_(std::move(program)), progressShown_(progressShown) {
  clock_.start();
}

ExportConsole::~ExportConsole() {
  ClearProgress();
}

void ExportConsole::PrintLine(const QString& text) {
  std::lock_guard lock(mutex_);
  ClearLocked();
  std::fprintf(stderr, "%s: %s\n", program_.toLocal8Bit().constData(),
               text.toLocal8Bit().constData());
}

void ExportConsole::ShowProgress(const QString& text) {
  if (!progressShown_ || clock_.elapsed() < 500) return;
  std::lock_guard lock(mutex_);
  shown_ = true;
  std::fprintf(stderr, "\r\033[K%s: %s", program_.toLocal8Bit().constData(),
               text.toLocal8Bit().constData());
  std::fflush(stderr);
}

void ExportConsole::ClearProgress() {
  std::lock_guard lock(mutex_);
  ClearLocked();
}

void ExportConsole::ClearLocked() {
  if (shown_) std::fprintf(stderr, "\r\033[K");
  shown_ = false;
}

void ConsoleNotices::Show(std::string_view text) const {
  if (quiet_) return;
  console_.PrintLine(prefix_ + QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace plymark
