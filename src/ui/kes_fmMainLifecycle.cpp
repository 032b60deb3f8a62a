// Start-up and shut-down of the main window: first activation (the start-up mode), bounds,
// resizing, closing (commit the focused box) and destroying (save histories and settings),
// the Preferences dialog, and the Help menu.
#include "kes_fmMain.h"

#include "config/kes_uConfigPaths.h"
#include "kes_fmAbout.h"
#include "kes_fmPreferences.h"
#include "kes_fmReferences.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

kes::TkesMode StartupMode(kes::TInitialMode choice, kes::TkesMode lastMode) {
    switch (choice) {
    case kes::imLastUsed:
        return lastMode >= kes::mdFind && lastMode <= kes::mdViewFoldersFiles ? lastMode
                                                                              : kes::mdFind;
    case kes::imReplace:
        return kes::mdFindAndReplace;
    case kes::imScript:
        return kes::mdScript;
    case kes::imViewFoldersFiles:
        return kes::mdViewFoldersFiles;
    default:
        return kes::mdFind;
    }
}

} // namespace

QRect kes::FitBoundsToScreens(const TkesFormBounds& bounds, const std::vector<QRect>& screens) {
    if (bounds.Height < 1 || bounds.Width < 1)
        return {};
    for (const QRect& screen : screens) {
        // A side larger than the screen is cut to it and starts at the screen's edge: a huge
        // stored size must never become a huge window.
        QRect window(bounds.Left, bounds.Top, bounds.Width, bounds.Height);
        if (window.width() > screen.width())
            window.setRect(screen.left(), window.top(), screen.width(), window.height());
        if (window.height() > screen.height())
            window.setRect(window.left(), screen.top(), window.width(), screen.height());
        const QRect shared = window.intersected(screen);
        // The title bar must be on the screen and enough of the window to be grabbed.
        const bool topVisible = window.top() >= screen.top() && window.top() < screen.bottom() - 30;
        if (topVisible && shared.width() >= std::min(100, window.width()) &&
            shared.height() >= std::min(50, window.height()))
            return window;
    }
    return {};
}

void TfmMain::ApplyBounds(const kes::TkesFormBounds& bounds) {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    const QRect fitted = kes::FitBoundsToScreens(bounds, screens);
    if (fitted.isValid()) {
        setGeometry(fitted);
        return;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect area = primary != nullptr ? primary->availableGeometry() : QRect(0, 0, 1060, 748);
    const kes::TkesFormBounds fallback = kes::DefaultFormBounds(area.width(), area.height());
    setGeometry(area.left() + fallback.Left, area.top() + fallback.Top, fallback.Width,
                fallback.Height);
}

void TfmMain::FormActivate() {
    if (FActivated)
        return;
    FActivated = true;
    SetGridContent(FMode == kes::mdScript ? gcScript : gcEmpty);
    if (Settings().InitialMode == kes::imScript)
        SetMode(kes::mdFind);
    const kes::TkesMode mode = StartupMode(Settings().InitialMode, FConfig.LastMode);
    SetMode(mode);
    if (mode == kes::mdFind || mode == kes::mdViewFoldersFiles)
        SetBoxIndex(cboxReplace, -1);
    if (mode == kes::mdViewFoldersFiles)
        SetBoxIndex(cboxFind, -1);
}

void TfmMain::FormClose() {
    QWidget* focused = focusWidget();
    for (QComboBox* box : {cboxFolders, cboxFiles, cboxFind, cboxReplace}) {
        if (focused == box || focused == box->lineEdit()) {
            CommitBox(box); // the close goes ahead even when the value is refused
            return;
        }
    }
}

void TfmMain::FormDestroy() {
    if (FDestroyed)
        return;
    FDestroyed = true;
    StopRunAndWait();
    const QRect placed = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    FConfig.Bounds = {placed.top(), placed.left(), placed.height(), placed.width()};
    FConfig.LastMode = FMode;
    // Both files are attempted, so a failure to write one never costs the other; a file that
    // could not be read at start-up is moved aside first, never written over.
    QStringList failures;
    const auto save = [&failures](const std::string& path, std::string& damaged, auto write) {
        try {
            if (!damaged.empty())
                kes::KeepDamagedFile(path, damaged);
            damaged.clear();
            write();
        } catch (const std::exception& e) {
            failures << Q(e.what());
        }
    };
    const std::string historyPath = kes::HistoryFilePath(FSettingsFolder);
    save(historyPath, FDamagedHistory, [&] { kes::SaveHistory(historyPath, HistoryBoxes()); });
    const std::string configPath = kes::ConfigFilePath(FSettingsFolder);
    save(configPath, FDamagedConfig, [&] { kes::SaveConfig(configPath, FConfig); });
    failures.removeDuplicates(); // both files in one unwritable folder fail alike
    if (!failures.isEmpty())
        FServices->ShowError(this, QStringLiteral("Unable to save the settings:\r\n") +
                                       failures.join(QStringLiteral("\r\n")));
}

void TfmMain::mmFile_PreferencesClick() {
    if (FPreferences != nullptr)
        FPreferences->exec();
    // Whatever the answer, so the window always matches the setting in force.
    ApplyFontSize(Settings().FontSize);
    if (FReferences != nullptr)
        FReferences->ApplyFontSize(Settings().CurrentPointSize);
}

void TfmMain::mmHelp_QuickStartGuideClick() {
    const QString path = QuickStartFilePath();
    if (path.isEmpty() || !FServices->OpenDocument(path.toStdString()))
        FServices->ShowError(this, QStringLiteral("Unable to open the Quick Start Guide") +
                                       (path.isEmpty() ? QString() : QStringLiteral(": ") + path));
}

void TfmMain::mmHelp_LatestVersionClick() {
    FServices->ShowMessage(this, QStringLiteral("Installed version: Kestrava v") +
                                     QString::fromLatin1(kKestravaVersion));
}

void TfmMain::mmHelp_ReferencesClick() {
    if (FReferences == nullptr)
        return;
    FReferences->show();
    FReferences->raise();
    FReferences->activateWindow();
}

void TfmMain::mmHelp_AboutClick() {
    if (FAbout != nullptr)
        FAbout->exec();
}

void TfmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormActivate();
}

void TfmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TfmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfmMain::closeEvent(QCloseEvent* event) {
    if (!FDestroyed) {
        FormClose();
        FormDestroy();
    }
    event->accept();
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == paActionsSpecs && event->type() == QEvent::Resize) {
        PlaceControls();
        return false;
    }
    if (watched == paScriptMaintenance && event->type() == QEvent::Resize) {
        PlaceScriptBar(); // it gets its width only once it is shown in the layout
        return false;
    }
    auto* box = qobject_cast<QComboBox*>(watched);
    if (box == nullptr)
        box = qobject_cast<QComboBox*>(watched->parent());
    if (box == nullptr)
        return false;
    if (event->type() == QEvent::FocusOut && watched == box) {
        // Opening the box's own list or menu, or switching windows, is not leaving it.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && !FDestroyed)
            CommitBox(box);
    } else if (event->type() == QEvent::KeyRelease) {
        cboxKeyUp();
    }
    return false;
}
