#include "cli/kes_cliRun.h"

#include "script/kes_uScriptRun.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <istream>
#include <memory>
#include <mutex>
#include <ostream>
#include <stop_token>
#include <thread>

namespace kes::cli {

namespace {

const char* const kVersionText = "kestrava-cli 1.1\n";

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The confirmation a replace needs: asked on a terminal, or given with --yes.
bool ConfirmReplace(const std::string& question, const TCliOptions& options, TCliConsole& console,
                    int& status) {
    if (options.Yes)
        return true;
    if (!console.CanAsk) {
        console.Err << "Replacing needs a confirmation: run on a terminal or add --yes\n";
        status = kExitError;
        return false;
    }
    std::string text = ConsoleMessage(question);
    text.pop_back(); // the answer goes on the question's last line
    console.Err << text << " [y/N] " << std::flush;
    std::string answer;
    std::getline(console.In, answer);
    answer = Lower(TrimControl(answer));
    if (answer == "y" || answer == "yes")
        return true;
    console.Err << "Nothing was replaced.\n";
    status = kExitNoMatch;
    return false;
}

// Turns Ctrl+C (or SIGTERM) into a stop request within a fraction of a second, even while one
// long file is searched and no progress is told.
class TInterruptWatch {
  public:
    TInterruptWatch(const TCliConsole& console, std::stop_source& stop) {
        if (console.Interrupted == nullptr)
            return;
        fWatch = std::jthread([flag = console.Interrupted, stop](std::stop_token done) mutable {
            // Woken at once when the run ends, so the watch never holds up the program's end.
            std::mutex lock;
            std::condition_variable_any wake;
            std::unique_lock held(lock);
            while (!wake.wait_for(held, done, std::chrono::milliseconds(50),
                                  [&] { return flag->load(); })) {
                if (done.stop_requested())
                    return;
            }
            stop.request_stop();
        });
    }

