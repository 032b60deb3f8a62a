#include "cli/run.h"

#include "cli/json_output.h"
#include "cli/line_output.h"
#include "config/config_paths.h"
#include "script/script_run.h"
#include "search/find_session.h"
#include "search/undo_journal.h"
#include "util/content_hash.h"
#include "util/file_io.h"
#include "util/text.h"
#include "util/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <stop_token>
#include <thread>

namespace kestrava::cli {

namespace {

const char* const kVersionText = "kestrava-cli " KESTRAVA_VERSION "\n";

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The confirmation a replace (or an undo) needs: asked on a terminal, or given with --yes.
bool confirmReplace(const std::string& question, const CliOptions& options, Console& console,
                    int& status) {
    const bool undoing = options.command == Command::Undo;
    if (options.yes)
        return true;
    if (!console.canAsk) {
        console.err << (undoing ? "Undoing" : "Replacing")
                    << " needs a confirmation: run on a terminal or add --yes\n";
        status = kExitError;
        return false;
    }
    std::string text = consoleMessage(question);
    text.pop_back(); // the answer goes on the question's last line
    console.err << text << " [y/N] " << std::flush;
    std::string answer;
    std::getline(console.in, answer);
    answer = lower(util::trimControl(answer));
    if (answer == "y" || answer == "yes")
        return true;
    console.err << (undoing ? "Nothing was undone.\n" : "Nothing was replaced.\n");
    status = kExitNoMatch;
    return false;
}

// Turns Ctrl+C (or SIGTERM) into a stop request within a fraction of a second, even while one
// long file is searched and no progress is told.
class InterruptWatch {
  public:
    InterruptWatch(const Console& console, std::stop_source& stop) {
        if (console.interrupted == nullptr)
            return;
        m_watch = std::jthread([flag = console.interrupted, stop](std::stop_token done) mutable {
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
    std::jthread m_watch;
};

// The progress line of a run: "Searching: 12,345 of 33,078 files".
std::string progressLine(const search::Progress& progress) {
    if (progress.filesTotal == 0)
        return progress.filesListed == 0
                   ? "Listing files ..."
                   : "Listing files ... " + util::groupedDigits(progress.filesListed);
    return "Searching: " + util::groupedDigits(progress.filesDone) + " of " +
           util::groupedDigits(progress.filesTotal) + " files";
}

// How long a run goes before its progress is shown. Test builds can show it at once
// (KESTRAVA_FAULT=progress:now), as no test should take a second.
std::chrono::milliseconds progressDelay() {
#ifdef KES_FAULT_HOOKS
    if (const char* fault = std::getenv("KESTRAVA_FAULT");
        fault != nullptr && std::string_view(fault) == "progress:now")
        return std::chrono::milliseconds(0);
#endif
    return std::chrono::seconds(1);
}

// Progress on one updating line of standard error, when it is a terminal and a run has taken
// more than a second (a quick run leaves no flicker), at most ten times a second; never under
// --quiet.
search::ProgressEvent progressPrinter(const CliOptions& options, Console& console,
                                      std::stop_source& stop) {
    // None at all where it would not be shown: a run without progress commits files while it
    // still lists them. Ctrl+C is heard by the InterruptWatch either way.
    if (!console.showProgress || options.quiet)
        return {};
    using Clock = std::chrono::steady_clock;
    return [&console, &stop,
            next = Clock::now() + progressDelay()](const search::Progress& progress) mutable {
        if (console.interrupted != nullptr && console.interrupted->load())
            stop.request_stop();
        const Clock::time_point now = Clock::now();
        if (now < next)
            return;
        next = now + std::chrono::milliseconds(100);
        console.err << '\r' << progressLine(progress) << "\x1b[K" << std::flush;
        console.progressShown = true;
    };
}

void clearProgress(Console& console) {
    if (console.progressShown)
        console.err << "\r\x1b[K" << std::flush;
    console.progressShown = false;
}

bool colored(const CliOptions& options, const Console& console) {
    switch (options.color) {
    case ColorChoice::Always:
        return true;
    case ColorChoice::Never:
        return false;
    case ColorChoice::Auto:
        break;
    }
    return console.outIsTerminal && !console.noColor;
}

results::ExportHeader exportHeader(const CliOptions& options, const Console& console) {
    const results::HeaderKind kind =
        options.command == Command::Replace  ? results::HeaderKind::Replace
        : options.command == Command::Script ? results::HeaderKind::Script
                                             : results::HeaderKind::Find;
    results::ExportHeader header =
        results::makeExportHeader(kind, options.criteria, options.scriptFile);
    header.withHeader = !options.noHeader;
    header.lineNumbers = options.lineNumbers;
    header.color = colored(options, console);
    return header;
}

// How long a run took, for the JSON summary.
using Clock = std::chrono::steady_clock;

// A replace preview, written file by file: each file's unified diff as it comes.
class DiffSink final : public search::RunSink {
  public:
    explicit DiffSink(std::ostream& out) : m_out(out) {}
    std::string make(const search::SearchedFile& file) const override {
        // A large diff is set aside as it is made, not held.
        return file.replaced == nullptr
                   ? std::string()
                   : search::unifiedDiff(file.text, *file.replaced, file.path, file.setAside);
    }
    void fileFound(const search::SearchResults& /*results*/,
                   const search::FoundFile& file) override {
        const auto write = [this](std::string_view text) {
            m_out.write(text.data(), static_cast<std::streamsize>(text.size()));
        };
        if (file.madeAhead != nullptr && !file.madeAhead->writeTo(write))
            throw std::runtime_error("Read Error: the diff set aside for " + file.path +
                                     " could not be read back");
        m_out << file.made;
        m_changed = m_changed || file.madeAhead != nullptr || !file.made.empty();
    }
    bool changed() const { return m_changed; }

  private:
    std::ostream& m_out;
    bool m_changed = false;
};

// -l and -c: each file's path as it is found, alone or with its count of matched lines, ended by
// a line end or with -0 a NUL byte (which no path holds), so that xargs -0 and editors read it.
class PathsSink final : public search::RunSink {
  public:
    PathsSink(bool counts, bool nullEnded, std::function<void(std::string_view)> write)
        : m_counts(counts), m_nullEnded(nullEnded), m_write(std::move(write)) {}
    void fileFound(const search::SearchResults& /*results*/,
                   const search::FoundFile& file) override {
        std::string line = file.path;
        if (m_counts)
            line += (m_nullEnded ? std::string(1, '\0') : ":") + std::to_string(file.textLines);
        line += m_nullEnded && !m_counts ? '\0' : '\n';
        m_write(line);
    }

  private:
    bool m_counts;
    bool m_nullEnded;
    std::function<void(std::string_view)> m_write;
};

// --quiet keeps nothing; a quiet find stops at its first match.
class QuietSink final : public search::RunSink {
  public:
    explicit QuietSink(std::stop_source* stop) : m_stop(stop) {}
    void fileFound(const search::SearchResults& /*results*/,
                   const search::FoundFile& /*file*/) override {
        if (m_stop != nullptr)
            m_stop->request_stop();
    }

  private:
    std::stop_source* m_stop;
};

// Where a run's findings go as they are found, so that memory does not grow with them: a view as
// text or rich text, JSON, a preview's diffs, or nowhere (--quiet). None for --interactive, which
// needs the whole results. A failure is then told after what was written before it.
class StreamedOutput {
  public:
    StreamedOutput(const CliOptions& options, Console& console, bool replacing,
                   std::stop_source& stop) {
        const auto write = [&console](std::string_view text) {
            clearProgress(console); // a terminal may show both
            console.out.write(text.data(), static_cast<std::streamsize>(text.size()));
        };
        if (options.interactive)
            return;
        if (options.quiet) {
            m_sink = std::make_unique<QuietSink>(replacing ? nullptr : &stop);
        } else if (options.json) {
            m_sink = std::make_unique<JsonSink>(replacing, options.scan.contextBefore,
                                                options.scan.contextAfter, write);
        } else if (options.preview) {
            m_sink = std::make_unique<DiffSink>(console.out);
        } else if (options.vimgrep || options.noHeading) {
            m_sink = std::make_unique<PathLineSink>(options.vimgrep, write);
        } else if (options.pathsOnly || options.countOnly) {
            m_sink = std::make_unique<PathsSink>(options.countOnly, options.nullAfterPath, write);
        } else {
            m_sink = std::make_unique<results::ExportWhileRunning>(
                exportHeader(options, console), options.view, !options.filenamesOnly, write,
                options.richText);
        }
    }
    search::RunSink* sink() const { return m_sink.get(); }
    template <typename Sink> Sink* as() const { return dynamic_cast<Sink*>(m_sink.get()); }
    // What is held back, before a failure is told.
    void flush(Console& console) const {
        if (auto* text = as<results::ExportWhileRunning>())
            text->flush();
        console.out.flush();
    }

  private:
    std::unique_ptr<search::RunSink> m_sink;
};

void printResults(const CliOptions& options, const search::SearchResults& results,
                  const StreamedOutput& streamed, Clock::time_point started, Console& console) {
    if (options.quiet)
        return;
    if (auto* json = streamed.as<JsonSink>()) {
        json->finish(results, Clock::now() - started);
        console.out.flush();
        return;
    }
    int32_t unique = 0;
    if (auto* text = streamed.as<results::ExportWhileRunning>()) {
        text->finish();
        unique = text->uniqueCount();
    }
    console.out.flush();
    // The outputs that editors and xargs read end with their last line, as grep's do.
    if (options.vimgrep || options.noHeading || options.pathsOnly || options.countOnly)
        return;
    console.err << results::summaryLine(results::summaryTexts(results, options.view, unique))
                << '\n';
}

// "<what> N file(s)<why>:" and a line per file with its reason.
void printFileList(const std::vector<search::SkippedFile>& list, const char* what, const char* why,
                   Console& console) {
    if (list.empty())
        return;
    console.err << what << ' ' << list.size() << (list.size() == 1 ? " file" : " files") << why
                << ":\n";
    for (const search::SkippedFile& file : list)
        console.err << "  "
                    << (file.message.starts_with(file.fileName + " ") ? "" : file.fileName + ": ")
                    << file.message << '\n';
}

// Files left out, and what the user should know, after the results.
void printLeftOut(const search::SearchResults& results, Console& console) {
    for (const search::SkippedFile& folder : results.missingFolders)
        console.err << "kestrava-cli: " << folder.fileName << ": " << folder.message << '\n';
    printFileList(results.skipped, "Skipped", " that could not be read", console);
    printFileList(results.notReplaced, "Did not replace", "", console);
    for (const std::string& notice : results.notices)
        console.err << notice << '\n';
}

// The results of a process that ends right after printing them stay reachable, unfreed, until
// the end: the system takes the memory back at once, while freeing a million lines one by one
// takes a noticeable part of the run.
void keepIfEnding(std::unique_ptr<search::SearchResults>& results, const Console& console) {
    static search::SearchResults* kept = nullptr;
    if (console.endsAfterRun && kept == nullptr)
        kept = results.release();
}

// Prints what a run found and gives the exit status.
int finishRun(const CliOptions& options, const search::SearchResults& results, bool replacing,
              const StreamedOutput& streamed, Clock::time_point started, Console& console) {
    printResults(options, results, streamed, started, console);
    printLeftOut(results, console);
    // A quiet find stops by itself at its first match.
    if (options.quiet && !replacing && results.totalMatches > 0)
        return kExitMatched;
    if (const DiffSink* diff = streamed.as<DiffSink>(); diff != nullptr && !results.cancelled)
        return diff->changed() ? kExitMatched : kExitNoMatch;
    if (results.cancelled) {
        console.err << "Interrupted: the results above are incomplete.\n";
        return kExitInterrupted;
    }
    // As grep does: an error told (a folder not there, a file that could not be read, a file
    // left as it was) is the status, whatever else was found. A FIFO, socket or device passed
    // over is no error to a find; a replace did not do all it was asked.
    const bool unread =
        std::any_of(results.skipped.begin(), results.skipped.end(),
                    [replacing](const search::SkippedFile& file) {
                        return replacing || file.reason != search::SkipReason::NotRegular;
                    });
    if (!results.notReplaced.empty() || unread || !results.missingFolders.empty())
        return kExitError;
    return results.totalMatches > 0 ? kExitMatched : kExitNoMatch;
}

void printNames(const char* title, const std::vector<std::string>& names, Console& console) {
    if (names.empty())
        return;
    console.err << title << '\n';
    for (const std::string& name : names)
        console.err << "  " << name << '\n';
}

// Line numbers are printed with -n and in --json; a run without them need not count lines.
bool numbersShown(const CliOptions& options) {
    return options.lineNumbers || options.json || options.vimgrep || options.noHeading;
}

// The undo journal of a run that writes files; none for a find, --preview or --no-undo. False,
// with the reason told, when it cannot be kept.
bool openJournal(const CliOptions& options, bool writes, const search::UndoRunRequest& request,
                 std::unique_ptr<search::UndoJournal>& journal, Console& console) {
    if (!writes || options.preview || options.noUndo)
        return true;
    try {
        const std::string root = config::undoJournalFolder();
        if (root.empty())
            throw search::UndoJournalError("No home folder to keep the undo journal in");
        journal = std::make_unique<search::UndoJournal>(root, request);
        return true;
    } catch (const std::exception& e) {
        console.err << "kestrava-cli: " << e.what()
                    << "\nNothing was replaced; add --no-undo to replace without keeping the old "
                       "content.\n";
    }
    return false;
}

// Older runs go once a run has kept something.
void pruneJournals(const search::UndoJournal* journal) {
    if (journal != nullptr && journal->files() > 0)
        search::pruneUndoRuns(config::undoJournalFolder(), search::JournalLimits{});
}

// What the user answered for the changes of one file.
enum class Answer : uint8_t { Yes, No, RestOfFile, NoneOfFile, Quit };

Answer ask(const std::string& path, const search::ChangeView& view, Console& console) {
    const auto lines = [&](char sign, const std::string& text) {
        size_t start = 0;
        for (size_t end = text.find('\n'); end != std::string::npos;
             start = end + 1, end = text.find('\n', start))
            console.err << sign << text.substr(start, end - start) << '\n';
        console.err << sign << text.substr(start) << '\n';
    };
    console.err << path << ':' << view.lineNumber << '\n';
    lines('-', view.before);
    lines('+', view.after);
    for (;;) {
        console.err << "Replace this? [y,n,a,d,q] " << std::flush;
        std::string answer;
        if (!std::getline(console.in, answer))
            return Answer::Quit;
        answer = lower(util::trimControl(answer));
        static const std::map<std::string, Answer> kAnswers = {{"y", Answer::Yes},
                                                               {"n", Answer::No},
                                                               {"a", Answer::RestOfFile},
                                                               {"d", Answer::NoneOfFile},
                                                               {"q", Answer::Quit}};
        if (const auto known = kAnswers.find(answer); known != kAnswers.end())
            return known->second;
        console.err << "y: replace this, n: keep it, a: replace this and the rest of the file, "
                       "d: keep the rest of the file, q: stop (what was chosen is replaced)\n";
    }
}

// --interactive: each change of each file is shown and asked for; a file's chosen changes are
// written once its questions are answered, so a stop keeps what was chosen before it.
int replaceAsAnswered(const search::SearchResults& results, const CliOptions& options,
                      search::UndoJournal* journal, Console& console) {
    const util::WriteRoots roots(results.searchedFolders);
    int32_t changes = 0;
    int32_t files = 0;
    bool failed = false;
    bool quit = false;
    for (const search::FileMatches& file : results.files) {
        const std::string path =
            results.folders[static_cast<size_t>(file.folderIndex)] + file.fileName;
        if (const std::string why = search::changedSincePlanned(path, file); !why.empty()) {
            console.err << "kestrava-cli: " << path << ": " << why << '\n';
            failed = true;
            continue;
        }
        std::vector<bool> chosen(file.replacements.size(), false);
        Answer answer = Answer::Yes;
        for (size_t i = 0; i < chosen.size() && !quit; ++i) {
            if (answer != Answer::RestOfFile && answer != Answer::NoneOfFile)
                answer = ask(path, file.changeViews[i], console);
            chosen[i] = answer == Answer::Yes || answer == Answer::RestOfFile;
            quit = answer == Answer::Quit;
        }
        const auto taken = static_cast<int32_t>(std::count(chosen.begin(), chosen.end(), true));
        const std::string why = taken > 0 ? search::applyChosenChanges(roots, path, file, chosen,
                                                                       options.inSitu, journal)
                                          : "";
        if (!why.empty())
            console.err << "kestrava-cli: " << path << ": " << why << '\n';
        else if (taken > 0) {
            changes += taken;
            ++files;
        }
        failed = failed || !why.empty();
        if (quit)
            break;
    }
    pruneJournals(journal);
    console.err << util::groupedDigits(changes) << (changes == 1 ? " change" : " changes")
                << " replaced in " << util::groupedDigits(files)
                << (files == 1 ? " file\n" : " files\n");
    return failed ? kExitError : files > 0 ? kExitMatched : kExitNoMatch;
}

int runFindReplace(const CliOptions& options, Console& console) {
    const bool replacing = options.command == Command::Replace;
    if (options.interactive && !console.canAsk) {
        console.err << "kestrava-cli: --interactive asks on a terminal; run it on one\n";
        return kExitError;
    }
    search::ScanOptions scan = options.scan;
    scan.planOnly = options.preview || options.interactive;
    scan.keepReplacements = options.interactive || (options.json && replacing);
    scan.countLines = numbersShown(options);
    std::unique_ptr<search::UndoJournal> journal;
    if (!openJournal(options, replacing, {options.criteria.find, options.criteria.replace}, journal,
                     console))
        return kExitError;
    scan.undoJournal = journal.get();
    search::FindSession session({options.criteria, replacing, options.caseSensitive, options.inSitu,
                                 options.threads, scan});
    if (const std::string errors = session.check(); !errors.empty()) {
        console.err << consoleMessage(errors);
        return kExitError;
    }
    int status = kExitMatched;
    if (const std::string question = session.question();
        !options.preview && !options.interactive && !question.empty() &&
        !confirmReplace(question, options, console, status))
        return status;
    const Clock::time_point started = Clock::now();
    auto kept = std::make_unique<search::SearchResults>();
    search::SearchResults& results = *kept;
    std::stop_source stop;
    const StreamedOutput streamed(options, console, replacing, stop);
    search::FindOutcome outcome;
    {
        const InterruptWatch watch(console, stop);
        outcome = session.run(results, progressPrinter(options, console, stop), stop.get_token(),
                              streamed.sink());
    }
    clearProgress(console);
    pruneJournals(journal.get());
    if (outcome.failed) {
        streamed.flush(console); // what was found before the failure, then the failure
        console.err << consoleMessage(outcome.message);
        if (options.verbose) {
            printNames("Replaced before the error:", outcome.replaced, console);
            printNames("Not touched:", outcome.notTouched, console);
        }
        return kExitError;
    }
    if (options.interactive)
        return replaceAsAnswered(results, options, journal.get(), console);
    const int exitStatus = finishRun(options, results, replacing, streamed, started, console);
    keepIfEnding(kept, console);
    return exitStatus;
}

int runScriptCommand(const CliOptions& options, Console& console) {
    script::Script script;
    try {
        script::loadScript(script, options.scriptFile);
    } catch (const std::exception& e) {
        console.err << consoleMessage(e.what());
        return kExitError;
    }
    script::ScriptRunSettings settings{options.rootFolder, options.caseSensitive, options.inSitu,
                                       options.threads, options.scan};
    settings.scan.planOnly = options.preview;
    settings.scan.countLines = numbersShown(options);
    std::unique_ptr<search::UndoJournal> journal;
    if (!openJournal(options, script::scriptReplaces(script), {"script " + options.scriptFile, ""},
                     journal, console))
        return kExitError;
    settings.scan.undoJournal = journal.get();
    int status = kExitMatched;
    script::ScriptRunEvents events;
    // Only a script that writes files needs a confirmation, as a replace does.
    if (script::scriptReplaces(script) && !options.preview)
        events.confirm = [&](const std::string& question) {
            return confirmReplace(question, options, console, status);
        };
    std::stop_source stop;
    events.progress = progressPrinter(options, console, stop);
    const StreamedOutput streamed(options, console, script::scriptReplaces(script), stop);
    events.sink = streamed.sink();
    const Clock::time_point started = Clock::now();
    search::CompiledRequest specs;
    search::SearchResults results;
    script::ScriptRunResult run;
    {
        const InterruptWatch watch(console, stop);
        run = script::runScript(script, settings, specs, results, events, stop.get_token());
    }
    clearProgress(console);
    pruneJournals(journal.get());
    switch (run.outcome) {
    case script::ScriptRunOutcome::Declined:
        return status;
    case script::ScriptRunOutcome::RootFolderEmpty:
        console.err << consoleMessage(run.message);
        return kExitError;
    case script::ScriptRunOutcome::Failed: // what the earlier groups found is kept, and shown
                                           // before the failure
        if (results.totalMatches > 0)
            finishRun(options, results, script::scriptReplaces(script), streamed, started, console);
        else
            streamed.flush(console);
        console.err << consoleMessage(run.message);
        return kExitError;
    case script::ScriptRunOutcome::Completed:
    case script::ScriptRunOutcome::Cancelled:
        break;
    }
    return finishRun(options, results, script::scriptReplaces(script), streamed, started, console);
}

std::string localTime(int64_t seconds) {
    const auto time = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// undo --list: one run a line, newest first.
int listRuns(const std::string& root, Console& console) {
    std::vector<std::string> notices;
    const std::vector<search::UndoRunInfo> runs = search::listUndoRuns(root, &notices);
    for (const std::string& notice : notices)
        console.err << "kestrava-cli: " << notice << '\n';
    if (runs.empty()) {
        console.err << "No replacement is kept in " << root << '\n';
        return kExitNoMatch;
    }
    for (const search::UndoRunInfo& run : runs)
        console.out << run.id << "  " << localTime(run.time) << "  "
                    << util::groupedDigits(run.files) << (run.files == 1 ? " file  " : " files  ")
                    << run.pattern
                    << (run.replaceWith.empty() && run.pattern.starts_with("script ")
                            ? ""
                            : " -> " + run.replaceWith)
                    << (run.undone ? "  (undone)" : "") << '\n';
    return kExitMatched;
}

int runUndo(const CliOptions& options, Console& console) {
    const std::string root = config::undoJournalFolder();
    if (options.listRuns)
        return listRuns(root, console);
    std::string message;
    const std::optional<search::UndoRunInfo> run =
        search::undoCandidate(root, options.runId, message);
    if (!run) {
        console.err << message << '\n';
        return options.runId.empty() ? kExitNoMatch : kExitError;
    }
    int status = kExitMatched;
    if (!confirmReplace("Undo the replacement in " + util::groupedDigits(run->files) +
                            (run->files == 1 ? " file?" : " files?"),
                        options, console, status))
        return status;
    const search::UndoOutcome outcome = search::undoRun(root, run->id, options.force);
    for (const std::string& notice : outcome.notices)
        console.err << "kestrava-cli: " << notice << '\n';
    for (const auto& [path, why] : outcome.refused)
        console.err << "kestrava-cli: " << path << ": " << why << '\n';
    if (!outcome.message.empty()) {
        console.err << outcome.message << '\n';
        return kExitNoMatch;
    }
    console.err << "Undid run " << outcome.runId << ": "
                << util::groupedDigits(static_cast<int32_t>(outcome.restored.size()))
                << (outcome.restored.size() == 1 ? " file" : " files") << " put back";
    if (!outcome.refused.empty())
        console.err << ", " << util::groupedDigits(static_cast<int32_t>(outcome.refused.size()))
                    << " refused";
    console.err << '\n';
    return outcome.refused.empty() ? kExitMatched : kExitError;
}

} // namespace

std::string consoleMessage(const std::string& message) {
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
int checkedOutput(Console& console, int status) {
    if (console.out.flush())
        return status;
    const int error =
        console.outError != nullptr && *console.outError != 0 ? *console.outError : EIO;
    console.err << "kestrava-cli: write error: " << std::strerror(error) << '\n';
    return kExitError;
}

int runCommandUnchecked(const CliOptions& options, Console& console) {
    switch (options.command) {
    case Command::Help:
        console.out << (options.helpText.empty() ? usageText() : options.helpText);
        return kExitMatched;
    case Command::Version:
        console.out << kVersionText;
        return kExitMatched;
    case Command::Find:
    case Command::Replace:
        return runFindReplace(options, console);
    case Command::Script:
        return runScriptCommand(options, console);
    case Command::Undo:
        return runUndo(options, console);
    case Command::None:
        break;
    }
    console.err << usageText();
    return kExitError;
}

} // namespace

int runCommand(const CliOptions& options, Console& console) {
    return checkedOutput(console, runCommandUnchecked(options, console));
}

} // namespace kestrava::cli
