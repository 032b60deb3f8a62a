// The Find/Replace press, the script run, and the one worker that runs every search. The checks
// and the confirmation happen on the window thread; the search runs on a worker thread and
// reports progress through queued calls, so the window repaints and stays responsive, and Escape
// or Cancel stops it within a moment, even inside a long file.
#include "main_window.h"

#include "criteria_panel.h"
#include "qt_text.h"
#include "results_pane.h"
#include "script_editor.h"
#include "status_area.h"

#include "search/find_session.h"
#include "util/text.h"

#include <QAction>
#include <QMenu>

namespace kestrava::ui {

void MainWindow::startAction(ActionButton button) {
    // Under a replace preview the action writes the changes left checked.
    if (m_gridContent == GridContent::Plan &&
        (button == ActionButton::Replace || button == ActionButton::RunScript))
        applyPlan();
    else if (button == ActionButton::RunScript)
        runScript();
    else if (button != ActionButton::List)
        startFind();
}

search::ScanOptions MainWindow::scanOptions() const {
    search::ScanOptions options;
    options.skipBinary = settings().skipBinaryFiles;
    options.respectGitignore = settings().respectGitignore;
    options.includeHidden = settings().includeHidden;
    return options;
}

void MainWindow::startFind() {
    if (m_run->isRunning())
        return;
    const bool replacing = m_mode == Mode::FindAndReplace;
    search::Criteria criteria = m_criteria->criteria();
    // Made before the question, which then says that the old content is kept.
    std::unique_ptr<search::UndoJournal> journal;
    if (replacing && !makeJournal({criteria.find, criteria.replace}, journal))
        return;
    search::ScanOptions scan = scanOptions();
    scan.undoJournal = journal.get();
    // Shared with the worker, which owns the compiled patterns while it runs.
    search::FindRequest request{
        std::move(criteria),      replacing, settings().caseSensitiveMatching,
        settings().replaceInSitu, 0,         scan};
    auto session = std::make_shared<search::FindSession>(std::move(request));
    if (const std::string error = session->check(); !error.empty()) {
        m_services->showError(this, toQString(error));
        return;
    }
    if (const std::string question = session->question();
        !question.empty() && !m_services->askYesNo(this, toQString(question)))
        return;
    m_journal = std::move(journal);
    runFindSession(session, replacing, &MainWindow::findEnded);
}

void MainWindow::runFindSession(const std::shared_ptr<search::FindSession>& session, bool replacing,
                                void (MainWindow::*ended)(const QString&, bool)) {
    m_criteria->setActionEnabled(replacing ? ActionButton::Replace : ActionButton::Find, false);
    m_summaryLine->showNote({});
    m_runNote.clear();
    // A plan is shown once it is complete; a find or a replace as it goes on.
    const std::shared_ptr<WindowSink> sink = startShownRun(ended == &MainWindow::findEnded);
    startRun(
        [session, sink, totals = m_runTotals](const search::ProgressEvent& progress,
                                              std::stop_token stop) {
            const search::FindOutcome outcome =
                session->run(*totals, sink->telling(progress), stop, sink.get());
            sink->handOver();
            return outcome.failed ? toQString(outcome.message) : QString();
        },
        ended);
}

std::shared_ptr<WindowSink> MainWindow::startShownRun(bool shown) {
    m_resultsPane->startRun(shown);
    m_runTotals = std::make_shared<search::SearchResults>();
    m_runFound = false;
    // Woken by name: the queued call carries nothing the worker wrote, the batches come under
    // the sink's lock.
    m_runSink = std::make_shared<WindowSink>(
        [this] { QMetaObject::invokeMethod(this, "takeBatches", Qt::QueuedConnection); });
    return m_runSink;
}

void MainWindow::takeBatches() {
    if (!m_runSink)
        return;
    for (FoundBatch& batch : m_runSink->takeBatches()) {
        const results::SummaryTexts found = m_resultsPane->addFound(batch);
        m_runFound = m_runFound || !batch.files.empty();
        if (m_runFound)
            m_summaryLine->showSummary(found);
    }
}

namespace {

// How the undo journal names a script run.
std::string scriptName(const script::Script& script) {
    return script.fileName.empty() ? std::string("(not saved)") : script.fileName;
}

} // namespace

bool MainWindow::scriptSettings(const script::Script& script, script::ScriptRunSettings& run) {
    run.rootFolder = m_criteria->rootFolder().toStdString();
    run.caseSensitive = settings().caseSensitiveMatching;
    run.replaceInPlace = settings().replaceInSitu;
    run.scan = scanOptions();
    if (script::scriptUsesRootFolder(script) && util::trimControl(run.rootFolder).empty()) {
        m_services->showMessage(this, toQString(script::rootFolderEmptyText()));
        return false;
    }
    return true;
}

void MainWindow::runScript() {
    const script::Script& script = m_scriptEditor->script();
    if (m_run->isRunning() || m_scriptEditor->state() != ScriptEditState::Viewing ||
        script.entries.empty())
        return;
    // The checks and the question happen here, on the window thread; the worker's run then
    // goes ahead without asking.
    script::ScriptRunSettings run;
    if (!scriptSettings(script, run))
        return;
    const bool replaces = script::scriptReplaces(script);
    std::unique_ptr<search::UndoJournal> journal;
    if (replaces && !makeJournal({"script " + scriptName(script), ""}, journal))
        return;
    run.scan.undoJournal = journal.get();
    const std::string question =
        script::scriptConfirmText(replaces, run.replaceInPlace, journal != nullptr);
    if (!m_services->askYesNo(this, toQString(question)))
        return;
    m_journal = std::move(journal);
    startScriptRun(script, run, &MainWindow::scriptRunEnded);
}

void MainWindow::startScriptRun(const script::Script& script, const script::ScriptRunSettings& run,
                                void (MainWindow::*ended)(const QString&, bool)) {
    m_runNote.clear();
    m_criteria->setActionEnabled(ActionButton::RunScript, false);
    // The grid shows the script while it runs; its results come at the end.
    const std::shared_ptr<WindowSink> sink = startShownRun(false);
    m_scriptOutcome = std::make_shared<script::ScriptRunResult>();
    startRun(
        [script, run, sink, totals = m_runTotals,
         outcome = m_scriptOutcome](const search::ProgressEvent& progress, std::stop_token stop) {
            script::ScriptRunEvents events;
            events.progress = sink->telling(progress);
            events.sink = sink.get();
            search::CompiledRequest compiled;
            *outcome = script::runScript(script, run, compiled, *totals, events, stop);
            sink->handOver();
            return QString();
        },
        ended);
}

void MainWindow::startRun(BackgroundRun::Job job, void (MainWindow::*ended)(const QString&, bool)) {
    m_runEnded = ended;
    // The job owns copies of what it searches and what it finds, until it has ended. Running
    // before the controls change: a box that loses the focus then must see the run.
    m_run->start(std::move(job));
    setRunControls(true);
}

void MainWindow::finishRun(const QString& error, bool stopped) {
    takeBatches(); // the worker has ended: what it handed over last is all there is
    m_runSink.reset();
    if (m_runTotals)
        m_resultsPane->endRun(std::move(*std::exchange(m_runTotals, nullptr)), !error.isEmpty());
    if (m_scriptOutcome)
        m_scriptRun = std::move(*std::exchange(m_scriptOutcome, nullptr));
    closeJournal();
    setRunControls(false);
    (this->*m_runEnded)(error, stopped);
    refreshModeStatus();
    emit runEnded();
}

void MainWindow::showRunProgress(const search::Progress& progress) {
    if (!m_run->isRunning())
        return;
    QString text = toQString(search::progressText(progress));
    if (const std::string detail = search::progressDetail(progress); !detail.empty())
        text += QStringLiteral(" - ") + toQString(detail);
    if (m_runFound) // the summary line tells what was found so far
        m_statusBar->showText(QStringLiteral(" ") + text);
    else
        showStatusText(text);
    // Busy (no range) while the file list is still being made.
    m_statusBar->showProgress(progress.filesDone, progress.filesTotal);
}

void MainWindow::findEnded(const QString& error, bool stopped) {
    showFindEnd(error, stopped, GridContent::Results);
    if (error.isEmpty() && m_mode == Mode::FindAndReplace)
        noteRunWrites();
}

void MainWindow::noteRunWrites() {
    WriteReport writes = fileWrites(m_resultsPane->results(), settings().replaceInSitu);
    const QString written = toQString(writtenNote(writes));
    if (!written.isEmpty())
        m_runNote = m_runNote.isEmpty() ? written : written + QStringLiteral("; ") + m_runNote;
    m_resultsPane->noteFileWrites(std::move(writes));
    m_resultsPane->grid().setFocus(); // so that Ctrl+Z undoes it at once
}

void MainWindow::showFindEnd(const QString& error, bool stopped, GridContent shown) {
    if (!error.isEmpty()) {
        // The results are as the failed run left them: cleared when the engine failed.
        m_services->showMessage(this, error);
    } else {
        m_runNote = runEndNote(QStringLiteral("search"), m_resultsPane->results(), stopped);
        m_resultsPane->setView(results::View::LinesWithMatches);
        setGridContent(shown);
        // Files left as they were, and backups of interrupted rewrites, must not go unseen.
        if (const QString warnings = runWarnings(m_resultsPane->results()); !warnings.isEmpty())
            m_services->showMessage(this, warnings);
    }
}

void MainWindow::scriptRunEnded(const QString& error, bool stopped) {
    showScriptEnd(error, stopped, GridContent::Results);
    if (m_scriptEditor->state() == ScriptEditState::Results &&
        script::scriptReplaces(m_scriptEditor->script()))
        noteRunWrites();
}

void MainWindow::showScriptOutcome(GridContent shown) {
    m_scriptShows = shown;
    m_scriptEditor->setState(ScriptEditState::Results);
    m_scriptShows = GridContent::Results;
}

void MainWindow::showScriptEnd(const QString& error, bool stopped, GridContent shown) {
    if (!error.isEmpty())
        m_scriptRun = {script::ScriptRunOutcome::Failed,
                       "Error running script: " + error.toStdString(),
                       script::MessageKind::Message};
    if (m_scriptRun.outcome == script::ScriptRunOutcome::Completed ||
        m_scriptRun.outcome == script::ScriptRunOutcome::Cancelled) {
        m_runNote = runEndNote(QStringLiteral("script run"), m_resultsPane->results(), stopped);
        m_resultsPane->setView(results::View::LinesWithMatches);
        showScriptOutcome(shown); // the results are shown as the plan, or as found
        if (const QString warnings = runWarnings(m_resultsPane->results()); !warnings.isEmpty())
            m_services->showMessage(this, warnings);
    } else {
        // Back to the script, then the reason; groups searched before a failure keep their
        // results for View Results.
        setGridContent(GridContent::Script);
        if (!m_scriptRun.message.empty())
            m_services->showMessage(this, toQString(m_scriptRun.message));
    }
}

void MainWindow::setRunControls(bool running) {
    m_statusBar->setRunning(running);
    // Nothing that changes the criteria, the mode or the settings may happen under a run.
    m_criteria->setRowsEditable(!running);
    m_scriptEditor->setEnabled(!running);
    if (running)
        m_resultsPane->grid().setEnabled(false); // until the first rows arrive
    for (QMenu* menu : {m_modeMenu, m_viewMenu, m_scriptMenu})
        menu->setEnabled(!running);
    // Enabling a menu enables its title too; the Script menu belongs to Script mode only.
    m_scriptMenu->menuAction()->setEnabled(!running && m_mode == Mode::Script);
    m_preferencesAction->setEnabled(!running);
    m_undoAction->setEnabled(!running);
    if (running)
        setPreviewEnabled(false); // the mode status enables it again afterwards
}

void MainWindow::cancelRun() {
    if (!m_run->requestStop())
        return;
    m_statusBar->setStopping();
    showStatusText(QStringLiteral("Stopping .."));
}

void MainWindow::showStatusText(const QString& text) {
    m_summaryLine->showNote(text);
    m_statusBar->showText(QStringLiteral(" ") + text);
}

} // namespace kestrava::ui