  private:
    std::jthread fWatch;
};

TkesProgressEvent ProgressPrinter(TCliConsole& console, std::stop_source& stop) {
    return [&console, &stop](const std::string& text) {
        if (console.Interrupted != nullptr && console.Interrupted->load())
            stop.request_stop();
        if (console.ShowProgress)
            console.Err << '\r' << text << "\x1b[K" << std::flush;
    };
}

void ClearProgress(TCliConsole& console) {
    if (console.ShowProgress)
        console.Err << "\r\x1b[K" << std::flush;
}

TExportHeader ExportHeader(const TCliOptions& options) {
    TkesMode mode = options.Command == ccReplace ? mdFindAndReplace : mdFind;
    if (options.Command == ccScript)
        mode = mdScript;
    if (options.NoHeader)
        mode = mdViewFoldersFiles; // the mode without header lines
    return MakeExportHeader(mode, options.Criteria, options.ScriptFile);
}

// The lines and matches views as plain text are made file by file while the run goes on.
std::unique_ptr<TExportWhileRunning> ExportWhileRunning(const TCliOptions& options) {
    if (options.RichText || (options.View != rvLinesWithMatches && options.View != rvMatchesOnly))
        return nullptr;
    return std::make_unique<TExportWhileRunning>(ExportHeader(options), options.View,
                                                 !options.FilenamesOnly);
}

void PrintResults(const TCliOptions& options, const TkesMatchResults& results,
                  TExportWhileRunning* madeWhileRunning, TCliConsole& console) {
    const auto write = [&](std::string_view text) {
        console.Out.write(text.data(), static_cast<std::streamsize>(text.size()));
    };
    if (madeWhileRunning != nullptr && !madeWhileRunning->Complete())
        madeWhileRunning = nullptr;
    TResultRows rows;
    const int32_t unique =
        madeWhileRunning != nullptr ? 0 : BuildResultRows(results, options.View, rows);
    const bool details = !options.FilenamesOnly;
    if (madeWhileRunning != nullptr) {
        madeWhileRunning->Finish(write);
    } else if (options.RichText) {
        console.Out << BuildRichText(
            BuildResultLines(results, rows, ExportHeader(options), details));
    } else {
        WriteResultText(results, rows, ExportHeader(options), details, write);
    }
    console.Out.flush();
    console.Err << SummaryLine(SummaryTexts(results, options.View, unique)) << '\n';
}

// "<what> N file(s)<why>:" and a line per file with its reason.
void PrintFileList(const std::vector<TkesSkippedFile>& list, const char* what, const char* why,
                   TCliConsole& console) {
    if (list.empty())
        return;
    console.Err << what << ' ' << list.size() << (list.size() == 1 ? " file" : " files") << why
                << ":\n";
    for (const TkesSkippedFile& file : list)
        console.Err << "  " << file.FileName << ": " << file.Message << '\n';
}

// Files left out, and what the user should know, after the results.
void PrintLeftOut(const TkesMatchResults& results, TCliConsole& console) {
    PrintFileList(results.Skipped, "Skipped", " that could not be read", console);
    PrintFileList(results.NotReplaced, "Did not replace", "", console);
    for (const std::string& notice : results.Notices)
        console.Err << notice << '\n';
}

// The results of a process that ends right after printing them stay reachable, unfreed, until
// the end: the system takes the memory back at once, while freeing a million lines one by one
// takes a noticeable part of the run.
void KeepIfEnding(std::unique_ptr<TkesMatchResults>& results, const TCliConsole& console) {
    static TkesMatchResults* kept = nullptr;
    if (console.EndsAfterRun && kept == nullptr)
        kept = results.release();
}

// Prints what a run found and gives the exit status.
int FinishRun(const TCliOptions& options, const TkesMatchResults& results, bool replacing,
              TCliConsole& console, TExportWhileRunning* madeWhileRunning = nullptr) {
    PrintResults(options, results, madeWhileRunning, console);
    PrintLeftOut(results, console);
    if (results.Cancelled) {
        console.Err << "Interrupted: the results above are incomplete.\n";
        return kExitInterrupted;
    }
    // A replace that left out a file the user asked for did not do all it was asked.
    if (!results.NotReplaced.empty() || (replacing && !results.Skipped.empty()))
        return kExitError;
    return results.TotalMatches > 0 ? kExitMatched : kExitNoMatch;
}

void ReportRunError(bool replacing, const std::string& error, TCliConsole& console) {
    ClearProgress(console);
    console.Err << ConsoleMessage(std::string("Error during ") + (replacing ? "Replace" : "Find") +
                                  ": " + error);
}

void PrintNames(const char* title, const std::vector<std::string>& names, TCliConsole& console) {
    if (names.empty())
        return;
    console.Err << title << '\n';
    for (const std::string& name : names)
        console.Err << "  " << name << '\n';
}

int RunFindReplace(const TCliOptions& options, TCliConsole& console) {
    const bool replacing = options.Command == ccReplace;
    TFindReplaceSpecs specs;
    const std::string errors =
        PrepareFindReplace(options.Criteria, replacing, options.CaseSensitive, specs);
    if (!errors.empty()) {
        console.Err << ConsoleMessage(errors);
        return kExitError;
    }
    int status = kExitMatched;
    if (replacing && !ConfirmReplace(ReplaceConfirmText(options.InSitu), options, console, status))
        return status;
    auto kept = std::make_unique<TkesMatchResults>();
    TkesMatchResults& results = *kept;
    const std::unique_ptr<TExportWhileRunning> madeWhileRunning = ExportWhileRunning(options);
    std::stop_source stop;
    try {
        TkesFilesToSearch files;
        TkesFoldersToSearch folders;
        ParseFilesToSearch(options.Criteria.Files, files);
        ParseFoldersToSearch(options.Criteria.Folders, folders);
        TkesFileRecordedEvent recorded;
        if (madeWhileRunning)
            recorded = [&](const TkesMatchResults& found, size_t file) {
                madeWhileRunning->FileRecorded(found, file);
            };
        const TInterruptWatch watch(console, stop);
        ScanFiles(folders, files, specs, options.InSitu, results, ProgressPrinter(console, stop),
                  stop.get_token(), options.Threads, recorded);
    } catch (const TReplaceStoppedError& e) {
        ReportRunError(replacing, e.what(), console);
        if (options.Verbose) {
            PrintNames("Replaced before the error:", e.Replaced, console);
            PrintNames("Not touched:", e.NotTouched, console);
        }
        return kExitError;
    } catch (const std::exception& e) {
        ReportRunError(replacing, e.what(), console);
        return kExitError;
    }
    ClearProgress(console);
    const int exitStatus = FinishRun(options, results, replacing, console, madeWhileRunning.get());
    KeepIfEnding(kept, console);
    return exitStatus;
}

int RunScriptCommand(const TCliOptions& options, TCliConsole& console) {
    TkesScript script;
    try {
        LoadScript(script, options.ScriptFile);
    } catch (const std::exception& e) {
        console.Err << ConsoleMessage(e.what());
        return kExitError;
    }
    const TkesScriptRunSettings settings{options.RootFolder, options.CaseSensitive, options.InSitu,
                                         options.Threads};
    int status = kExitMatched;
    TkesScriptRunEvents events;
    // Only a script that writes files needs a confirmation, as a replace does.
    if (ScriptReplaces(script))
        events.Confirm = [&](const std::string& question) {
            return ConfirmReplace(question, options, console, status);
        };
    std::stop_source stop;
    events.Progress = ProgressPrinter(console, stop);
    TFindReplaceSpecs specs;
    TkesMatchResults results;
    TkesScriptRunResult run;
    {
        const TInterruptWatch watch(console, stop);
        run = RunScript(script, settings, specs, results, events, stop.get_token());
    }
    ClearProgress(console);
    switch (run.Outcome) {
    case roDeclined:
        return status;
    case roRootFolderEmpty:
        console.Err << ConsoleMessage(run.Message);
        return kExitError;
    case roFailed: // what the earlier groups found is kept, and shown before the failure
        if (results.TotalMatches > 0)
            FinishRun(options, results, ScriptReplaces(script), console);
        console.Err << ConsoleMessage(run.Message);
        return kExitError;
    case roCompleted:
    case roCancelled:
        break;
    }
    return FinishRun(options, results, ScriptReplaces(script), console);
}

} // namespace

std::string ConsoleMessage(const std::string& message) {
    std::string text;
    for (size_t i = 0; i < message.size(); ++i) {
        if (message.compare(i, 2, "\r\n") == 0) {
            text += '\n';
            ++i;
        } else {
            text += message[i];
        }
    }
    text.erase(0, text.find_first_not_of('\n'));
    if (text.empty() || text.back() != '\n')
        text += '\n';
    return text;
}

namespace {

// A failed write to standard output (a full disk, a closed pipe) is an error, not a success.
int CheckedOutput(TCliConsole& console, int status) {
    if (console.Out.flush())
        return status;
    const int error =
        console.OutError != nullptr && *console.OutError != 0 ? *console.OutError : EIO;
    console.Err << "kestrava-cli: write error: " << std::strerror(error) << '\n';
    return kExitError;
}

int RunCommandUnchecked(const TCliOptions& options, TCliConsole& console) {
    switch (options.Command) {
    case ccHelp:
        console.Out << kUsageText;
        return kExitMatched;
    case ccVersion:
        console.Out << kVersionText;
        return kExitMatched;
    case ccFind:
    case ccReplace:
        return RunFindReplace(options, console);
    case ccScript:
        return RunScriptCommand(options, console);
    case ccNone:
        break;
    }
    console.Err << kUsageText;
    return kExitError;
}

} // namespace

int RunCommand(const TCliOptions& options, TCliConsole& console) {
    return CheckedOutput(console, RunCommandUnchecked(options, console));
}

} // namespace kes::cli
