// The program entry: the application, then the window program.
#include "about_dialog.h"
#include "program_entry.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrava"));
    QApplication::setApplicationVersion(QString::fromLatin1(kestrava::ui::kKestravaVersion));
    // The desktop entry's name: a Wayland compositor finds the window's icon and name by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrava.Kestrava"));
    kestrava::ui::kesInitResources();
    QApplication::setWindowIcon(kestrava::ui::kestravaIcon());
    return kestrava::ui::runKestrava();
}
