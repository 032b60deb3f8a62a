// The main window: the four modes, the criteria boxes and their histories, the Find/Replace
// press and the script run (on a worker thread, cancellable), Script mode's item editor, the
// results grid with its summary labels, opening and exporting results, and start-up and
// shut-down with the settings and history files.
#pragma once

#include "config/history.h"
#include "config/settings.h"
#include "results/results.h"
#include "results_grid.h"
#include "script/script.h"
#include "script/script_run.h"
#include "search/search.h"
#include "ui_services.h"

#include <QMainWindow>
#include <QRect>

#include <array>
#include <functional>
#include <memory>
#include <thread>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace kestrava::ui {

class AboutDialog;
class PreferencesDialog;
class ReferencesDialog;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Builds the window and runs createWindow: histories and settings are loaded from the
    // settings folder. services answers every box and dialog (Qt's own when null).
    explicit MainWindow(std::unique_ptr<UiServices> services = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The windows that start-up creates after this one; each may stay null.
    void setPreferencesDialog(PreferencesDialog* dialog) { m_preferences = dialog; }
    void setReferencesWindow(ReferencesDialog* window) { m_references = window; }
    void setAboutWindow(AboutDialog* window) { m_about = window; }

    // ---- Modes and window state
    // Switches mode: layout, enable states, texts, restored selections, grid content.
    void setMode(util::Mode mode);
    // Recomputes the mode status line, the status bar and the action button's enable state.
    void refreshModeStatus(util::Mode mode);
    // Switches what the grid shows; gcResults builds the current view from the results.
    void setGridContent(GridContent content);
    // Empties Folders, Files, Find and Replace (no selection).
    void clearCriteria();
    // Re-selects the selected entry of each showing box (not while histories load).
    void refreshCriteriaCombos();
    // Moves the rows for a mode: delta pixels on the criteria panel, the Root Folder row shown.
    void layoutCriteriaPanel(int delta, bool showRoot);
    void activateRootFolderRow();
    void deactivateRootFolderRow();
    void deactivateCriteriaRows();
    void activateFolderFileRows();
    void activateFindReplaceRows();
    void activateAllCriteriaRows();
    void enableFindButtons();
    // The four criteria boxes' texts (Options empty).
    search::Criteria getCriteria() const;

    // ---- Criteria entry and history
    // Validate (folder or file specification), add and select; empty does nothing. Throw the
    // parser's error on an invalid value.
    void addFoldersEntry(const QString& value);
    void addFilesEntry(const QString& value);
    void addRootFolderEntry(const QString& value);
    // Commit on leaving a box: validation messages, saved indices, status refresh.
    void commitFoldersEntry();
    void commitFilesEntry();
    void commitRootFolderEntry();
    void commitExpressionEntry(QComboBox* box);
    // Context menu of a box: Remove entry, Remove All (asked), Cancel.
    void showHistoryMenu(QComboBox* box, const QPoint& globalPos);
    void removeHistoryEntry();
    void removeAllHistoryEntries();
    void pickFolders();
    void pickFile();
    void pickRootFolder();

    // ---- The search run
    // The Find/Replace press: checks, confirmation, then the run on a worker thread.
    void startFind();
    // Asks a running search to stop, even inside a long file; the files done so far are shown.
    void cancelRun();
    bool isRunning() const { return m_running; }
    // laMatchResults1 and the status bar show the text.
    void showStatusText(const QString& text);

    // ---- Script mode: editing (main_window_script.cpp)
    // Enters an editing state: panels, criteria rows, the line view, the mode status.
    void setScriptState(script::ScriptEditState state);
    // Refreshes the bar's buttons, the criteria boxes and the grid from the script.
    void showScript();
    // Fills the criteria boxes and itemNumberLabel from the current item and the state.
    void showCurrentItem();
    void startAppend() { setScriptState(script::ScriptEditState::Append); }
    void startInsert() { setScriptState(script::ScriptEditState::Insert); }
    void startChange() { setScriptState(script::ScriptEditState::Change); }
    // Stores the typed item by the state's rules; a missing value is said and nothing changes.
    void acceptItem();
    void cancelItemEdit() { setScriptState(script::ScriptEditState::Viewing); }
    // Removes the current item unless a Find/Replace item would come first.
    void deleteItem();
    // Move the current item one place (a Folder(s)/File(s) item with its whole group).
    void moveItemUp();
    void moveItemDown();
    // The grid's press and key handling while it shows the script.
    void scriptGridMouseDown(const QPoint& viewportPoint);
    void scriptGridKeyDown(int key);

    // ---- Script mode: the Script menu (main_window_script_menu.cpp) and the run
    void newScript();
    void openScript();
    void saveScript();
    void saveScriptAs();
    void viewScript() { setGridContent(GridContent::Script); }
    void viewScriptResults() { setScriptState(script::ScriptEditState::Results); }
    // The run: Root Folder check and question here, the search on the worker thread.
    void runScript();
    void runScriptFromMenu() { runScript(); }

    // ---- Opening result files (main_window_open.cpp)
    // Every press on the grid: the script's current item, or the recorded press position and
    // the context menu's enable states.
    void recordGridPress(const QPoint& viewportPoint);
    // Opens the pressed file (header row) or line (line row) in the preferred editor.
    void openResultInEditor();
    void openResultInEditorFromMenu() { openResultInEditor(); }
    // Opens the pressed header row's file with the desktop's program for it (xdg-open).
    void openResultWithDefaultProgram();

    // ---- Exporting results (main_window_export.cpp)
    // The current view as rich text (and plain text) on the clipboard.
    void copyResults();
    // The current view saved with its lines (or file lines only) to a chosen text file.
    void saveResultsToFile();
    void saveFileNamesToFile();
    // The export text's header: the mode and the criteria as the boxes hold them now.
    results::ExportHeader exportHeader() const;
    const QString& lastExportFolder() const { return m_lastExportFolder; }

    // ---- Results views
    void showLinesWithMatches();
    void showMatchesOnly();
    void showUniqueMatches();
    void showUniqueMatchesSorted();

    // ---- Start-up and shut-down
    // The font-size layout: point sizes, criteria column, buttons, labels, bars, grid.
    void applyFontSize(config::FontSize size);
    // First activation only: chooses the start-up mode.
    void activateFirstTime();
    void fitToSize();
    // Commits the focused criteria box so its text reaches the history.
    void commitFocusedBox();
    // Stores bounds and last mode; saves histories and settings. Failures are shown. Runs once.
    void saveOnClose();
    void editPreferences();
    // Places the window by the saved bounds when they fit the screens, else centred at the
    // default size.
    void applyBounds(const config::WindowBounds& bounds);
    void exitProgram() { close(); }

    // ---- State, for the program entry and tests
    config::Settings& settings() { return m_config.settings; }
    const config::Config& config() const { return m_config; }
    util::Mode mode() const { return m_mode; }
    GridContent gridContent() const { return m_gridContent; }
    script::ScriptEditState scriptState() const { return m_script.state; }
    const script::Script& script() const { return m_script; }
    const search::SearchResults& results() const { return m_results; }
    const results::Rows& resultRows() const { return m_resultRows; }
    results::View resultView() const { return m_resultView; }
    int32_t savedItemIndex(size_t box) const { return m_savedIndex.at(box); }
    QString statusBarText() const;
    UiServices& uiServices() { return *m_services; }
    // The settings folder this window reads and writes (ends with "/").
    const std::string& settingsFolderPath() const { return m_settingsFolder; }

    // Controls (object names as the member names).
    QWidget* modeBar = nullptr;
    QLabel* modeNameLabel = nullptr;
    QLabel* modeStatusLabel = nullptr;
    QLabel* modeDetailLabel = nullptr;
    QWidget* criteriaPanel = nullptr;
    QWidget* folderFilePanel = nullptr;
    QWidget* findReplacePanel = nullptr;
    QWidget* actionPanel = nullptr;
    QFrame* actionSeparator = nullptr;
    QLabel* foldersLabel = nullptr;
    QLabel* filesLabel = nullptr;
    QLabel* rootFolderLabel = nullptr;
    QLabel* itemNumberLabel = nullptr;
    QLabel* findLabel = nullptr;
    QLabel* regexHintLabel = nullptr;
    QLabel* replaceLabel = nullptr;
    QComboBox* foldersCombo = nullptr;
    QComboBox* filesCombo = nullptr;
    QComboBox* rootFolderCombo = nullptr;
    QComboBox* findCombo = nullptr;
    QComboBox* replaceCombo = nullptr;
    QToolButton* pickFoldersButton = nullptr;
    QToolButton* pickFileButton = nullptr;
    QToolButton* pickRootFolderButton = nullptr;
    QPushButton* findButton = nullptr;
    QPushButton* replaceButton = nullptr;
    QPushButton* listButton = nullptr;
    QPushButton* runScriptButton = nullptr;
    QWidget* summaryPanel = nullptr;
    std::array<QLabel*, 4> summaryLabels{};
    QWidget* scriptBar = nullptr;
    QLabel* scriptItemsLabel = nullptr;
    QWidget* scriptButtonsPanel = nullptr;
    std::array<QPushButton*, 6> scriptButtons{}; // Append, Insert, Change, Delete, Up, Down
    QPushButton* appendItemButton = nullptr;
    QPushButton* insertItemButton = nullptr;
    QPushButton* changeItemButton = nullptr;
    QPushButton* deleteItemButton = nullptr;
    QPushButton* moveItemUpButton = nullptr;
    QPushButton* moveItemDownButton = nullptr;
    QWidget* acceptCancelPanel = nullptr;
    QPushButton* acceptItemButton = nullptr;
    QPushButton* cancelItemButton = nullptr;
    ResultsGrid* resultsGrid = nullptr;
    QLabel* statusText = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* stopRunButton = nullptr;
    QMenu* historyMenu = nullptr; // criteria boxes
    QMenu* resultsMenu = nullptr; // results grid
    QAction* openInEditorAction = nullptr;
    QAction* openWithDefaultAction = nullptr;
    QAction* copyResultsAction = nullptr;
    QAction* saveResultsAction = nullptr;
    QAction* saveFileNamesAction = nullptr;

  signals:
    // After every mode switch.
    void modeChanged(util::Mode mode);
    // After a search or script run has ended and its results or error are shown.
    void runEnded();

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Construction (main_window_build.cpp).
    void createWindow();
    void buildModeLine();
    void buildCriteriaPanel();
    void buildActionButtons();
    void buildStatusPanel();
    void buildScriptBar();
    void buildStatusBar();
    void buildMenus();
    void buildPopupMenus();
    QComboBox* makeCriteriaBox(const char* name, QWidget* parent);
    QAction* addMenuItem(QMenu* menu, const char* name, const QString& caption,
                         void (MainWindow::*handler)());
    // Layout (main_window_layout.cpp).
    void placeControls();
    void placeCriteriaRows();
    void placeActionButtons();
    void placeModeLine();
    void placeStatusLabels();
    void placeScriptBar();
    // Modes (main_window_modes.cpp).
    void resetModeControls();
    void applyModeSettings(util::Mode mode);
    QString computeScriptStatus();
    void switchToFind() { setMode(util::Mode::Find); }
    void switchToReplace() { setMode(util::Mode::FindAndReplace); }
    void switchToScript() { setMode(util::Mode::Script); }
    void switchToView() {}
    void showResults();
    // Script mode (main_window_script.cpp, main_window_script_menu.cpp).
    void showScriptLines();
    void setEditPanelColour(QWidget* panel, bool highlighted);
    bool leaveScript();
    void scriptRunFinished(const QString& error);
    // Criteria (main_window_criteria.cpp).
    void addAndSelect(QComboBox* box, const QString& value);
    void setBoxIndex(QComboBox* box, int index);
    int selectedIndex(const QComboBox* box) const;
    void criteriaEdited();
    void criteriaKeyReleased();
    void commitBox(QComboBox* box);
    // Enter in a box: commits it, then presses the action button when that is enabled.
    void startFromBox(QComboBox* box);
    void loadHistories();
    void loadSettings();
    config::HistoryBoxes historyBoxes() const;
    static QStringList historyEntries(const QComboBox* box);
    QComboBox* historyBox(config::HistoryBox box) const;
    // Search run (main_window_search.cpp). A job runs on the worker thread and returns an error
    // text (empty on success); `finished` then runs on the window thread.
    using RunJob = std::function<QString(const search::ProgressEvent&, std::stop_token)>;
    void startRun(RunJob job, void (MainWindow::*finished)(const QString&));
    bool endRun(bool& stopped);
    void noteRunEnd(const QString& what, bool stopped);
    // The files a run left as they were, with why, and its notices; empty when there are none.
    QString runWarnings() const;
    void runFinished(const QString& error);
    void showRunProgress(const search::Progress& progress);
    void setRunControls(bool running);
    void stopRunAndWait();
    // Opening and exporting (main_window_open.cpp, main_window_export.cpp).
    const results::Row* pressedResultRow() const;
    void saveResults(bool details);
    // Help menu (main_window_lifecycle.cpp).
    void openQuickStartGuide();
    void showVersion();
    void showReferences();
    void showAbout();

    std::unique_ptr<UiServices> m_services;
    PreferencesDialog* m_preferences = nullptr;
    ReferencesDialog* m_references = nullptr;
    AboutDialog* m_about = nullptr;

    std::string m_settingsFolder;
    // Where a settings or history file that could not be read is kept before the first save
    // over it; empty when it was read.
    std::string m_damagedConfig;
    std::string m_damagedHistory;
    config::Config m_config;
    util::Mode m_mode = util::Mode::Find;
    GridContent m_gridContent = GridContent::Empty;
    script::Script m_script;
    script::ScriptRunResult m_scriptRun; // written by the worker, read after it has ended
    search::CompiledRequest m_specs;
    search::SearchResults m_results;
    results::Rows m_resultRows;
    results::View m_resultView = results::View::LinesWithMatches;
    int32_t m_uniqueMatchCount = 0;
    std::array<int32_t, config::kHistoryBoxCount> m_savedIndex{-1, -1, -1, -1, -1};

    int m_delta = 0;         // criteria panel offset of the current mode
    bool m_showRoot = false; // Root Folder row shown
    int m_pointSize = 10;
    bool m_activated = false;
    bool m_loading = false;
    bool m_foldersSorted = false;
    bool m_destroyed = false;
    QComboBox* m_popupTarget = nullptr;
    QString m_openDialogFolder;
    QPoint m_pressPos{-1, -1}; // last press on the results grid (viewport pixels)
    QString m_lastExportFolder;

    bool m_running = false;
    QString m_runNote; // said after a run: cancelled, files skipped
    std::jthread m_run;

    QMenu* m_fileMenu = nullptr;
    QMenu* m_modeMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_scriptMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QAction* m_findModeAction = nullptr;
    QAction* m_replaceModeAction = nullptr;
    QAction* m_scriptModeAction = nullptr;
    QAction* m_viewModeAction = nullptr;
    std::array<QAction*, 4> m_viewActions{};       // Lines, Matches Only, Unique, Unique (sorted)
    std::array<QAction*, 2> m_folderViewActions{}; // never visible
    QAction* m_preferencesAction = nullptr;
    QAction* m_newScriptAction = nullptr;
    QAction* m_openScriptAction = nullptr;
    QAction* m_saveScriptAction = nullptr;
    QAction* m_saveScriptAsAction = nullptr;
    QAction* m_runScriptAction = nullptr;
    QAction* m_viewScriptAction = nullptr;
    QAction* m_viewScriptResultsAction = nullptr;
    QAction* m_removeEntryAction = nullptr;
    QAction* m_removeAllAction = nullptr;
};

// The history and saved-index slot of each box (HistoryBox order).
inline constexpr size_t kSavedRootFolder = static_cast<size_t>(config::HistoryBox::RootFolders);
inline constexpr size_t kSavedFolders = static_cast<size_t>(config::HistoryBox::FoldersToSearch);
inline constexpr size_t kSavedFiles = static_cast<size_t>(config::HistoryBox::FilesToSearch);
inline constexpr size_t kSavedFind = static_cast<size_t>(config::HistoryBox::FindExpressions);
inline constexpr size_t kSavedReplace = static_cast<size_t>(config::HistoryBox::ReplaceExpressions);

// Where saved bounds place the window: each side cut to the screen's (from its edge), and only
// when the title bar and enough of the window to be grabbed lie on one of the screens (given as
// their available rectangles). An invalid rectangle when they fit none.
QRect fitBoundsToScreens(const config::WindowBounds& bounds, const std::vector<QRect>& screens);

} // namespace kestrava::ui
