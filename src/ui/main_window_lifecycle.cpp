// Start-up and shut-down of the main window: first activation (the start-up mode), bounds,
// resizing, closing (commit the focused box) and destroying (save histories and settings),
// the Preferences dialog, and the Help menu.
#include "main_window.h"

#include "qt_text.h"

#include "about_dialog.h"
#include "config/config_paths.h"
#include "preferences_dialog.h"
#include "references_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

namespace kestrava::ui {

namespace {

util::Mode startupMode(config::InitialMode choice, util::Mode lastMode) {
    switch (choice) {
    case config::InitialMode::LastUsed:
        return lastMode >= util::Mode::Find && lastMode <= util::Mode::ViewFoldersFiles
                   ? lastMode
                   : util::Mode::Find;
    case config::InitialMode::Replace:
        return util::Mode::FindAndReplace;
    case config::InitialMode::Script:
        return util::Mode::Script;
    case config::InitialMode::ViewFoldersFiles:
        return util::Mode::ViewFoldersFiles;
    default:
        return util::Mode::Find;
    }
}

} // namespace

QRect fitBoundsToScreens(const config::WindowBounds& bounds, const std::vector<QRect>& screens) {
    if (bounds.height < 1 || bounds.width < 1)
        return {};
    for (const QRect& screen : screens) {
        // A side larger than the screen is cut to it and starts at the screen's edge: a huge
        // stored size must never become a huge window.
        QRect window(bounds.left, bounds.top, bounds.width, bounds.height);
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

void MainWindow::applyBounds(const config::WindowBounds& bounds) {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    const QRect fitted = fitBoundsToScreens(bounds, screens);
    if (fitted.isValid()) {
        setGeometry(fitted);
        return;
    }
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect area = primary != nullptr ? primary->availableGeometry() : QRect(0, 0, 1060, 748);
    const config::WindowBounds fallback = config::defaultFormBounds(area.width(), area.height());
    setGeometry(area.left() + fallback.left, area.top() + fallback.top, fallback.width,
                fallback.height);
}

void MainWindow::activateFirstTime() {
    if (m_activated)
        return;
    m_activated = true;
    setGridContent(m_mode == util::Mode::Script ? GridContent::Script : GridContent::Empty);
    if (settings().initialMode == config::InitialMode::Script)
        setMode(util::Mode::Find);
    const util::Mode mode = startupMode(settings().initialMode, m_config.lastMode);
    setMode(mode);
    if (mode == util::Mode::Find || mode == util::Mode::ViewFoldersFiles)
        setBoxIndex(replaceCombo, -1);
    if (mode == util::Mode::ViewFoldersFiles)
        setBoxIndex(findCombo, -1);
}

void MainWindow::commitFocusedBox() {
    QWidget* focused = focusWidget();
    for (QComboBox* box : {foldersCombo, filesCombo, findCombo, replaceCombo}) {
        if (focused == box || focused == box->lineEdit()) {
            commitBox(box); // the close goes ahead even when the value is refused
            return;
        }
    }
}

void MainWindow::saveOnClose() {
    if (m_destroyed)
        return;
    m_destroyed = true;
    stopRunAndWait();
    const QRect placed = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    m_config.bounds = {placed.top(), placed.left(), placed.height(), placed.width()};
    m_config.lastMode = m_mode;
    // Both files are attempted, so a failure to write one never costs the other; a file that
    // could not be read at start-up is moved aside first, never written over.
    QStringList failures;
    const auto save = [&failures](const std::string& path, std::string& damaged, auto write) {
        try {
            if (!damaged.empty())
                config::keepDamagedFile(path, damaged);
            damaged.clear();
            write();
        } catch (const std::exception& e) {
            failures << toQString(e.what());
        }
    };
    const std::string historyPath = config::historyFilePath(m_settingsFolder);
    save(historyPath, m_damagedHistory, [&] { config::saveHistory(historyPath, historyBoxes()); });
    const std::string configPath = config::configFilePath(m_settingsFolder);
    save(configPath, m_damagedConfig, [&] { config::saveConfig(configPath, m_config); });
    failures.removeDuplicates(); // both files in one unwritable folder fail alike
    if (!failures.isEmpty())
        m_services->showError(this, QStringLiteral("Unable to save the settings:\r\n") +
                                        failures.join(QStringLiteral("\r\n")));
}

void MainWindow::editPreferences() {
    if (m_preferences != nullptr)
        m_preferences->exec();
    // Whatever the answer, so the window always matches the setting in force.
    applyFontSize(settings().fontSize);
    if (m_references != nullptr)
        m_references->applyFontSize(settings().currentPointSize);
}

void MainWindow::openQuickStartGuide() {
    const QString path = quickStartFilePath();
    if (path.isEmpty() || !m_services->openDocument(path.toStdString()))
        m_services->showError(this, QStringLiteral("Unable to open the Quick Start Guide") +
                                        (path.isEmpty() ? QString() : QStringLiteral(": ") + path));
}

void MainWindow::showVersion() {
    m_services->showMessage(this, QStringLiteral("Installed version: Kestrava v") +
                                      QString::fromLatin1(kKestravaVersion));
}

void MainWindow::showReferences() {
    if (m_references == nullptr)
        return;
    m_references->show();
    m_references->raise();
    m_references->activateWindow();
}

void MainWindow::showAbout() {
    if (m_about != nullptr)
        m_about->exec();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    activateFirstTime();
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        activateFirstTime();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    fitToSize();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!m_destroyed) {
        commitFocusedBox();
        saveOnClose();
    }
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == criteriaPanel && event->type() == QEvent::Resize) {
        placeControls();
        return false;
    }
    if (watched == scriptBar && event->type() == QEvent::Resize) {
        placeScriptBar(); // it gets its width only once it is shown in the layout
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
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && !m_destroyed)
            commitBox(box);
    } else if (event->type() == QEvent::KeyRelease) {
        criteriaKeyReleased();
    }
    return false;
}

} // namespace kestrava::ui
