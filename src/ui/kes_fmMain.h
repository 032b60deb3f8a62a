// The main window: the four modes, the criteria boxes and their histories, the Find/Replace
// press and the script run (on a worker thread, cancellable), Script mode's item editor, the
// results grid with its summary labels, opening and exporting results, and start-up and
// shut-down with the settings and history files.
#pragma once

#include "config/kes_uHistory.h"
#include "config/kes_uLoadConfig.h"
#include "kes_uDrawGrid.h"
#include "kes_uUiServices.h"
#include "results/kes_uResults.h"
#include "script/kes_uScript.h"
#include "script/kes_uScriptRun.h"
#include "search/kes_uFind.h"

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
class TfmAbout;
class TfmPreferences;
class TfmReferences;

class TfmMain : public QMainWindow {
    Q_OBJECT
  public:
    // Builds the window and runs FormCreate: histories and settings are loaded from the
    // settings folder. services answers every box and dialog (Qt's own when null).
    explicit TfmMain(std::unique_ptr<TkesUiServices> services = nullptr, QWidget* parent = nullptr);
    ~TfmMain() override;

    // The windows that start-up creates after this one; each may stay null.
    void SetPreferencesDialog(TfmPreferences* dialog) { FPreferences = dialog; }
    void SetReferencesWindow(TfmReferences* window) { FReferences = window; }
    void SetAboutWindow(TfmAbout* window) { FAbout = window; }

    // ---- Modes and window state
    // Switches mode: layout, enable states, texts, restored selections, grid content.
    void SetMode(kes::TkesMode mode);
    // Recomputes the mode status line, the status bar and the action button's enable state.
    void RefreshModeStatus(kes::TkesMode mode);
    // Switches what the grid shows; gcResults builds the current view from the results.
    void SetGridContent(TGridContent content);
    // Empties Folders, Files, Find and Replace (no selection).
    void ClearCriteria();
    // Re-selects the selected entry of each showing box (not while histories load).
    void RefreshCriteriaCombos();
    // Moves the rows for a mode: delta pixels on the criteria panel, the Root Folder row shown.
    void LayoutCriteriaPanel(int delta, bool showRoot);
    void ActivateRootFolderRow();
    void DeactivateRootFolderRow();
    void DeactivateCriteriaRows();
    void ActivateFolderFileRows();
    void ActivateFindReplaceRows();
    void ActivateAllCriteriaRows();
    void EnableFindButtons();
    // The four criteria boxes' texts (Options empty).
    kes::TkesSpecs GetCriteria() const;

    // ---- Criteria entry and history
    // Validate (folder or file specification), add and select; empty does nothing. Throw the
    // parser's error on an invalid value.
    void Update_cboxFolders(const QString& value);
    void Update_cboxFiles(const QString& value);
    void Update_cboxRootFolder(const QString& value);
    // Commit on leaving a box: validation messages, saved indices, status refresh.
    void cboxFoldersExit();
    void cboxFilesExit();
    void cboxRootFolderExit();
    void cboxExit(QComboBox* box);
    // Context menu of a box: Remove entry, Remove All (asked), Cancel.
    void cboxPopup(QComboBox* box, const QPoint& globalPos);
    void pumRemoveEntryClick();
    void pumRemoveAllClick();
    void sbFoldersClick();
    void sbFilesClick();
    void sbRootFolderClick();

    // ---- The search run
    // The Find/Replace press: checks, confirmation, then the run on a worker thread.
    void bbFindClick();
    // Asks a running search to stop, even inside a long file; the files done so far are shown.
    void CancelRun();
    bool IsRunning() const { return FRunning; }
    // laMatchResults1 and the status bar show the text.
    void ShowStatusText(const QString& text);

    // ---- Script mode: editing (kes_fmMainScript.cpp)
    // Enters an editing state: panels, criteria rows, the line view, the mode status.
    void SetScriptState(kes::TkesScriptState state);
    // Refreshes the bar's buttons, the criteria boxes and the grid from the script.
    void ShowScript();
    // Fills the criteria boxes and laItemNo from the current item and the state.
    void ShowCurrentItem();
    void sbAppendClick() { SetScriptState(kes::ssAppend); }
    void sbInsertClick() { SetScriptState(kes::ssInsert); }
    void sbChangeClick() { SetScriptState(kes::ssChange); }
    // Stores the typed item by the state's rules; a missing value is said and nothing changes.
    void bbAcceptClick();
    void bbCancelClick() { SetScriptState(kes::ssViewing); }
    // Removes the current item unless a Find/Replace item would come first.
    void sbDeleteClick();
    // Move the current item one place (a Folder(s)/File(s) item with its whole group).
    void sbUpClick();
    void sbDownClick();
    // The grid's press and key handling while it shows the script.
    void ScriptGridMouseDown(const QPoint& viewportPoint);
    void ScriptGridKeyDown(int key);

