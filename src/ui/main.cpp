// The program entry: the application, the main window, then the Preferences dialog and the
// references window, the saved bounds, the About window, and the event loop.
#include "kes_fmAbout.h"
#include "kes_fmMain.h"
#include "kes_fmPreferences.h"
#include "kes_fmReferences.h"
#include "kes_uSignalClose.h"

#include <QApplication>

#include <csignal>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrava"));
    QApplication::setApplicationVersion(QString::fromLatin1(kKestravaVersion));
    kesInitResources();
    QApplication::setWindowIcon(KestravaIcon());

    TfmMain fmMain;
    TfmPreferences fmPreferences(fmMain.Settings(), &fmMain);
    TfmReferences fmReferences(&fmMain);
    fmMain.SetPreferencesDialog(&fmPreferences);
    fmMain.SetReferencesWindow(&fmReferences);
    fmMain.ApplyBounds(fmMain.Config().Bounds);
    TfmAbout fmAbout(&fmMain);
    fmMain.SetAboutWindow(&fmAbout);

    TkesSignalClose closeOnSignal(&fmMain, {SIGTERM, SIGINT, SIGHUP});
    fmMain.show();
    return QApplication::exec();
}
