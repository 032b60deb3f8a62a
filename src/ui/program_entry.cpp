#include "program_entry.h"

#include "kes_fmAbout.h"
#include "kes_fmMain.h"
#include "kes_fmPreferences.h"
#include "kes_fmReferences.h"
#include "kes_uSignalClose.h"

#include <QApplication>

#include <csignal>

int RunKestrava(std::unique_ptr<TkesUiServices> services) {
    // Installed before the window is built: loading may show a box, and a logout then must
    // still save.
    TkesSignalClose closeOnSignal(nullptr, {SIGTERM, SIGINT, SIGHUP});
    TfmMain fmMain(std::move(services));
    TfmPreferences fmPreferences(fmMain.Settings(), &fmMain);
    TfmReferences fmReferences(&fmMain);
    fmMain.SetPreferencesDialog(&fmPreferences);
    fmMain.SetReferencesWindow(&fmReferences);
    fmMain.ApplyBounds(fmMain.Config().Bounds);
    TfmAbout fmAbout(&fmMain);
    fmMain.SetAboutWindow(&fmAbout);

    if (TkesSignalClose::CloseRequested()) {
        fmMain.close(); // saves; the window was never shown
        return 0;
    }
    closeOnSignal.SetWindow(&fmMain);
    fmMain.show();
    return QApplication::exec();
}
