// The Find/Replace press and the one worker that runs every search, a Find's or a script's. The
// checks and the confirmation happen on the window thread; the search runs on a worker thread and
// reports progress through queued calls, so the window repaints and stays responsive, and Escape
// or Cancel stops it within a moment, even inside a long file.
#include "main_window.h"

#include "qt_text.h"
#include "search/find_session.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>

namespace kestrava::ui {

namespace {

QString fileCountText(int32_t count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

} // namespace

void MainWindow::startFind() {
    if (m_running)
        return;
    const bool replacing = m_mode == util::Mode::FindAndReplace;
    // Shared with the worker, which owns the compiled patterns while it runs.
    auto session = std::make_shared<search::FindSession>(search::FindRequest{
        getCriteria(), replacing, settings().caseSensitiveMatching, settings().replaceInSitu});
    if (const std::string error = session->check(); !error.empty()) {
        m_services->showError(this, toQString(error));
        return;
    }
    if (const std::string question = session->question();
        !question.empty() && !m_services->askYesNo(this, toQString(question)))
        return;
    (replacing ? replaceButton : findButton)->setEnabled(false);

    m_resultRows.clear();
    resultsGrid->clearDrawGrid(1);
    resultsGrid->showEmpty();
    for (size_t i = 1; i < summaryLabels.size(); ++i)
        summaryLabels[i]->hide();
    m_runNote.clear();
    search::clearMatchResults(m_results);
    startRun(
        [this, session](const search::ProgressEvent& progress, std::stop_token stop) {
            const search::FindOutcome outcome = session->run(m_results, progress, stop);
            return outcome.failed ? toQString(outcome.message) : QString();
        },
        &MainWindow::runFinished);
}

void MainWindow::startRun(RunJob job, void (MainWindow::*finished)(const QString&)) {
    setRunControls(true);
    // The job owns copies of what it searches; the window leaves m_specs and m_results alone
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
    if (m_results.cancelled || stopped)
        m_runNote = what + QStringLiteral(" cancelled after ") +
                    fileCountText(m_results.filesScanned) +
                    QStringLiteral(": the results found so far are shown");
    if (m_results.filesSkipped > 0)
        m_runNote += (m_runNote.isEmpty() ? QString() : QStringLiteral("; ")) +
                     fileCountText(m_results.filesSkipped) + QStringLiteral(" could not be read");
    if (!m_results.notReplaced.empty())
        m_runNote += (m_runNote.isEmpty() ? QString() : QStringLiteral("; ")) +
                     fileCountText(static_cast<int32_t>(m_results.notReplaced.size())) +
                     QStringLiteral(" not replaced");
}

QString MainWindow::runWarnings() const {
    QStringList lines;
    for (const search::SkippedFile& file : m_results.notReplaced)
        lines << QStringLiteral("Not replaced: ") + toQString(file.fileName) +
                     QStringLiteral(": ") + toQString(file.message);
    for (const std::string& notice : m_results.notices)
        lines << toQString(notice);
    return lines.join(QStringLiteral("\r\n"));
}

void MainWindow::showRunProgress(const search::Progress& progress) {
    if (!m_running)
        return;
    showStatusText(toQString(search::progressText(progress)));
    // Busy (no range) while the file list is still being made.
    progressBar->setRange(0, progress.filesTotal);
    progressBar->setValue(progress.filesDone);
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
        m_resultView = results::View::LinesWithMatches;
        setGridContent(GridContent::Results);
        // Files left as they were, and backups of interrupted rewrites, must not go unseen.
        if (const QString warnings = runWarnings(); !warnings.isEmpty())
            m_services->showMessage(this, warnings);
    }
    refreshModeStatus(m_mode);
    emit runEnded();
}

void MainWindow::setRunControls(bool running) {
    m_running = running;
    progressBar->setVisible(running);
    stopRunButton->setVisible(running);
    stopRunButton->setEnabled(running);
    progressBar->setRange(0, 0);
    // Nothing that changes the criteria, the mode or the settings may happen under a run.
    folderFilePanel->setEnabled(!running);
    findReplacePanel->setEnabled(!running);
    scriptBar->setEnabled(!running);
    if (running)
        resultsGrid->setEnabled(false); // it shows nothing until the run's results arrive
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
    stopRunButton->setEnabled(false);
    showStatusText(QStringLiteral("Stopping .."));
}

void MainWindow::stopRunAndWait() {
    if (m_run.joinable()) {
        m_run.request_stop();
        m_run.join();
    }
}

void MainWindow::showStatusText(const QString& text) {
    summaryLabels[0]->setText(text);
    summaryLabels[0]->adjustSize();
    statusText->setText(QStringLiteral(" ") + text);
}

QString MainWindow::statusBarText() const {
    return statusText->text();
}

} // namespace kestrava::ui