    // ---- Script mode: the Script menu (kes_fmMainScriptMenu.cpp) and the run
    void mmScript_NewClick();
    void mmScript_OpenClick();
    void mmScript_SaveClick();
    void mmScript_SaveAsClick();
    void mmScript_ViewScriptClick() { SetGridContent(gcScript); }
    void mmScript_ViewResultsClick() { SetScriptState(kes::ssResults); }
    // The run: Root Folder check and question here, the search on the worker thread.
    void bbRunScriptClick();
    void mmScript_RunClick() { bbRunScriptClick(); }

    // ---- Opening result files (kes_fmMainOpen.cpp)
    // Every press on the grid: the script's current item, or the recorded press position and
    // the context menu's enable states.
    void DrawGrid1MouseDown(const QPoint& viewportPoint);
    // Opens the pressed file (header row) or line (line row) in the preferred editor.
    void DrawGrid1DblClick();
    void Openwithpreferrededitor1Click() { DrawGrid1DblClick(); }
    // Opens the pressed header row's file with the desktop's program for it (xdg-open).
    void Openwithdefaultprogram1Click();

    // ---- Exporting results (kes_fmMainExport.cpp)
    // The current view as rich text (and plain text) on the clipboard.
    void pumCopyClick();
    // The current view saved with its lines (or file lines only) to a chosen text file.
    void pumCopyToTextFileClick();
    void SaveallresultsfilenamesonlytoTextfile1Click();
    // The export text's header: the mode and the criteria as the boxes hold them now.
    kes::TExportHeader ExportHeader() const;
    const QString& LastExportFolder() const { return FLastExportFolder; }

    // ---- Results views
    void mmView_LinesWithMatchesClick();
    void mmView_MatchesOnlyClick();
    void mmView_UniqueMatchesClick();
    void mmView_UniqueMatchesSortedClick();

    // ---- Start-up and shut-down
    // The font-size layout: point sizes, criteria column, buttons, labels, bars, grid.
    void ApplyFontSize(kes::TFontSize size);
    // First activation only: chooses the start-up mode.
    void FormActivate();
    void FormResize();
    // Commits the focused criteria box so its text reaches the history.
    void FormClose();
    // Stores bounds and last mode; saves histories and settings. Failures are shown. Runs once.
    void FormDestroy();
    void mmFile_PreferencesClick();
    // Places the window by the saved bounds when they fit the screens, else centred at the
    // default size.
    void ApplyBounds(const kes::TkesFormBounds& bounds);
    void mmFile_ExitClick() { close(); }

    // ---- State, for the program entry and tests
    kes::TkesSettings& Settings() { return FConfig.Settings; }
    const kes::TkesConfig& Config() const { return FConfig; }
    kes::TkesMode Mode() const { return FMode; }
    TGridContent GridContent() const { return FGridContent; }
    kes::TkesScriptState ScriptState() const { return FScript.State; }
    const kes::TkesScript& Script() const { return FScript; }
    const kes::TkesMatchResults& Results() const { return FResults; }
    const kes::TResultRows& ResultRows() const { return FResultRows; }
    kes::TResultView ResultView() const { return FResultView; }
    int32_t SavedItemIndex(size_t box) const { return FSavedIndex.at(box); }
    QString StatusBarText() const;
    TkesUiServices& UiServices() { return *FServices; }
    // The settings folder this window reads and writes (ends with "/").
    const std::string& SettingsFolderPath() const { return FSettingsFolder; }

