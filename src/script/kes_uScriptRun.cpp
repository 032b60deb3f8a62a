// The script run: the Root Folder check, the question, and the walk that fills the find/replace
// items of each group and searches the group once.
#include "script/kes_uScriptRun.h"

#include <algorithm>
#include <stdexcept>

namespace kes {

namespace {

void ResetSpecs(TFindReplaceSpecs& specs) {
    specs.RegEx.ClearPatterns();
    specs.Items.clear();
    specs.Replace = false;
}

class TScriptRun {
  public:
    TScriptRun(const TkesScriptRunSettings& settings, TFindReplaceSpecs& specs,
               TkesMatchResults& results, const TkesProgressEvent& progress,
               const std::stop_token& stop)
        : fSettings(settings), fSpecs(specs), fResults(results), fProgress(progress), fStop(stop) {}

    void Walk(const TkesScriptEntries& entries) {
        for (const TkesScriptEntry& entry : entries) {
            if (entry.EntryKind == sekFolderFile)
                FolderFileItem(entry);
            else if (!FindReplaceItem(entry))
                break;
            if (fResults.Cancelled)
                return;
        }
        if (fPending)
            SearchGroup();
    }

  private:
    void FolderFileItem(const TkesScriptEntry& entry) {
        if (fPending)
            SearchGroup();
        if (fResults.Cancelled)
            return;
        ResetSpecs(fSpecs);
        fPending = false;
        fFolders = SubstituteRootFolder(entry.Text1, fSettings.RootFolder);
        fFiles = entry.Text2;
        CheckFoldersAndFiles(entry);
    }

    // False at "{Stop}": the walk ends there.
    bool FindReplaceItem(const TkesScriptEntry& entry) {
        CheckFoldersAndFiles(entry);
        const std::string number = ScriptItemNumber(entry);
        if (entry.Text1.empty())
            throw std::runtime_error("Nothing to \"Find\" specified on line " + number);
        if (entry.Text1 == kStopToken)
            return false;
        TFindReplace item;
        TPatternStatus status;
        const bool compiled = fSpecs.RegEx.AddPattern(entry.Text1, item.PatternID, status);
        if (!entry.Text2.empty()) {
            item.DoReplace = true;
            item.ReplaceWith = entry.Text2 == "^$" ? "" : entry.Text2;
            fSpecs.Replace = true;
        }
        fSpecs.Items.push_back(std::move(item));
        if (!compiled)
            throw std::runtime_error("Invalid Find Expression: " + status.ErrorMessage +
                                     " on line " + number);
        fPending = true;
        return true;
    }

    void CheckFoldersAndFiles(const TkesScriptEntry& entry) const {
        std::string problem;
        if (fFolders.empty())
            problem = "No Folder(s) specified";
        if (fFiles.empty())
            problem += std::string(problem.empty() ? "" : " and ") + "No Files(s) specified";
        if (problem.empty())
            return;
        problem += entry.EntryKind == sekFolderFile ? " on line" : " before trying to process line";
        throw std::runtime_error(problem + " " + ScriptItemNumber(entry));
    }

    void SearchGroup() {
        // A stop between groups ends the run as a stop inside one does.
        if (fStop.stop_requested()) {
            fResults.Cancelled = true;
            return;
        }
        TkesFoldersToSearch folders;
        TkesFilesToSearch files;
        ParseFoldersToSearch(fFolders, folders);
        ParseFilesToSearch(fFiles, files);
        ScanFiles(folders, files, fSpecs, fSettings.ReplaceInPlace, fResults, fProgress, fStop,
                  fSettings.Threads);
        fPending = false;
    }

    const TkesScriptRunSettings& fSettings;
    TFindReplaceSpecs& fSpecs;
    TkesMatchResults& fResults;
    const TkesProgressEvent& fProgress;
    const std::stop_token& fStop;
    std::string fFolders;
    std::string fFiles;
    bool fPending = false; // items added since the last search
};

} // namespace

std::string RootFolderEmptyText() {
    return "{RootFolder} is used in this script but specified \"Root Folder\" is empty.\r\n"
           "Enter a value for \"Root Folder\" then run the sctipt again.";
}

bool ScriptReplaces(const TkesScript& script) {
    return std::ranges::any_of(script.Entries, [](const TkesScriptEntry& entry) {
        return entry.EntryKind == sekFindReplace && !entry.Text2.empty();
    });
}

bool ScriptUsesRootFolder(const TkesScript& script) {
    return std::ranges::any_of(script.Entries, [](const TkesScriptEntry& entry) {
        return entry.EntryKind == sekFolderFile &&
               entry.Text1.find(kRootFolderToken) != std::string::npos;
    });
}

std::string ScriptConfirmText(bool replaces, bool replaceInPlace) {
    std::string text = "This script will find all matches to the \"Find\" expression(s) ";
    if (replaces)
        text += "and where included, will replace matches with the corresponding "
                "\"ReplaceWith\" expressions ";
    text += "in the specified files";
    if (replaces)
        text += ReplaceNote(replaceInPlace);
    return text + "\r\n\r\nRun script now ? ";
}

std::string SubstituteRootFolder(const std::string& folders, const std::string& rootFolder) {
    std::string result = folders;
    const size_t at = result.find(kRootFolderToken);
    if (at != std::string::npos)
        result.replace(at, kRootFolderToken.size(), rootFolder);
    return result;
}

TkesScriptRunResult RunScript(const TkesScript& script, const TkesScriptRunSettings& settings,
                              TFindReplaceSpecs& specs, TkesMatchResults& results,
                              const TkesScriptRunEvents& events, const std::stop_token& stop) {
    if (ScriptUsesRootFolder(script) && TrimControl(settings.RootFolder).empty())
        return {roRootFolderEmpty, RootFolderEmptyText(), mkMessage};
    const std::string question = ScriptConfirmText(ScriptReplaces(script), settings.ReplaceInPlace);
    if (events.Confirm && !events.Confirm(question))
        return {roDeclined, "", mkNone};
    if (events.Starting)
        events.Starting();
    ClearMatchResults(results);
    ResetSpecs(specs);
    ApplyCaseSetting(specs.RegEx, settings.CaseSensitive);
    TkesScriptRunResult outcome;
    try {
        TScriptRun run(settings, specs, results, events.Progress, stop);
        run.Walk(script.Entries);
        outcome.Outcome = results.Cancelled ? roCancelled : roCompleted;
    } catch (const std::exception& failure) {
        outcome = {roFailed, std::string("Error running script: ") + failure.what(), mkMessage};
    }
    ResetSpecs(specs);
    return outcome;
}

} // namespace kes
