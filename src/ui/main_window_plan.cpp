// The replace preview: Preview runs the search as a plan (nothing is written) and the grid shows
// each change with a box; the action button then writes only the checked changes, on the
// worker, as one run of the undo journal. A file changed since the plan is refused by the core
// and named; the others are written all the same.
#include "main_window.h"

#include "criteria_panel.h"
#include "qt_text.h"
#include "results_pane.h"
#include "script_editor.h"
#include "status_area.h"

#include <QAction>
#include <QStringList>

namespace kestrava::ui {

namespace {

// A plan keeps every change with its view, whatever number of items replace.
search::ScanOptions planned(search::ScanOptions scan) {
    scan.planOnly = true;
    scan.keepReplacements = true;
    return scan;
}

// Each refused file with why, as a run reports the files it left as they were.
QString refusedText(const std::vector<search::SkippedFile>& refused) {
    QStringList lines;
    for (const search::SkippedFile& file : refused)
        lines << QStringLiteral("Not replaced: ") + toQString(file.fileName) +
                     QStringLiteral(": ") + toQString(file.message);
    return lines.join(QStringLiteral("\r\n"));
}

} // namespace

// With every change checked, the mode's usual question; with some left out, one that says
// only the checked ones are written.
std::string MainWindow::planQuestion(const ChangePlan& plan, bool inPlace, bool undoKept) const {
    if (plan.checkedCount() == plan.changeCount())
        return m_mode == Mode::Script ? script::scriptConfirmText(true, inPlace, undoKept)
                                      : search::replaceConfirmText(inPlace, undoKept);
    return "Replace only the checked changes (" + std::to_string(plan.checkedCount()) + " of " +
           std::to_string(plan.changeCount()) + ")" + search::replaceNote(inPlace, undoKept) + "?";
}

void MainWindow::setPreviewEnabled(bool enabled) {
    m_criteria->setPreviewEnabled(enabled);
    m_previewChangesAction->setEnabled(enabled);
}

void MainWindow::startPreview() {
    if (m_run->isRunning())
        return;
    if (m_mode == Mode::FindAndReplace)
        previewFindReplace();
    else if (m_mode == Mode::Script)
        previewScript();
}

void MainWindow::previewFindReplace() {
    search::Criteria criteria = m_criteria->criteria();
    m_planRequest = {criteria.find, criteria.replace};
    search::FindRequest request{std::move(criteria),      true, settings().caseSensitiveMatching,
                                settings().replaceInSitu, 0,    planned(scanOptions())};
    auto session = std::make_shared<search::FindSession>(std::move(request));
    if (const std::string error = session->check(); !error.empty()) {
        m_services->showError(this, toQString(error));
        return;
    }
    // Nothing is written, so nothing is asked.
    runFindSession(session, true, &MainWindow::previewEnded);
}

void MainWindow::previewScript() {
    const script::Script& script = m_scriptEditor->script();
    const ScriptEditState state = m_scriptEditor->state();
    if ((state != ScriptEditState::Viewing && state != ScriptEditState::Results) ||
        script.entries.empty())
        return;
    if (!script::scriptReplaces(script)) {
        m_services->showMessage(
            this, QStringLiteral("The script replaces nothing, so there is nothing to preview."));
        return;
    }
    script::ScriptRunSettings run;
    if (!scriptSettings(script, run))
        return;
    run.scan = planned(run.scan);
    m_planRequest = {"script " + (script.fileName.empty() ? "(not saved)" : script.fileName), ""};
    startScriptRun(script, run, &MainWindow::scriptPreviewEnded);
}

void MainWindow::previewEnded(const QString& error, bool stopped) {
    showFindEnd(error, stopped, GridContent::Plan);
}

void MainWindow::scriptPreviewEnded(const QString& error, bool stopped) {
    showScriptEnd(error, stopped, GridContent::Plan);
}

void MainWindow::planChecksChanged() {
    m_summaryLine->showSummary(m_resultsPane->planSummary());
}

void MainWindow::applyPlan() {
    if (m_run->isRunning())
        return;
    const ChangePlan& plan = m_resultsPane->plan();
    if (plan.checkedCount() == 0) {
        m_services->showMessage(this, QStringLiteral("No change is checked: nothing was written."));
        return;
    }
    // Made before the question, which then says that the old content is kept.
    std::unique_ptr<search::UndoJournal> journal;
    if (!makeJournal(m_planRequest, journal))
        return;
    const bool inPlace = settings().replaceInSitu;
    const std::string question = planQuestion(plan, inPlace, journal != nullptr);
    if (!m_services->askYesNo(this, toQString(question)))
        return;
    m_journal = std::move(journal);
    m_runNote.clear();
    // The grid keeps showing the plan while the worker reads it; the boxes are copied.
    const search::SearchResults* results = &m_resultsPane->results();
    search::UndoJournal* kept = m_journal.get();
    startRun(
        [this, results, chosen = plan.chosen(), inPlace,
         kept](const search::ProgressEvent& progress, std::stop_token stop) {
            m_applied = applyCheckedChanges(*results, chosen, inPlace, kept, progress, stop);
            return QString();
        },
        &MainWindow::applyEnded);
}

void MainWindow::applyEnded(const QString& error, bool) {
    // The plan is spent: what it showed is no longer what the files hold.
    m_runNote = error.isEmpty() ? toQString(appliedNote(m_applied)) : QString();
    showWrites(appliedReport(m_applied), QStringLiteral("See below for the files written"));
    if (!error.isEmpty()) {
        m_services->showMessage(this, error);
        return;
    }
    if (!m_applied.refused.empty())
        m_services->showMessage(this, refusedText(m_applied.refused));
}

void MainWindow::showWrites(WriteReport report, const QString& status) {
    m_reportStatus = status;
    m_resultsPane->showReport(std::move(report));
    if (m_mode == Mode::Script) {
        showScriptOutcome(GridContent::Report);
    } else {
        setGridContent(GridContent::Report);
    }
    m_resultsPane->grid().setFocus(); // so that Ctrl+Z undoes it at once
    refreshModeStatus();
}

} // namespace kestrava::ui
