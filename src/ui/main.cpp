// The program entry: the application, then the window program.
#include "kes_fmAbout.h"
#include "program_entry.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrava"));
    QApplication::setApplicationVersion(QString::fromLatin1(kKestravaVersion));
    kesInitResources();
    QApplication::setWindowIcon(KestravaIcon());
    return RunKestrava();
}
