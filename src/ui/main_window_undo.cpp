// The undo journal of the window's replacing runs, and Edit > Undo Last Replace. A run whose
// journal cannot be made replaces nothing; the undo itself is quick (renames and links), so it
// runs on the window thread, between runs.
#include "main_window.h"

#include "qt_text.h"
#include "script_editor.h"

#include "config/config_paths.h"

#include <QAction>
#include <QStringList>

namespace kestrava::ui {

namespace {

// Restored files named in the report; the rest are counted.
constexpr size_t kNamedRestored = 20;

QString filesText(size_t count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

// The journal folder; raises UndoJournalError when there is no home to keep it in.
std::string journalRoot() {
    std::string root = config::undoJournalFolder();
    if (root.empty())
        throw search::UndoJournalError("No home folder to keep the undo journal in");
    return root;
}

QString undoQuestion(int32_t files) {
    return QStringLiteral("Undo the replacement in ") + filesText(static_cast<size_t>(files)) +
           QStringLiteral("?");
}

// What was put back and what was refused, each refused file with why.
QString undoReport(const search::UndoOutcome& outcome) {
    QStringList lines{QStringLiteral("Put back ") + filesText(outcome.restored.size()) +
                      QStringLiteral(" of run ") + toQString(outcome.runId) +
                      (outcome.restored.empty() ? QStringLiteral(".") : QStringLiteral(":"))};
    for (size_t i = 0; i < outcome.restored.size() && i < kNamedRestored; ++i)
        lines << toQString(outcome.restored[i]);
    if (outcome.restored.size() > kNamedRestored)
        lines << QStringLiteral("and ") +
                     QString::number(outcome.restored.size() - kNamedRestored) +
                     QStringLiteral(" more");
    if (!outcome.refused.empty())
        lines << QString()
              << QStringLiteral("Refused ") + filesText(outcome.refused.size()) +
                     QStringLiteral(":");
    for (const auto& [path, why] : outcome.refused)
        lines << toQString(path) + QStringLiteral(": ") + toQString(why);
    if (!outcome.notices.empty())
        lines << QString();
    for (const std::string& notice : outcome.notices)
        lines << toQString(notice);
    return lines.join(QStringLiteral("\r\n"));
}

QString undoStatus(const search::UndoOutcome& outcome) {
    QString text =
        QStringLiteral("Undo: ") + filesText(outcome.restored.size()) + QStringLiteral(" put back");
    if (!outcome.refused.empty())
        text += QStringLiteral(", ") + QString::number(outcome.refused.size()) +
                QStringLiteral(" refused");
    return text;
}

} // namespace

bool MainWindow::makeJournal(const search::UndoRunRequest& request,
                             std::unique_ptr<search::UndoJournal>& journal) {
    if (!settings().keepUndoJournal)
        return true;
    try {
        journal = std::make_unique<search::UndoJournal>(journalRoot(), request);
        return true;
    } catch (const std::exception& e) {
        m_services->showError(
            this, toQString(e.what()) +
                      QStringLiteral("\r\n\r\nNothing was replaced. To replace without keeping "
                                     "the old content, turn off \"Keep an undo journal\" in "
                                     "File > Preferences."));
    }
    return false;
}

void MainWindow::closeJournal() {
    if (!m_journal)
        return;
    const bool kept = m_journal->files() > 0;
    m_journal.reset(); // a journal that kept nothing removes itself
    // Older runs go only once a newer one has kept something.
    if (kept)
        search::pruneUndoRuns(config::undoJournalFolder(),
                              {settings().undoRunsKept, settings().undoBytesKept});
}

void MainWindow::undoLastReplace() {
    if (m_run->isRunning() || m_scriptEditor->isEditingItem())
        return;
    const std::string root = config::undoJournalFolder();
    std::string message = "No home folder to keep the undo journal in";
    const std::optional<search::UndoRunInfo> run =
        root.empty() ? std::nullopt : search::undoCandidate(root, "", message);
    if (!run) {
        m_services->showMessage(this, toQString(message));
        return;
    }
    if (!m_services->askYesNo(this, undoQuestion(run->files)))
        return;
    // By its id: the run asked about, even should another program have replaced meanwhile.
    const search::UndoOutcome outcome = search::undoRun(root, run->id, false);
    if (!outcome.message.empty()) {
        m_services->showMessage(this, toQString(outcome.message));
        return;
    }
    // Whatever was shown came before the undo: a preview or results no longer match the files.
    m_runNote = undoStatus(outcome);
    showWrites(undoneReport(outcome), QStringLiteral("See below for the files put back"));
    m_services->showMessage(this, undoReport(outcome));
}

} // namespace kestrava::ui
