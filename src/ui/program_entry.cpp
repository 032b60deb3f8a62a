#include "program_entry.h"

#include "about_dialog.h"
#include "main_window.h"
#include "preferences_dialog.h"
#include "references_dialog.h"
#include "signal_close.h"

#include <QApplication>

#include <csignal>

namespace kestrava::ui {

int runKestrava(std::unique_ptr<UiServices> services, const QStringList& folders) {
    // Installed before the window is built: loading may show a box, and a logout then must
    // still save.
    SignalClose closeOnSignal(nullptr, {SIGTERM, SIGINT, SIGHUP});
    MainWindow fmMain(std::move(services));
    PreferencesDialog fmPreferences(fmMain.settings(), &fmMain);
    ReferencesDialog fmReferences(&fmMain);
    fmMain.setPreferencesDialog(&fmPreferences);
    fmMain.setReferencesWindow(&fmReferences);
    fmMain.applyBounds(fmMain.config().bounds);
    AboutDialog fmAbout(&fmMain);
    fmMain.setAboutWindow(&fmAbout);

    if (SignalClose::closeRequested()) {
        fmMain.close(); // saves; the window was never shown
        return 0;
    }
    closeOnSignal.setWindow(&fmMain);
    fmMain.show();
    fmMain.openPaths(folders); // after the first activation has chosen the mode and its boxes
    return QApplication::exec();
}

} // namespace kestrava::ui