    // Controls (object names as the member names).
    QWidget* paMode = nullptr;
    QLabel* laModeName = nullptr;
    QLabel* laModeStatus = nullptr;
    QLabel* laModeDetail = nullptr;
    QWidget* paActionsSpecs = nullptr;
    QWidget* paFolderFile = nullptr;
    QWidget* paFindReplace = nullptr;
    QWidget* paActionButtons = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* laFolders = nullptr;
    QLabel* laFiles = nullptr;
    QLabel* laRootFolder = nullptr;
    QLabel* laItemNo = nullptr;
    QLabel* laFind = nullptr;
    QLabel* laFindRegEx = nullptr;
    QLabel* laReplace = nullptr;
    QComboBox* cboxFolders = nullptr;
    QComboBox* cboxFiles = nullptr;
    QComboBox* cboxRootFolder = nullptr;
    QComboBox* cboxFind = nullptr;
    QComboBox* cboxReplace = nullptr;
    QToolButton* sbFolders = nullptr;
    QToolButton* sbFiles = nullptr;
    QToolButton* sbRootFolder = nullptr;
    QPushButton* bbFind = nullptr;
    QPushButton* bbReplace = nullptr;
    QPushButton* bbList = nullptr;
    QPushButton* bbRunScript = nullptr;
    QWidget* paStatus = nullptr;
    std::array<QLabel*, 4> laMatchResults{};
    QWidget* paScriptMaintenance = nullptr;
    QLabel* laScriptItems = nullptr;
    QWidget* paScriptButtons = nullptr;
    std::array<QPushButton*, 6> sbScriptButtons{}; // Append, Insert, Change, Delete, Up, Down
    QPushButton* sbAppend = nullptr;
    QPushButton* sbInsert = nullptr;
    QPushButton* sbChange = nullptr;
    QPushButton* sbDelete = nullptr;
    QPushButton* sbUp = nullptr;
    QPushButton* sbDown = nullptr;
    QWidget* paScriptAcceptCancel = nullptr;
    QPushButton* bbAccept = nullptr;
    QPushButton* bbCancel = nullptr;
    TkesDrawGrid* DrawGrid1 = nullptr;
    QLabel* StatusBar1Text = nullptr;
    QProgressBar* pbProgress = nullptr;
    QPushButton* bbCancelRun = nullptr;
    QMenu* PopupMenu1 = nullptr; // criteria boxes
    QMenu* PopupMenu2 = nullptr; // results grid
    QAction* Openwithpreferrededitor1 = nullptr;
    QAction* Openwithdefaultprogram1 = nullptr;
    QAction* pumCopy = nullptr;
    QAction* pumCopyToTextFile = nullptr;
    QAction* SaveallresultsfilenamesonlytoTextfile1 = nullptr;

  signals:
    // After every mode switch.
    void ModeChanged(kes::TkesMode mode);
    // After a search or script run has ended and its results or error are shown.
    void RunEnded();

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Construction (kes_fmMainBuild.cpp).
    void FormCreate();
    void BuildModeLine();
    void BuildCriteriaPanel();
    void BuildActionButtons();
    void BuildStatusPanel();
    void BuildScriptBar();
    void BuildStatusBar();
    void BuildMenus();
    void BuildPopupMenus();
    QComboBox* MakeCriteriaBox(const char* name, QWidget* parent);
    QAction* AddMenuItem(QMenu* menu, const char* name, const QString& caption,
                         void (TfmMain::*handler)());
    // Layout (kes_fmMainLayout.cpp).
    void PlaceControls();
    void PlaceCriteriaRows();
    void PlaceActionButtons();
    void PlaceModeLine();
    void PlaceStatusLabels();
    void PlaceScriptBar();
    // Modes (kes_fmMainModes.cpp).
    void ResetModeControls();
    void ApplyModeSettings(kes::TkesMode mode);
    QString ComputeScriptStatus();
    void mmMode_FindClick() { SetMode(kes::mdFind); }
    void mmMode_FindAndReplaceClick() { SetMode(kes::mdFindAndReplace); }
    void mmMode_ScriptClick() { SetMode(kes::mdScript); }
    void mmMode_ViewClick() {}
    void ShowResults();
    // Script mode (kes_fmMainScript.cpp, kes_fmMainScriptMenu.cpp).
    void ShowScriptLines();
    void SetEditPanelColour(QWidget* panel, bool highlighted);
    bool LeaveScript();
    void ScriptRunFinished(const QString& error);
    // Criteria (kes_fmMainCriteria.cpp).
    void AddAndSelect(QComboBox* box, const QString& value);
    void SetBoxIndex(QComboBox* box, int index);
    int SelectedIndex(const QComboBox* box) const;
    void cboxChange();
    void cboxKeyUp();
    void CommitBox(QComboBox* box);
    // Enter in a box: commits it, then presses the action button when that is enabled.
    void StartFromBox(QComboBox* box);
    void LoadHistories();
    void LoadSettings();
    kes::THistoryBoxes HistoryBoxes() const;
    static QStringList HistoryEntries(const QComboBox* box);
    QComboBox* HistoryBox(kes::THistoryBox box) const;
    // Search run (kes_fmMainSearch.cpp). A job runs on the worker thread and returns an error
    // text (empty on success); `finished` then runs on the window thread.
    using TRunJob = std::function<QString(const kes::TkesProgressEvent&, std::stop_token)>;
    void StartRun(TRunJob job, void (TfmMain::*finished)(const QString&));
    bool EndRun(bool& stopped);
    void NoteRunEnd(const QString& what, bool stopped);
    // The files a run left as they were, with why, and its notices; empty when there are none.
    QString RunWarnings() const;
    void RunFinished(const QString& error);
    void ShowRunProgress(const QString& text);
    void SetRunControls(bool running);
    void StopRunAndWait();
    // Opening and exporting (kes_fmMainOpen.cpp, kes_fmMainExport.cpp).
    const kes::TResultRow* PressedResultRow() const;
    void SaveResults(bool details);
    // Help menu (kes_fmMainLifecycle.cpp).
    void mmHelp_QuickStartGuideClick();
    void mmHelp_LatestVersionClick();
    void mmHelp_ReferencesClick();
    void mmHelp_AboutClick();

