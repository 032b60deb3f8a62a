// The program entry: the application, then the window program.
#include "about_dialog.h"
#include "program_entry.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrava"));
    QApplication::setApplicationVersion(QString::fromLatin1(kestrava::ui::kKestravaVersion));
    kestrava::ui::kesInitResources();
    QApplication::setWindowIcon(kestrava::ui::kestravaIcon());
    return kestrava::ui::runKestrava();
}
