#pragma once

// Runs the plymark-export tool as a user would, for the tool's tests.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace plymark::test {

struct ExportRun {
  int ExitCode = -1;
  QString Output;  ///< standard output
  QString Errors;  ///< standard error
};

inline ExportRun RunExport(const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral(PLYMARK_EXPORT_PATH), arguments);
  process.waitForFinished(120000);
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

}  // namespace plymark::test