    std::unique_ptr<TkesUiServices> FServices;
    TfmPreferences* FPreferences = nullptr;
    TfmReferences* FReferences = nullptr;
    TfmAbout* FAbout = nullptr;

    std::string FSettingsFolder;
    // Where a settings or history file that could not be read is kept before the first save
    // over it; empty when it was read.
    std::string FDamagedConfig;
    std::string FDamagedHistory;
    kes::TkesConfig FConfig;
    kes::TkesMode FMode = kes::mdFind;
    TGridContent FGridContent = gcEmpty;
    kes::TkesScript FScript;
    kes::TkesScriptRunResult FScriptRun; // written by the worker, read after it has ended
    kes::TFindReplaceSpecs FSpecs;
    kes::TkesMatchResults FResults;
    kes::TResultRows FResultRows;
    kes::TResultView FResultView = kes::rvLinesWithMatches;
    int32_t FUniqueMatchCount = 0;
    std::array<int32_t, kes::kHistoryBoxCount> FSavedIndex{-1, -1, -1, -1, -1};

    int FDelta = 0;         // criteria panel offset of the current mode
    bool FShowRoot = false; // Root Folder row shown
    int FPointSize = 10;
    bool FActivated = false;
    bool FLoading = false;
    bool FFoldersSorted = false;
    bool FDestroyed = false;
    QComboBox* FPopupTarget = nullptr;
    QString FOpenDialogFolder;
    QPoint FPressPos{-1, -1}; // last press on the results grid (viewport pixels)
    QString FLastExportFolder;

    bool FRunning = false;
    QString FOperationName;
    QString FRunNote; // said after a run: cancelled, files skipped
    std::jthread FRun;

    QMenu* mmFile = nullptr;
    QMenu* mmMode = nullptr;
    QMenu* mmView = nullptr;
    QMenu* mmScript = nullptr;
    QMenu* mmHelp = nullptr;
    QAction* mmMode_Find = nullptr;
    QAction* mmMode_FindandReplace = nullptr;
    QAction* mmMode_Script = nullptr;
    QAction* mmMode_View = nullptr;
    std::array<QAction*, 4> mmView_Results{}; // Lines, Matches Only, Unique, Unique (sorted)
    std::array<QAction*, 2> mmView_Folders{}; // never visible
    QAction* mmFile_Preferences = nullptr;
    QAction* mmScript_New = nullptr;
    QAction* mmScript_Open = nullptr;
    QAction* mmScript_Save = nullptr;
    QAction* mmScript_SaveAs = nullptr;
    QAction* mmScript_Run = nullptr;
    QAction* mmScript_ViewScript = nullptr;
    QAction* mmScript_ViewResults = nullptr;
    QAction* pumRemoveEntry = nullptr;
    QAction* pumRemoveAll = nullptr;
};

namespace kes {

// The history and saved-index slot of each box (THistoryBox order).
inline constexpr size_t kSavedRootFolder = hbRootFolders;
inline constexpr size_t kSavedFolders = hbFoldersToSearch;
inline constexpr size_t kSavedFiles = hbFilesToSearch;
inline constexpr size_t kSavedFind = hbFindExpressions;
inline constexpr size_t kSavedReplace = hbReplaceExpressions;

// Where saved bounds place the window: each side cut to the screen's (from its edge), and only
// when the title bar and enough of the window to be grabbed lie on one of the screens (given as
// their available rectangles). An invalid rectangle when they fit none.
QRect FitBoundsToScreens(const TkesFormBounds& bounds, const std::vector<QRect>& screens);

// Reads "Processing file N of M" into current and total; false for any other text.
bool ParseProgressText(const QString& text, int& current, int& total);

} // namespace kes
