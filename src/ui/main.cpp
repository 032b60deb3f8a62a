// The program entry: the arguments, the application, then the window program.
#include "about_dialog.h"
#include "command_line.h"
#include "program_entry.h"

#include <QApplication>

#include <iostream>

int main(int argc, char* argv[]) {
    // Before the application: --help and --version must work without a display.
    kestrava::ui::CommandLine line =
        kestrava::ui::readCommandLine(argc, argv, std::cout, std::cerr);
    if (line.exitCode)
        return *line.exitCode;
    int qtArgc = static_cast<int>(line.qtArguments.size());
    line.qtArguments.push_back(nullptr); // argv ends with a null, as Qt expects
    QApplication app(qtArgc, line.qtArguments.data());
    QApplication::setApplicationName(QStringLiteral("Kestrava"));
    QApplication::setApplicationVersion(QString::fromLatin1(kestrava::ui::kKestravaVersion));
    // The desktop entry's name: a Wayland compositor finds the window's icon and name by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kestrava.Kestrava"));
    kestrava::ui::kesInitResources();
    QApplication::setWindowIcon(kestrava::ui::kestravaIcon());
    QStringList folders;
    for (const std::string& folder : line.folders)
        folders << QString::fromLocal8Bit(folder);
    return kestrava::ui::runKestrava(nullptr, folders);
}
