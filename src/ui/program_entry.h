// The window program's life from a running QApplication: the main window, then the Preferences
// dialog and the references window, the saved bounds, the About window, signal handling and the
// event loop. main() only makes the application; tests drive this with Qt's boxes.
#pragma once

#include "ui_services.h"

#include <QStringList>

#include <memory>

namespace kestrava::ui {

// Runs the program to its end and returns the exit code; the window opens on the absolute
// folders given, if any. A SIGTERM, SIGINT or SIGHUP at any point, even while the window is
// being built or a box is open, saves and ends it.
int runKestrava(std::unique_ptr<UiServices> services = nullptr, const QStringList& folders = {});

} // namespace kestrava::ui
