// The Find/Replace press and the one worker that runs every search, a Find's or a script's. The
// checks and the confirmation happen on the window thread; the search runs on a worker thread and
// reports progress through queued calls, so the window repaints and stays responsive, and Escape
// or Cancel stops it within a moment, even inside a long file.
#include "kes_fmMain.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString FileCountText(int32_t count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

} // namespace

bool kes::ParseProgressText(const QString& text, int& current, int& total) {
    static const QRegularExpression pattern(QStringLiteral("^Processing file (\\d+) of (\\d+)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    current = match.captured(1).toInt();
    total = match.captured(2).toInt();
    return true;
}

void TfmMain::bbFindClick() {
    if (FRunning)
        return;
    const bool replacing = FMode == kes::mdFindAndReplace;
    const kes::TkesSpecs criteria = GetCriteria();
    const std::string error =
        kes::PrepareFindReplace(criteria, replacing, Settings().CaseSensitiveMatching, FSpecs);
    if (!error.empty()) {
        FServices->ShowError(this, Q(error));
        return;
    }
    if (replacing &&
        !FServices->AskYesNo(this, Q(kes::ReplaceConfirmText(Settings().ReplaceInSitu))))
        return;
    FOperationName = replacing ? QStringLiteral("Replace") : QStringLiteral("Find");
    (replacing ? bbReplace : bbFind)->setEnabled(false);

    FResultRows.clear();
    DrawGrid1->ClearDrawGrid(1);
    DrawGrid1->ShowEmpty();
    for (size_t i = 1; i < laMatchResults.size(); ++i)
        laMatchResults[i]->hide();
    FRunNote.clear();
    kes::ClearMatchResults(FResults);
    kes::TkesFoldersToSearch folders;
    kes::TkesFilesToSearch files;
    try {
        kes::ParseFilesToSearch(criteria.Files, files);
        kes::ParseFoldersToSearch(criteria.Folders, folders);
    } catch (const std::exception& e) {
        RunFinished(Q(e.what()));
        return;
    }
    const bool inPlace = Settings().ReplaceInSitu;
    StartRun(
        [this, folders, files, inPlace](const kes::TkesProgressEvent& progress,
                                        std::stop_token stop) {
            kes::ScanFiles(folders, files, FSpecs, inPlace, FResults, progress, stop);
            return QString();
        },
        &TfmMain::RunFinished);
}

void TfmMain::StartRun(TRunJob job, void (TfmMain::*finished)(const QString&)) {
    SetRunControls(true);
    // The job owns copies of what it searches; the window leaves FSpecs and FResults alone
    // until `finished`, which runs after the worker has returned.
    FRun = std::jthread([this, job = std::move(job), finished](std::stop_token stop) {
        const kes::TkesProgressEvent progress = [this](const std::string& text) {
            QMetaObject::invokeMethod(
                this, [this, status = Q(text)] { ShowRunProgress(status); }, Qt::QueuedConnection);
        };
        QString error;
        try {
            error = job(progress, stop);
        } catch (const std::exception& e) {
            error = Q(e.what());
            if (error.isEmpty())
                error = QStringLiteral("unknown error");
        }
        QMetaObject::invokeMethod(
            this, [this, error, finished] { (this->*finished)(error); }, Qt::QueuedConnection);
    });
}

bool TfmMain::EndRun(bool& stopped) {
    // A stop that came while the file list was still being built can leave nothing to cancel;
    // the user asked for it all the same.
    stopped = FRun.get_stop_token().stop_requested();
    if (FRun.joinable())
        FRun.join();
    SetRunControls(false);
    return !FDestroyed;
}

void TfmMain::NoteRunEnd(const QString& what, bool stopped) {
    if (FResults.Cancelled || stopped)
        FRunNote = what + QStringLiteral(" cancelled after ") +
                   FileCountText(FResults.FilesScanned) +
                   QStringLiteral(": the results found so far are shown");
    if (FResults.FilesSkipped > 0)
        FRunNote += (FRunNote.isEmpty() ? QString() : QStringLiteral("; ")) +
                    FileCountText(FResults.FilesSkipped) + QStringLiteral(" could not be read");
    if (!FResults.NotReplaced.empty())
        FRunNote += (FRunNote.isEmpty() ? QString() : QStringLiteral("; ")) +
                    FileCountText(static_cast<int32_t>(FResults.NotReplaced.size())) +
                    QStringLiteral(" not replaced");
}

QString TfmMain::RunWarnings() const {
    QStringList lines;
    for (const kes::TkesSkippedFile& file : FResults.NotReplaced)
        lines << QStringLiteral("Not replaced: ") + Q(file.FileName) + QStringLiteral(": ") +
                     Q(file.Message);
    for (const std::string& notice : FResults.Notices)
        lines << Q(notice);
    return lines.join(QStringLiteral("\r\n"));
}

void TfmMain::ShowRunProgress(const QString& text) {
    if (!FRunning)
        return;
    ShowStatusText(text);
    int current = 0;
    int total = 0;
    if (kes::ParseProgressText(text, current, total)) {
        pbProgress->setRange(0, total);
        pbProgress->setValue(current);
    } else {
        pbProgress->setRange(0, 0); // busy: the file list is still being built
    }
}

void TfmMain::RunFinished(const QString& error) {
    bool stopped = false;
    if (!EndRun(stopped))
        return;
    if (!error.isEmpty()) {
        // The results are as the failed run left them: cleared when the engine failed.
        FServices->ShowMessage(this, QStringLiteral("Error during ") + FOperationName +
                                         QStringLiteral(": ") + error);
    } else {
        NoteRunEnd(QStringLiteral("search"), stopped);
        FResultView = kes::rvLinesWithMatches;
        SetGridContent(gcResults);
        // Files left as they were, and backups of interrupted rewrites, must not go unseen.
        if (const QString warnings = RunWarnings(); !warnings.isEmpty())
            FServices->ShowMessage(this, warnings);
    }
    RefreshModeStatus(FMode);
    emit RunEnded();
}

void TfmMain::SetRunControls(bool running) {
    FRunning = running;
    pbProgress->setVisible(running);
    bbCancelRun->setVisible(running);
    bbCancelRun->setEnabled(running);
    pbProgress->setRange(0, 0);
    // Nothing that changes the criteria, the mode or the settings may happen under a run.
    paFolderFile->setEnabled(!running);
    paFindReplace->setEnabled(!running);
    paScriptMaintenance->setEnabled(!running);
    if (running)
        DrawGrid1->setEnabled(false); // it shows nothing until the run's results arrive
    for (QMenu* menu : {mmMode, mmView, mmScript})
        menu->setEnabled(!running);
    // Enabling a menu enables its title too; the Script menu belongs to Script mode only.
    mmScript->menuAction()->setEnabled(!running && FMode == kes::mdScript);
    mmFile_Preferences->setEnabled(!running);
}

void TfmMain::CancelRun() {
    if (!FRunning || !FRun.joinable())
        return;
    FRun.request_stop();
    bbCancelRun->setEnabled(false);
    ShowStatusText(QStringLiteral("Stopping .."));
}

void TfmMain::StopRunAndWait() {
    if (FRun.joinable()) {
        FRun.request_stop();
        FRun.join();
    }
}

void TfmMain::ShowStatusText(const QString& text) {
    laMatchResults[0]->setText(text);
    laMatchResults[0]->adjustSize();
    StatusBar1Text->setText(QStringLiteral(" ") + text);
}

QString TfmMain::StatusBarText() const {
    return StatusBar1Text->text();
}
