// The main window: the four modes over its parts (the criteria panel, Script mode's item editor,
// the results with their grid, and the lines of status), the menus, the run of a Find or a
// script on a worker thread (cancellable) with its undo journal, the replace preview and the
// writing of its checked changes, Edit > Undo Last Replace, and start-up and shut-down with the
// settings and history files.
#pragma once

#include "background_run.h"
#include "change_plan.h"
#include "config/settings.h"
#include "results/results.h"
#include "results_grid.h"
#include "script/script.h"
#include "script/script_run.h"
#include "search/find_session.h"
#include "search/search.h"
#include "search/undo_journal.h"
#include "settings_files.h"
#include "ui_services.h"
#include "window_sink.h"
#include "write_report.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace kestrava::ui {

class AboutDialog;
class CriteriaPanel;
class ModeLine;
class PreferencesDialog;
class ReferencesDialog;
class ResultsPane;
class RunStatusBar;
class ScriptEditor;
class SummaryLine;
enum class ActionButton : uint8_t;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Builds the window; histories and settings are loaded from the settings folder. services
    // answers every box and dialog (Qt's own when null).
    explicit MainWindow(std::unique_ptr<UiServices> services = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The windows that start-up creates after this one; each may stay null.
    void setPreferencesDialog(PreferencesDialog* dialog) { m_preferences = dialog; }
    void setReferencesWindow(ReferencesDialog* window) { m_references = window; }
    void setAboutWindow(AboutDialog* window) { m_about = window; }
    // Places the window by the saved bounds when they fit the screens, else centred at the
    // default size.
    void applyBounds(const config::WindowBounds& bounds);

    // What the window holds, for the program entry and tests.
    config::Settings& settings() { return m_config.settings; }
    const config::Settings& settings() const { return m_config.settings; }
    const config::Config& config() const { return m_config; }
    Mode mode() const { return m_mode; }
    GridContent gridContent() const { return m_gridContent; }
    ScriptEditState scriptState() const;
    const script::Script& script() const;
    const search::SearchResults& results() const;
    const results::Rows& resultRows() const;
    const ChangePlan& changePlan() const;
    const WriteReport& writeReport() const;
    results::View resultView() const;
    int32_t savedItemIndex(config::HistoryBox box) const;
    bool isRunning() const { return m_run->isRunning(); }
    QString statusBarText() const;
    const QString& lastExportFolder() const;
    // Fills Folder(s), and File(s) for files, so that Find searches these absolute paths, then
    // puts the focus in Find; Script mode first gives way to Find mode. What the boxes cannot
    // name is said in a box. Nothing changes while a run goes on.
    void openPaths(const QStringList& paths);
    // The settings folder this window reads and writes (ends with "/").
    const std::string& settingsFolderPath() const { return m_files.folder(); }

  signals:
    // After every mode switch.
    void modeChanged(Mode mode);
    // After a search or script run has ended and its results or error are shown.
    void runEnded();

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Construction (main_window.cpp).
    void buildParts();
    void connectParts();
    void buildMenus();
    QAction* addMenuItem(QMenu* menu, const char* name, const QString& caption,
                         const std::function<void()>& handler);
    void loadFiles();
    void applyFontSize(config::FontSize size);
    void activateFirstTime();
    void saveOnClose();
    void editPreferences();
    // Folders and files from the desktop (main_window_paths.cpp).
    void acceptDropsOnBoxes();
    void fillFromPaths(const QStringList& paths);
    // Modes (main_window_modes.cpp).
    void setMode(Mode mode);
    void resetModeControls();
    void applyModeSettings(Mode mode);
    void refreshModeStatus();
    QString scriptStatus();
    void setGridContent(GridContent content);
    void showResults();
    void criteriaEdited();
    void criteriaChanged();
    void pressActionFromBox();
    void scriptChanged();
    results::ExportHeader exportHeader() const;
    // The runs (main_window_run.cpp): the checks and the question here, the search on the
    // worker; `ended` runs on the window thread once the worker has returned.
    void startAction(ActionButton button);
    void startFind();
    // Runs a checked Find or Find & Replace session on the worker; `ended` follows.
    void runFindSession(const std::shared_ptr<search::FindSession>& session, bool replacing,
                        void (MainWindow::*ended)(const QString&, bool));
    void runScript();
    // The script's run settings, or false when the Root Folder it needs is blank (said).
    bool scriptSettings(const script::Script& script, script::ScriptRunSettings& run);
    void startScriptRun(const script::Script& script, const script::ScriptRunSettings& run,
                        void (MainWindow::*ended)(const QString&, bool));
    // What the preferences leave out of a run.
    search::ScanOptions scanOptions() const;
    void startRun(BackgroundRun::Job job, void (MainWindow::*ended)(const QString&, bool));
    // Where a run's files go: batches posted to the window, into a run that `shown` shows as it
    // goes on; the run's counts and lists go into m_runTotals.
    std::shared_ptr<WindowSink> startShownRun(bool shown);
    Q_INVOKABLE void takeBatches(); // what the run's sink handed over
    void finishRun(const QString& error, bool stopped);
    void findEnded(const QString& error, bool stopped);
    void scriptRunEnded(const QString& error, bool stopped);
    // What both kinds of run show at their end: the results as found, or as a plan.
    void showFindEnd(const QString& error, bool stopped, GridContent shown);
    void showScriptEnd(const QString& error, bool stopped, GridContent shown);
    void showRunProgress(const search::Progress& progress);
    void setRunControls(bool running);
    void cancelRun();
    void showStatusText(const QString& text);
    // The replace preview (main_window_plan.cpp): a planning run shown with a box on every
    // change, then the checked changes written as one undoable run.
    void startPreview();
    void previewFindReplace();
    void previewScript();
    void previewEnded(const QString& error, bool stopped);
    void scriptPreviewEnded(const QString& error, bool stopped);
    void applyPlan();
    void applyEnded(const QString& error, bool stopped);
    // After a write or an undo: the grid shows what it did to each file, in place of the
    // preview or results it came from, and status says so.
    void showWrites(WriteReport report, const QString& status);
    // A replacing run's results say on each file's header what was written.
    void noteRunWrites();
    // The script editor turns to results, and the grid shows `shown` for them.
    void showScriptOutcome(GridContent shown);
    std::string planQuestion(const ChangePlan& plan, bool inPlace, bool undoKept) const;
    void planChecksChanged();
    void setPreviewEnabled(bool enabled);
    // The undo journal (main_window_undo.cpp).
    bool makeJournal(const search::UndoRunRequest& request,
                     std::unique_ptr<search::UndoJournal>& journal);
    void closeJournal();
    void undoLastReplace();

    std::unique_ptr<UiServices> m_services;
    PreferencesDialog* m_preferences = nullptr;
    ReferencesDialog* m_references = nullptr;
    AboutDialog* m_about = nullptr;
    SettingsFiles m_files;
    config::Config m_config;

    ModeLine* m_modeLine = nullptr;
    CriteriaPanel* m_criteria = nullptr;
    SummaryLine* m_summaryLine = nullptr;
    ResultsPane* m_resultsPane = nullptr;
    ScriptEditor* m_scriptEditor = nullptr;
    RunStatusBar* m_statusBar = nullptr;

    Mode m_mode = Mode::Find;
    GridContent m_gridContent = GridContent::Empty;
    bool m_activated = false;
    bool m_destroyed = false;
    BackgroundRun* m_run = nullptr;
    void (MainWindow::*m_runEnded)(const QString&, bool) = nullptr;
    QString m_runNote;           // said after a run: cancelled, files skipped
    bool m_runNoteShown = false; // the grid shows what the run left (or emptied it)
    script::ScriptRunResult m_scriptRun;
    // The worker's while it runs; the window takes them once it has ended.
    std::shared_ptr<search::SearchResults> m_runTotals;
    std::shared_ptr<script::ScriptRunResult> m_scriptOutcome;
    std::shared_ptr<WindowSink> m_runSink;
    bool m_runFound = false;                        // the run going on has found something
    std::unique_ptr<search::UndoJournal> m_journal; // the replacing run's, until it has ended
    search::UndoRunRequest m_planRequest; // how the journal of the plan shown names its run
    // What Script mode shows when its editor turns to results: a run's, its plan, or a report.
    GridContent m_scriptShows = GridContent::Results;
    QString m_reportStatus;   // the mode status while a report is shown
    AppliedChanges m_applied; // written by the worker, read after it has ended

    QMenu* m_fileMenu = nullptr;
    QMenu* m_editMenu = nullptr;
    QMenu* m_modeMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_scriptMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    std::array<QAction*, 4> m_modeActions{}; // Find, Find and Replace, Script, View
    QAction* m_preferencesAction = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_previewChangesAction = nullptr;

    // The keyboard (main_window.cpp): keys that act anywhere in the window, and the Tab order
    // across the window's parts.
    void buildShortcuts();
    void orderTabStops();
    void pressActionByKey();
};

} // namespace kestrava::ui
