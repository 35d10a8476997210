#pragma once

#include <QElapsedTimer>
#include <QString>
#include <mutex>
#include <string>
#include <string_view>

namespace plymark {

// Standard error of plymark-export, shared by the threads that read files and
// write images: whole lines "<program>: TEXT", and on a terminal a progress
// line that each whole line first clears.
class ExportConsole {
 public:
  ExportConsole(QString program, bool progressShown);
  ~ExportConsole();
  ExportConsole(const ExportConsole&) = delete;
  ExportConsole& operator=(const ExportConsole&) = delete;

  void PrintLine(const QString& text);
  // Replaces the progress line, once the work has taken more than a moment.
  void ShowProgress(const QString& text);
  void ClearProgress();

 private:
  void ClearLocked();

  const QString program_;
  const bool progressShown_;
  std::mutex mutex_;
  QElapsedTimer clock_;
  bool shown_ = false;
};

// The boxes the viewer would show, as lines "<program>: PREFIX TEXT"; quiet
// notices are dropped.
class ConsoleNotices {
 public:
  ConsoleNotices(ExportConsole& console, QString prefix, bool quiet)
      : console_(console), prefix_(std::move(prefix)), quiet_(quiet) {}
  void Show(std::string_view text) const;

 private:
  ExportConsole& console_;
  QString prefix_;
  bool quiet_;
};

}  // namespace plymark
