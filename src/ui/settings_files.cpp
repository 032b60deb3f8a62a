#include "settings_files.h"

#include "criteria_panel.h"
#include "qt_text.h"

#include "config/config_paths.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

namespace kestrava::ui {

namespace {

QRect primaryScreenArea() {
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary != nullptr ? primary->availableGeometry() : QRect(0, 0, 1060, 748);
}

} // namespace

SettingsFiles::SettingsFiles() : m_folder(config::settingsFolder(config::programFolder())) {}

QString SettingsFiles::loadSettings(config::Config& config) {
    const QRect screen = primaryScreenArea();
    const std::string path = config::configFilePath(m_folder);
    try {
        config::loadConfig(path, config::defaultScriptsFolder(config::programFolder()),
                           screen.width(), screen.height(), config);
    } catch (const std::exception& e) {
        m_damagedConfig = config::damagedFileName(path);
        return toQString(e.what()) + QStringLiteral("\r\nSettings file: ") + toQString(path) +
               QStringLiteral("\r\nThe defaults are in force; the file will be kept as ") +
               toQString(m_damagedConfig) + QStringLiteral(" when the settings are saved.");
    }
    return {};
}

QString SettingsFiles::loadHistories(CriteriaPanel& criteria) {
    const std::string path = config::historyFilePath(m_folder);
    try {
        criteria.loadHistories(
            [&path](const config::HistoryLoadCallbacks& load) { config::loadHistory(path, load); });
    } catch (const std::exception& e) {
        // What was loaded before the error stays; the file itself is kept for the user.
        m_damagedHistory = config::damagedFileName(path);
        return toQString(e.what()) + QStringLiteral("\r\nHistory file: ") + toQString(path) +
               QStringLiteral("\r\nWhat follows the error was not loaded; the file will be kept "
                              "as ") +
               toQString(m_damagedHistory) + QStringLiteral(" when the histories are saved.");
    }
    return {};
}

QString SettingsFiles::save(const config::HistoryBoxes& histories, const config::Config& config) {
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
    const std::string historyPath = config::historyFilePath(m_folder);
    save(historyPath, m_damagedHistory, [&] { config::saveHistory(historyPath, histories); });
    const std::string configPath = config::configFilePath(m_folder);
    save(configPath, m_damagedConfig, [&] { config::saveConfig(configPath, config); });
    failures.removeDuplicates(); // both files in one unwritable folder fail alike
    if (failures.isEmpty())
        return {};
    return QStringLiteral("Unable to save the settings:\r\n") +
           failures.join(QStringLiteral("\r\n"));
}

Mode startupMode(config::InitialMode choice, int32_t lastMode) {
    switch (choice) {
    case config::InitialMode::LastUsed:
        return lastMode >= 0 && lastMode <= static_cast<int32_t>(Mode::ViewFoldersFiles)
                   ? static_cast<Mode>(lastMode)
                   : Mode::Find;
    case config::InitialMode::Replace:
        return Mode::FindAndReplace;
    case config::InitialMode::Script:
        return Mode::Script;
    case config::InitialMode::ViewFoldersFiles:
        return Mode::ViewFoldersFiles;
    default:
        return Mode::Find;
    }
}

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

QRect windowPlacement(const config::WindowBounds& bounds) {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->availableGeometry());
    const QRect fitted = fitBoundsToScreens(bounds, screens);
    if (fitted.isValid())
        return fitted;
    const QRect area = primaryScreenArea();
    const config::WindowBounds fallback = config::defaultFormBounds(area.width(), area.height());
    return {area.left() + fallback.left, area.top() + fallback.top, fallback.width,
            fallback.height};
}

} // namespace kestrava::ui
