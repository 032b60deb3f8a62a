// The script run: the Root Folder check, the question, and the walk that fills the find/replace
// items of each group and searches the group once.
#include "script/script_run.h"
#include "util/text.h"

#include <algorithm>
#include <stdexcept>

namespace kestrava::script {

namespace {

void resetSpecs(search::CompiledRequest& specs) {
    specs.regEx.clearPatterns();
    specs.items.clear();
    specs.replace = false;
}

class ScriptRun {
  public:
    ScriptRun(const ScriptRunSettings& settings, search::CompiledRequest& specs,
              search::SearchResults& results, const ScriptRunEvents& events,
              const std::stop_token& stop)
        : m_settings(settings), m_specs(specs), m_results(results), m_progress(events.progress),
          m_sink(events.sink), m_stop(stop) {}

    void walk(const ScriptEntries& entries) {
        for (const ScriptEntry& entry : entries) {
            if (entry.isFolderFile())
                folderFileItem(entry);
            else if (!findReplaceItem(entry))
                break;
            if (m_results.cancelled)
                return;
        }
        if (m_pending)
            searchGroup();
    }

  private:
    void folderFileItem(const ScriptEntry& entry) {
        if (m_pending)
            searchGroup();
        if (m_results.cancelled)
            return;
        resetSpecs(m_specs);
        m_specs.options = m_settings.scan;
        m_pending = false;
        m_folders = substituteRootFolder(entry.folders, m_settings.rootFolder);
        m_files = entry.files;
        checkFoldersAndFiles(entry);
    }

    // False at "{Stop}": the walk ends there.
    bool findReplaceItem(const ScriptEntry& entry) {
        checkFoldersAndFiles(entry);
        const std::string number = scriptItemNumber(entry);
        if (entry.find.empty())
            throw std::runtime_error("Nothing to \"Find\" specified on line " + number);
        if (entry.find == kStopToken)
            return false;
        search::ReplaceRule item;
        regex::PatternStatus status;
        const bool compiled = m_specs.regEx.addPattern(entry.find, item.patternID, status);
        if (!entry.replace.empty()) {
            item.doReplace = true;
            item.replaceWith = entry.replace == "^$" ? "" : entry.replace;
            m_specs.replace = true;
        }
        m_specs.items.push_back(std::move(item));
        if (!compiled)
            throw std::runtime_error("Invalid Find Expression: " + status.errorMessage +
                                     " on line " + number);
        m_pending = true;
        return true;
    }

    void checkFoldersAndFiles(const ScriptEntry& entry) const {
        std::string problem;
        if (m_folders.empty())
            problem = "No Folder(s) specified";
        if (m_files.empty())
            problem += std::string(problem.empty() ? "" : " and ") + "No Files(s) specified";
        if (problem.empty())
            return;
        problem += entry.isFolderFile() ? " on line" : " before trying to process line";
        throw std::runtime_error(problem + " " + scriptItemNumber(entry));
    }

    void searchGroup() {
        // A stop between groups ends the run as a stop inside one does.
        if (m_stop.stop_requested()) {
            m_results.cancelled = true;
            return;
        }
        search::FolderSpecs folders;
        search::FileMaskSpecs files;
        search::parseFoldersToSearch(m_folders, folders);
        search::parseFilesToSearch(m_files, files);
        search::scanFiles(folders, files, m_specs, m_settings.replaceInPlace, m_results, m_progress,
                          m_stop, m_settings.threads, m_sink);
        m_pending = false;
    }

    const ScriptRunSettings& m_settings;
    search::CompiledRequest& m_specs;
    search::SearchResults& m_results;
    const search::ProgressEvent& m_progress;
    search::RunSink* m_sink;
    const std::stop_token& m_stop;
    std::string m_folders;
    std::string m_files;
    bool m_pending = false; // items added since the last search
};

} // namespace

std::string rootFolderEmptyText() {
    return "{RootFolder} is used in this script but specified \"Root Folder\" is empty.\r\n"
           "Enter a value for \"Root Folder\" then run the sctipt again.";
}

bool scriptReplaces(const Script& script) {
    return std::ranges::any_of(script.entries, [](const ScriptEntry& entry) {
        return !entry.isFolderFile() && !entry.replace.empty();
    });
}

bool scriptUsesRootFolder(const Script& script) {
    return std::ranges::any_of(script.entries, [](const ScriptEntry& entry) {
        return entry.isFolderFile() && entry.folders.find(kRootFolderToken) != std::string::npos;
    });
}

std::string scriptConfirmText(bool replaces, bool replaceInPlace, bool undoKept) {
    std::string text = "This script will find all matches to the \"Find\" expression(s) ";
    if (replaces)
        text += "and where included, will replace matches with the corresponding "
                "\"ReplaceWith\" expressions ";
    text += "in the specified files";
    if (replaces)
        text += search::replaceNote(replaceInPlace, undoKept);
    return text + "\r\n\r\nRun script now ? ";
}

std::string substituteRootFolder(const std::string& folders, const std::string& rootFolder) {
    std::string result = folders;
    const size_t at = result.find(kRootFolderToken);
    if (at != std::string::npos)
        result.replace(at, kRootFolderToken.size(), rootFolder);
    return result;
}

ScriptRunResult runScript(const Script& script, const ScriptRunSettings& settings,
                          search::CompiledRequest& specs, search::SearchResults& results,
                          const ScriptRunEvents& events, const std::stop_token& stop) {
    if (scriptUsesRootFolder(script) && util::trimControl(settings.rootFolder).empty())
        return {ScriptRunOutcome::RootFolderEmpty, rootFolderEmptyText(), MessageKind::Message};
    const std::string question = scriptConfirmText(scriptReplaces(script), settings.replaceInPlace,
                                                   settings.scan.undoJournal != nullptr);
    if (events.confirm && !events.confirm(question))
        return {ScriptRunOutcome::Declined, "", MessageKind::None};
    if (events.starting)
        events.starting();
    search::clearMatchResults(results);
    resetSpecs(specs);
    search::applyCaseSetting(specs.regEx, settings.caseSensitive);
    ScriptRunResult outcome;
    try {
        ScriptRun run(settings, specs, results, events, stop);
        run.walk(script.entries);
        outcome.outcome =
            results.cancelled ? ScriptRunOutcome::Cancelled : ScriptRunOutcome::Completed;
    } catch (const std::exception& failure) {
        outcome = {ScriptRunOutcome::Failed, std::string("Error running script: ") + failure.what(),
                   MessageKind::Message};
    }
    resetSpecs(specs);
    return outcome;
}

} // namespace kestrava::script
