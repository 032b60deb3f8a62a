// The results of the last run and the grid that shows them, with the grid's menu: opening a
// result in the preferred editor (also by double click) or with the desktop's program for it,
// and exporting the view shown to the clipboard or a text file; or the replace preview of a
// planning run. Below the grid, the preview of the current row's file.
#pragma once

#include "config/settings.h"
#include "preview_pane.h"
#include "results/results.h"
#include "results_grid.h"
#include "ui_services.h"
#include "window_sink.h"
#include "write_report.h"

#include <QWidget>

#include <array>
#include <functional>

class QAction;
class QMenu;
class QSplitter;

namespace kestrava::ui {

class ResultsPane : public QWidget {
    Q_OBJECT
  public:
    // header gives the export texts' header (the mode and the criteria as they are then).
    ResultsPane(UiServices& services, config::Settings& settings,
                std::function<results::ExportHeader()> header, QWidget* parent);

    ResultsGrid& grid() { return *m_grid; }
    PreviewPane& preview() { return *m_previewPane; }
    // A run writes here; nothing shows them until showResults.
    search::SearchResults& results() { return m_results; }
    const search::SearchResults& results() const { return m_results; }
    const results::Rows& rows() const { return m_rows; }
    results::View view() const { return m_view; }
    // The View menu marks the view set.
    void setView(results::View view);
    // Builds the view's rows and shows them; the summary texts of what is shown. Rows shown
    // while the run went on stay as they are, with the current row.
    results::SummaryTexts showResults();
    // A run's files arrive in batches while it goes on (see WindowSink). startRun empties the
    // results; with `shown`, each batch's rows join the lines view as it arrives. addFound gives
    // the summary texts so far; endRun takes the run's counts and lists, all but its files, or
    // leaves nothing of a run that failed.
    void startRun(bool shown);
    results::SummaryTexts addFound(FoundBatch& batch);
    void endRun(search::SearchResults&& totals, bool failed);
    // Lays out the results of a planning run as a replace preview, every change checked, and
    // shows it; its summary texts.
    results::SummaryTexts showPlan();
    // The summary texts of the preview shown, with how many changes are checked.
    results::SummaryTexts planSummary() const;
    const ChangePlan& plan() const { return m_plan; }
    // What a replacing run did to each file of its results, said on their headers until the
    // next run.
    void noteFileWrites(WriteReport writes);
    // Shows what a write or an undo did, in place of any results or preview; the results go.
    void showReport(WriteReport report);
    const WriteReport& report() const { return m_report; }
    // Shows nothing; the rows go (the results stay for a later view).
    void showEmpty();
    const QString& lastExportFolder() const { return m_lastExportFolder; }
    // The View menu: the four views of the results (and two folder lists never offered), and
    // Line Numbers and Preview, which are always there.
    QMenu* viewMenu() const { return m_viewMenu; }
    void setViewsEnabled(bool enabled);
    // Follows the settings as loaded (the line-number column, the preview and its height).
    void applySettings();

  signals:
    // A view was chosen in the View menu; the window shows it.
    void viewChosen();

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void buildPreview();
    void buildMenu();
    void buildViewMenu();
    void recordPress(const QPoint& viewportPoint);
    const results::Row* pressedRow() const;
    void openInEditor();
    void openWithDefaultProgram();
    void copyToClipboard();
    void saveToFile(bool details);
    // The preview (View > Preview): shown below the grid at its remembered height, following the
    // grid's current row.
    void setPreviewShown(bool shown);
    void placePreview();
    void rememberPreviewSize();
    void previewRow(int row);
    void previewPlanRow(int row);

    UiServices& m_services;
    config::Settings& m_settings;
    std::function<results::ExportHeader()> m_header;
    ResultsGrid* m_grid = nullptr;
    QSplitter* m_previewSplitter = nullptr;
    PreviewPane* m_previewPane = nullptr;
    bool m_previewPlaced = false; // sized since it was last shown
    search::SearchResults m_results;
    results::Rows m_rows;
    bool m_rowsLive = false; // the lines view's rows, made as the run's batches came
    bool m_runShown = false; // the run going on is shown as it goes
    ChangePlan m_plan;
    WriteReport m_fileWrites;
    WriteReport m_report;
    results::View m_view = results::View::LinesWithMatches;
    int32_t m_uniqueMatchCount = 0;
    QPoint m_pressPos{-1, -1}; // last press on the grid (viewport pixels)
    QString m_lastExportFolder;
    QMenu* m_menu = nullptr;
    QAction* m_openInEditorAction = nullptr;
    QAction* m_openWithDefaultAction = nullptr;
    QAction* m_saveFileNamesAction = nullptr;
    QMenu* m_viewMenu = nullptr;
    std::array<QAction*, 4> m_viewActions{}; // in the View enum's order
    QAction* m_lineNumbersAction = nullptr;
    QAction* m_previewAction = nullptr;
};

} // namespace kestrava::ui
