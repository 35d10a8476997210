#pragma once

#include <QCommandLineParser>
#include <QString>
#include <string>

#include "app/frmMain.h"

namespace plymark {

// The desktop entry's name, which is also the application's id and its icon's name.
inline constexpr const char* kApplicationId = "io.github.plymark.Plymark";

// The viewer's command line: --help, --version and the FILE to open at start.
void AddViewerOptions(QCommandLineParser& parser);

// The path that Open reads for a FILE given on the command line: absolute, as
// the dialog gives it, and in the file system's encoding.
std::string CommandLineFilePath(const QString& argument);

// Runs the ordinary Open of `path` as soon as the event loop runs, so that the
// window is on screen before any message box of the Open.
void OpenWhenShown(frmMain& window, std::string path);

}  // namespace plymark
