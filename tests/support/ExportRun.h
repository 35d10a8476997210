#pragma once

// Runs the command-line tools as a user would, for the tools' tests.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace plymark::test {

struct ExportRun {
  int ExitCode = -1;
  QString Output;  ///< standard output
  QString Errors;  ///< standard error
};

inline ExportRun RunProgram(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(120000);
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

inline ExportRun RunExport(const QStringList& arguments) {
  return RunProgram(QStringLiteral(PLYMARK_EXPORT_PATH), arguments);
}

}  // namespace plymark::test
