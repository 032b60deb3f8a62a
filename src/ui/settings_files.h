// The settings and history files of the window: where they live, reading them at start-up
// (a file that cannot be read is kept aside before the first save over it) and writing both on
// closing, and where saved bounds place the window.
#pragma once

#include "config/history.h"
#include "config/settings.h"
#include "window_mode.h"

#include <QRect>
#include <QString>

#include <string>
#include <vector>

namespace kestrava::ui {

class CriteriaPanel;

class SettingsFiles {
  public:
    SettingsFiles();

    // The settings folder (ends with "/").
    const std::string& folder() const { return m_folder; }
    // Each returns the message to show, empty when the file was read or is missing.
    QString loadSettings(config::Config& config);
    QString loadHistories(CriteriaPanel& criteria);
    // Writes both files, each attempted; the failures to show, empty when both were written.
    QString save(const config::HistoryBoxes& histories, const config::Config& config);

  private:
    std::string m_folder;
    // Where a file that could not be read is kept before the first save over it; empty when it
    // was read.
    std::string m_damagedConfig;
    std::string m_damagedHistory;
};

// The mode the window starts in: the one chosen in Preferences, or the last one used.
Mode startupMode(config::InitialMode choice, int32_t lastMode);

// Where saved bounds place the window: each side cut to the screen's (from its edge), and only
// when the title bar and enough of the window to be grabbed lie on one of the screens (given as
// their available rectangles). An invalid rectangle when they fit none.
QRect fitBoundsToScreens(const config::WindowBounds& bounds, const std::vector<QRect>& screens);
// The saved bounds on this desktop's screens, else the default size centred on the primary one.
QRect windowPlacement(const config::WindowBounds& bounds);

} // namespace kestrava::ui
