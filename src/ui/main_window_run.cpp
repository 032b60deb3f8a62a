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

#include <QAction>
#include <QMenu>

namespace kestrava::ui {

namespace {

QString fileCountText(int32_t count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

} // namespace

void MainWindow::startAction(ActionButton button) {
    if (button == ActionButton::RunScript)
        runScript();
    else if (button != ActionButton::List)
        startFind();
}

void MainWindow::startFind() {
    if (m_running)
        return;
    const bool replacing = m_mode == util::Mode::FindAndReplace;
    // Shared with the worker, which owns the compiled patterns while it runs.
    auto session = std::make_shared<search::FindSession>(
        search::FindRequest{m_criteria->criteria(), replacing, settings().caseSensitiveMatching,
                            settings().replaceInSitu});
    if (const std::string error = session->check(); !error.empty()) {
        m_services->showError(this, toQString(error));
        return;
    }
    if (const std::string question = session->question();
        !question.empty() && !m_services->askYesNo(this, toQString(question)))
        return;
    m_criteria->setActionEnabled(replacing ? ActionButton::Replace : ActionButton::Find, false);
    m_resultsPane->showEmpty();
    m_summaryLine->showNote({});
    m_runNote.clear();
    search::SearchResults* results = &m_resultsPane->results();
    search::clearMatchResults(*results);
    startRun(
        [session, results](const search::ProgressEvent& progress, std::stop_token stop) {
            const search::FindOutcome outcome = session->run(*results, progress, stop);
            return outcome.failed ? toQString(outcome.message) : QString();
        },
        &MainWindow::runFinished);
}

void MainWindow::runScript() {
    const script::Script& script = m_scriptEditor->script();
    if (m_running || script.state != ScriptEditState::Viewing || script.entries.empty())
        return;
    script::ScriptRunSettings run;
    run.rootFolder = m_criteria->rootFolder().toStdString();
    run.caseSensitive = settings().caseSensitiveMatching;
    run.replaceInPlace = settings().replaceInSitu;
    // The checks and the question happen here, on the window thread; the worker's run then
    // goes ahead without asking.
    if (script::scriptUsesRootFolder(script) && util::trimControl(run.rootFolder).empty()) {
        m_services->showMessage(this, toQString(script::rootFolderEmptyText()));
        return;
    }
    const std::string question =
        script::scriptConfirmText(script::scriptReplaces(script), run.replaceInPlace);
    if (!m_services->askYesNo(this, toQString(question)))
        return;
    // The run will clear the results: nothing on screen may point into them any more.
    m_resultsPane->showEmpty();
    m_runNote.clear();
    m_criteria->setActionEnabled(ActionButton::RunScript, false);
    search::SearchResults* results = &m_resultsPane->results();
    startRun(
        [this, script, run, results](const search::ProgressEvent& progress, std::stop_token stop) {
            script::ScriptRunEvents events;
            events.progress = progress;
            m_scriptRun = script::runScript(script, run, m_specs, *results, events, stop);
            return QString();
        },
        &MainWindow::scriptRunFinished);
}

void MainWindow::startRun(RunJob job, void (MainWindow::*finished)(const QString&)) {
    setRunControls(true);
    // The job owns copies of what it searches; the window leaves m_specs and the results alone
    // until `finished`, which runs after the worker has returned.
    m_run = std::jthread([this, job = std::move(job), finished](std::stop_token stop) {
        const search::ProgressEvent progress = [this](const search::Progress& where) {
            QMetaObject::invokeMethod(
                this, [this, where] { showRunProgress(where); }, Qt::QueuedConnection);
        };
        QString error;
        try {
            error = job(progress, stop);
        } catch (const std::exception& e) {
            error = toQString(e.what());
            if (error.isEmpty())
                error = QStringLiteral("unknown error");
        }
        QMetaObject::invokeMethod(
            this, [this, error, finished] { (this->*finished)(error); }, Qt::QueuedConnection);
    });
}

bool MainWindow::endRun(bool& stopped) {
    // A stop that came while the file list was still being built can leave nothing to cancel;
    // the user asked for it all the same.
    stopped = m_run.get_stop_token().stop_requested();
    if (m_run.joinable())
        m_run.join();
    setRunControls(false);
    return !m_destroyed;
}

void MainWindow::noteRunEnd(const QString& what, bool stopped) {
    const search::SearchResults& results = m_resultsPane->results();
    if (results.cancelled || stopped)
        m_runNote = what + QStringLiteral(" cancelled after ") +
                    fileCountText(results.filesScanned) +
                    QStringLiteral(": the results found so far are shown");
    if (results.filesSkipped > 0)
        m_runNote += (m_runNote.isEmpty() ? QString() : QStringLiteral("; ")) +
                     fileCountText(results.filesSkipped) + QStringLiteral(" could not be read");
    if (!results.notReplaced.empty())
        m_runNote += (m_runNote.isEmpty() ? QString() : QStringLiteral("; ")) +
                     fileCountText(static_cast<int32_t>(results.notReplaced.size())) +
                     QStringLiteral(" not replaced");
}

QString MainWindow::runWarnings() const {
    QStringList lines;
    const search::SearchResults& results = m_resultsPane->results();
    for (const search::SkippedFile& file : results.notReplaced)
        lines << QStringLiteral("Not replaced: ") + toQString(file.fileName) +
                     QStringLiteral(": ") + toQString(file.message);
    for (const std::string& notice : results.notices)
        lines << toQString(notice);
    return lines.join(QStringLiteral("\r\n"));
}

void MainWindow::showRunProgress(const search::Progress& progress) {
    if (!m_running)
        return;
    showStatusText(toQString(search::progressText(progress)));
    // Busy (no range) while the file list is still being made.
    m_statusBar->showProgress(progress.filesDone, progress.filesTotal);
}

void MainWindow::runFinished(const QString& error) {
    bool stopped = false;
    if (!endRun(stopped))
        return;
    if (!error.isEmpty()) {
        // The results are as the failed run left them: cleared when the engine failed.
        m_services->showMessage(this, error);
    } else {
        noteRunEnd(QStringLiteral("search"), stopped);
        m_resultsPane->setView(results::View::LinesWithMatches);
        setGridContent(GridContent::Results);
        // Files left as they were, and backups of interrupted rewrites, must not go unseen.
        if (const QString warnings = runWarnings(); !warnings.isEmpty())
            m_services->showMessage(this, warnings);
    }
    refreshModeStatus();
    emit runEnded();
}

void MainWindow::scriptRunFinished(const QString& error) {
    bool stopped = false;
    if (!endRun(stopped))
        return;
    if (!error.isEmpty())
        m_scriptRun = {script::ScriptRunOutcome::Failed,
                       "Error running script: " + error.toStdString(),
                       script::MessageKind::Message};
    if (m_scriptRun.outcome == script::ScriptRunOutcome::Completed ||
        m_scriptRun.outcome == script::ScriptRunOutcome::Cancelled) {
        noteRunEnd(QStringLiteral("script run"), stopped);
        m_resultsPane->setView(results::View::LinesWithMatches);
        m_scriptEditor->setState(ScriptEditState::Results);
        if (const QString warnings = runWarnings(); !warnings.isEmpty())
            m_services->showMessage(this, warnings);
    } else {
        // Back to the script, then the reason; groups searched before a failure keep their
        // results for View Results.
        setGridContent(GridContent::Script);
        if (!m_scriptRun.message.empty())
            m_services->showMessage(this, toQString(m_scriptRun.message));
    }
    refreshModeStatus();
    emit runEnded();
}

void MainWindow::setRunControls(bool running) {
    m_running = running;
    m_statusBar->setRunning(running);
    // Nothing that changes the criteria, the mode or the settings may happen under a run.
    m_criteria->setRowsEditable(!running);
    m_scriptEditor->setEnabled(!running);
    if (running)
        m_resultsPane->grid().setEnabled(false); // it shows nothing until the results arrive
    for (QMenu* menu : {m_modeMenu, m_viewMenu, m_scriptMenu})
        menu->setEnabled(!running);
    // Enabling a menu enables its title too; the Script menu belongs to Script mode only.
    m_scriptMenu->menuAction()->setEnabled(!running && m_mode == util::Mode::Script);
    m_preferencesAction->setEnabled(!running);
}

void MainWindow::cancelRun() {
    if (!m_running || !m_run.joinable())
        return;
    m_run.request_stop();
    m_statusBar->setStopping();
    showStatusText(QStringLiteral("Stopping .."));
}

void MainWindow::stopRunAndWait() {
    if (m_run.joinable()) {
        m_run.request_stop();
        m_run.join();
    }
}

void MainWindow::showStatusText(const QString& text) {
    m_summaryLine->showNote(text);
    m_statusBar->showText(QStringLiteral(" ") + text);
}

} // namespace kestrava::ui
