// The Script menu: New, Open, Save and Save-As through the script's own logic with the window's
// dialogs, the save question when Script mode is left, and the script run, whose search goes to
// the same worker thread as a Find.
#include "kes_fmMain.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

const QString kScriptFilter = QStringLiteral("Script files (*.ksc)");

// The script logic's dialogs and question, answered through the window's services. Both file
// dialogs start in the configured scripts folder.
class TWindowScriptDialogs final : public kes::TkesScriptDialogs {
  public:
    TWindowScriptDialogs(TkesUiServices& services, QWidget* parent, const std::string& folder)
        : FServices(services), FParent(parent), FFolder(folder) {}

    bool ChooseScriptToOpen(const std::string& initialFolder, std::string& path) override {
        path = FServices
                   .GetOpenFileName(FParent, QStringLiteral("Open Script"), Q(initialFolder),
                                    kScriptFilter)
                   .toStdString();
        return !path.empty();
    }
    bool ChooseScriptToSave(std::string& path) override {
        path = FServices
                   .GetSaveFileName(FParent, QStringLiteral("Save Script As"), Q(FFolder),
                                    kScriptFilter, Q(std::string(kes::kScriptDefaultExt)))
                   .toStdString();
        return !path.empty();
    }
    kes::TkesSaveAnswer AskYesNoCancel(const std::string& question) override {
        switch (FServices.AskYesNoCancel(FParent, Q(question))) {
        case anYes:
            return kes::saYes;
        case anNo:
            return kes::saNo;
        default:
            return kes::saCancel;
        }
    }

  private:
    TkesUiServices& FServices;
    QWidget* FParent;
    std::string FFolder;
};

} // namespace

bool TfmMain::LeaveScript() {
    TWindowScriptDialogs dialogs(*FServices, this, Settings().ScriptsFolder);
    try {
        return kes::SaveChangedScript(FScript, dialogs);
    } catch (const std::exception& e) {
        FServices->ShowError(this, Q(e.what())); // not saved: the script stays
        return false;
    }
}

void TfmMain::mmScript_NewClick() {
    TWindowScriptDialogs dialogs(*FServices, this, Settings().ScriptsFolder);
    try {
        if (!kes::NewScript(FScript, dialogs))
            return;
    } catch (const std::exception& e) {
        FServices->ShowError(this, Q(e.what()));
        return;
    }
    SetScriptState(kes::ssViewing);
    ClearCriteria();
}

void TfmMain::mmScript_OpenClick() {
    TWindowScriptDialogs dialogs(*FServices, this, Settings().ScriptsFolder);
    try {
        if (!kes::OpenScript(FScript, dialogs, Settings().ScriptsFolder))
            return;
    } catch (const std::exception& e) {
        // A failed read leaves the script empty; the grid must say so too.
        SetScriptState(kes::ssViewing);
        FServices->ShowError(this, Q(e.what()));
        return;
    }
    ClearCriteria();
    SetScriptState(kes::ssViewing);
}

void TfmMain::mmScript_SaveClick() {
    if (!FScript.Changed || FScript.Entries.empty())
        return;
    TWindowScriptDialogs dialogs(*FServices, this, Settings().ScriptsFolder);
    try {
        if (kes::SaveScript(FScript, dialogs))
            RefreshModeStatus(FMode);
    } catch (const std::exception& e) {
        FServices->ShowError(this, Q(e.what()));
    }
}

void TfmMain::mmScript_SaveAsClick() {
    if (FScript.Entries.empty())
        return;
    TWindowScriptDialogs dialogs(*FServices, this, Settings().ScriptsFolder);
    try {
        if (kes::SaveScriptAs(FScript, dialogs))
            RefreshModeStatus(FMode);
    } catch (const std::exception& e) {
        FServices->ShowError(this, Q(e.what()));
    }
}

void TfmMain::bbRunScriptClick() {
    if (FRunning || FScript.State != kes::ssViewing || FScript.Entries.empty())
        return;
    kes::TkesScriptRunSettings settings;
    settings.RootFolder = cboxRootFolder->currentText().toStdString();
    settings.CaseSensitive = Settings().CaseSensitiveMatching;
    settings.ReplaceInPlace = Settings().ReplaceInSitu;
    // The checks and the question happen here, on the window thread; the worker's run then
    // goes ahead without asking.
    if (kes::ScriptUsesRootFolder(FScript) && kes::TrimControl(settings.RootFolder).empty()) {
        FServices->ShowMessage(this, Q(kes::RootFolderEmptyText()));
        return;
    }
    const std::string question =
        kes::ScriptConfirmText(kes::ScriptReplaces(FScript), settings.ReplaceInPlace);
    if (!FServices->AskYesNo(this, Q(question)))
        return;
    // The run will clear the results: nothing on screen may point into them any more.
    FResultRows.clear();
    DrawGrid1->ClearDrawGrid(1);
    DrawGrid1->ShowEmpty();
    FRunNote.clear();
    bbRunScript->setEnabled(false);
    FOperationName = QStringLiteral("Script");
    StartRun(
        [this, script = FScript, settings](const kes::TkesProgressEvent& progress,
                                           std::stop_token stop) {
            kes::TkesScriptRunEvents events;
            events.Progress = progress;
            FScriptRun = kes::RunScript(script, settings, FSpecs, FResults, events, stop);
            return QString();
        },
        &TfmMain::ScriptRunFinished);
}

void TfmMain::ScriptRunFinished(const QString& error) {
    bool stopped = false;
    if (!EndRun(stopped))
        return;
    if (!error.isEmpty())
        FScriptRun = {kes::roFailed, "Error running script: " + error.toStdString(),
                      kes::mkMessage};
    if (FScriptRun.Outcome == kes::roCompleted || FScriptRun.Outcome == kes::roCancelled) {
        NoteRunEnd(QStringLiteral("script run"), stopped);
        FResultView = kes::rvLinesWithMatches;
        SetScriptState(kes::ssResults);
        if (const QString warnings = RunWarnings(); !warnings.isEmpty())
            FServices->ShowMessage(this, warnings);
    } else {
        // Back to the script, then the reason; groups searched before a failure keep their
        // results for View Results.
        SetGridContent(gcScript);
        if (!FScriptRun.Message.empty())
            FServices->ShowMessage(this, Q(FScriptRun.Message));
    }
    RefreshModeStatus(FMode);
    emit RunEnded();
}
