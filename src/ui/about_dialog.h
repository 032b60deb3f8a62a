// The About box (name, version, icon) and the program's shipped resources: the icon and the
// quick-start page, which is copied to disk once so the desktop's browser can open it.
#pragma once

#include "ui_services.h"

#include <QDialog>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace kestrava::ui {

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

// Registers the resources built into the window library; safe to call more than once.
void kesInitResources();

// The program's icon drawn at size x size pixels (transparent where the drawing is empty).
QPixmap kestravaPixmap(int size);

// The program's icon in the usual window-icon sizes.
QIcon kestravaIcon();

// A readable copy of the quick-start page on disk (in the user's cache folder, else the temporary
// folder), written the first time it is asked for; empty when no copy could be written.
QString quickStartFilePath();

// Help's Quick Start Guide and "What is latest version ?", through the window's services.
void openQuickStartGuide(UiServices& services, QWidget* parent);
void showInstalledVersion(UiServices& services, QWidget* parent);

// The version the About box and Help show.
inline constexpr const char* kKestravaVersion = KESTRAVA_VERSION;

} // namespace kestrava::ui
