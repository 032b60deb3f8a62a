// Running a script as one job: each group's Find expressions are searched together in the files
// its Folder(s)/File(s) item names, and the results of all groups accumulate in one store. The
// window and the command line both call runScript; questions, progress and cancellation are
// parameters, and the outcome says what to show.
#pragma once

#include "script/script.h"
#include "search/search.h"

#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

namespace kestrava::script {

inline constexpr std::string_view kRootFolderToken = "{RootFolder}";
inline constexpr std::string_view kStopToken = "{Stop}";

struct ScriptRunSettings {
    std::string rootFolder;      // the Root Folder text, substituted exactly as typed
    bool caseSensitive = false;  // off: every Find compiles ignoring letter case
    bool replaceInPlace = false; // off: replaced text goes to "kesReplace" copies
    int32_t threads = 0;         // search threads, 0: one per core
    search::ScanOptions scan{};  // what every group's search leaves out and keeps besides
};

struct ScriptRunEvents {
    // Receives the question to ask before anything changes; true runs the script. When empty
    // the script runs without asking.
    std::function<bool(const std::string& question)> confirm;
    // Called once the run is certain, just before the results are cleared: whatever still
    // points into the old results (a grid's row table) must be dropped here.
    std::function<void()> starting;
    search::ProgressEvent progress;  // the search's status and progress texts
    search::RunSink* sink = nullptr; // where each group's findings go; none: into the results
};

enum class ScriptRunOutcome : uint8_t {
    Completed,       // searched up to the end or to "{Stop}": show the results
    RootFolderEmpty, // stopped before anything changed; Message says why
    Declined,        // the question was answered No; nothing changed
    Cancelled,       // a stop request ended a search; results so far kept, Cancelled set
    Failed,          // Message is "Error running script: " + the cause; earlier groups kept
};

enum class MessageKind : uint8_t { None, Message, Error };

struct ScriptRunResult {
    ScriptRunOutcome outcome = ScriptRunOutcome::Completed;
    std::string message;                         // empty unless something must be shown
    MessageKind messageKind = MessageKind::None; // the box to show Message in
};

// The two lines shown when a Folder(s) value uses the token and the Root Folder is blank.
std::string rootFolderEmptyText();
// True when a Find/Replace item has a Replace With expression.
bool scriptReplaces(const Script& script);
// True when a Folder(s) value holds "{rootFolder}" (letter case counts).
bool scriptUsesRootFolder(const Script& script);
// The question asked before a run, with the replace note when the script replaces.
std::string scriptConfirmText(bool replaces, bool replaceInPlace, bool undoKept = false);
// The folders with their first "{rootFolder}" replaced by rootFolder; later ones stay.
std::string substituteRootFolder(const std::string& folders, const std::string& rootFolder);

// Runs the script: checks the Root Folder, asks, clears `results`, then searches group by group
// with `specs` (its patterns are cleared again at the end, whatever happens). A group is
// searched when the next Folder(s)/File(s) item, "{Stop}" or the end is reached. Never throws
// for a failure of the script or the search: the outcome carries the message.
ScriptRunResult runScript(const Script& script, const ScriptRunSettings& settings,
                          search::CompiledRequest& specs, search::SearchResults& results,
                          const ScriptRunEvents& events = {}, const std::stop_token& stop = {});

} // namespace kestrava::script
