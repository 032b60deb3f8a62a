// The Script menu: New, Open, Save and Save-As through the script's own logic with the window's
// dialogs, the save question when Script mode is left, and the script run, whose search goes to
// the same worker thread as a Find.
#include "main_window.h"

#include "qt_text.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace kestrava::ui {

namespace {

const QString kScriptFilter = QStringLiteral("Script files (*.ksc)");

// The script logic's dialogs and question, answered through the window's services. Both file
// dialogs start in the configured scripts folder.
class WindowScriptDialogs final : public script::ScriptDialogs {
  public:
    WindowScriptDialogs(UiServices& services, QWidget* parent, const std::string& folder)
        : m_services(services), m_parent(parent), m_folder(folder) {}

    bool chooseScriptToOpen(const std::string& initialFolder, std::string& path) override {
        path = m_services
                   .getOpenFileName(m_parent, QStringLiteral("Open Script"),
                                    toQString(initialFolder), kScriptFilter)
                   .toStdString();
        return !path.empty();
    }
    bool chooseScriptToSave(std::string& path) override {
        path =
            m_services
                .getSaveFileName(m_parent, QStringLiteral("Save Script As"), toQString(m_folder),
                                 kScriptFilter, toQString(std::string(script::kScriptDefaultExt)))
                .toStdString();
        return !path.empty();
    }
    script::SaveAnswer askYesNoCancel(const std::string& question) override {
        switch (m_services.askYesNoCancel(m_parent, toQString(question))) {
        case Answer::Yes:
            return script::SaveAnswer::Yes;
        case Answer::No:
            return script::SaveAnswer::No;
        default:
            return script::SaveAnswer::Cancel;
        }
    }

  private:
    UiServices& m_services;
    QWidget* m_parent;
    std::string m_folder;
};

} // namespace

bool MainWindow::leaveScript() {
    WindowScriptDialogs dialogs(*m_services, this, settings().scriptsFolder);
    try {
        return script::saveChangedScript(m_script, dialogs);
    } catch (const std::exception& e) {
        m_services->showError(this, toQString(e.what())); // not saved: the script stays
        return false;
    }
}

void MainWindow::newScript() {
    WindowScriptDialogs dialogs(*m_services, this, settings().scriptsFolder);
    try {
        if (!script::newScript(m_script, dialogs))
            return;
    } catch (const std::exception& e) {
        m_services->showError(this, toQString(e.what()));
        return;
    }
    setScriptState(script::ScriptEditState::Viewing);
    clearCriteria();
}

void MainWindow::openScript() {
    WindowScriptDialogs dialogs(*m_services, this, settings().scriptsFolder);
    try {
        if (!script::openScript(m_script, dialogs, settings().scriptsFolder))
            return;
    } catch (const std::exception& e) {
        // A failed read leaves the script empty; the grid must say so too.
        setScriptState(script::ScriptEditState::Viewing);
        m_services->showError(this, toQString(e.what()));
        return;
    }
    clearCriteria();
    setScriptState(script::ScriptEditState::Viewing);
}

void MainWindow::saveScript() {
    if (!m_script.changed || m_script.entries.empty())
        return;
    WindowScriptDialogs dialogs(*m_services, this, settings().scriptsFolder);
    try {
        if (script::saveScript(m_script, dialogs))
            refreshModeStatus(m_mode);
    } catch (const std::exception& e) {
        m_services->showError(this, toQString(e.what()));
    }
}

void MainWindow::saveScriptAs() {
    if (m_script.entries.empty())
        return;
    WindowScriptDialogs dialogs(*m_services, this, settings().scriptsFolder);
    try {
        if (script::saveScriptAs(m_script, dialogs))
            refreshModeStatus(m_mode);
    } catch (const std::exception& e) {
        m_services->showError(this, toQString(e.what()));
    }
}

void MainWindow::runScript() {
    if (m_running || m_script.state != script::ScriptEditState::Viewing || m_script.entries.empty())
        return;
    script::ScriptRunSettings run;
    run.rootFolder = rootFolderCombo->currentText().toStdString();
    run.caseSensitive = settings().caseSensitiveMatching;
    run.replaceInPlace = settings().replaceInSitu;
    // The checks and the question happen here, on the window thread; the worker's run then
    // goes ahead without asking.
    if (script::scriptUsesRootFolder(m_script) && util::trimControl(run.rootFolder).empty()) {
        m_services->showMessage(this, toQString(script::rootFolderEmptyText()));
        return;
    }
    const std::string question =
        script::scriptConfirmText(script::scriptReplaces(m_script), run.replaceInPlace);
    if (!m_services->askYesNo(this, toQString(question)))
        return;
    // The run will clear the results: nothing on screen may point into them any more.
    m_resultRows.clear();
    resultsGrid->clearDrawGrid(1);
    resultsGrid->showEmpty();
    m_runNote.clear();
    runScriptButton->setEnabled(false);
    startRun(
        [this, script = m_script, run](const search::ProgressEvent& progress,
                                       std::stop_token stop) {
            script::ScriptRunEvents events;
            events.progress = progress;
            m_scriptRun = script::runScript(script, run, m_specs, m_results, events, stop);
            return QString();
        },
        &MainWindow::scriptRunFinished);
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
        m_resultView = results::View::LinesWithMatches;
        setScriptState(script::ScriptEditState::Results);
        if (const QString warnings = runWarnings(); !warnings.isEmpty())
            m_services->showMessage(this, warnings);
    } else {
        // Back to the script, then the reason; groups searched before a failure keep their
        // results for View Results.
        setGridContent(GridContent::Script);
        if (!m_scriptRun.message.empty())
            m_services->showMessage(this, toQString(m_scriptRun.message));
    }
    refreshModeStatus(m_mode);
    emit runEnded();
}

} // namespace kestrava::ui
