// Runs one kestrava-cli command against the core, writing to the streams it is given.
#pragma once

#include "cli/options.h"

#include <atomic>
#include <iosfwd>

namespace kestrava::cli {

// Exit statuses.
constexpr int kExitMatched = 0;
constexpr int kExitNoMatch = 1;
constexpr int kExitError = 2;
constexpr int kExitInterrupted = 130;

struct Console {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool canAsk = false;       // standard input and error are a terminal: questions can be asked
    bool showProgress = false; // standard error is a terminal: progress on one updating line
    const std::atomic<bool>* interrupted = nullptr; // set by Ctrl+C (or SIGTERM): stop the run
    bool endsAfterRun = false;     // the process ends after the command: its results are not freed
    const int* outError = nullptr; // errno of the first failed write to Out, when it is known
    bool outIsTerminal = false;    // standard output is a terminal: colour it (--color=auto)
    bool noColor = false;          // NO_COLOR is set: no colour unless --color=always
    bool progressShown = false;    // a progress line stands on standard error, to be erased
};

// Runs the command and returns the exit status.
int runCommand(const CliOptions& options, Console& console);

// A message as the window would show it, for a terminal: CR LF as line breaks, no leading
// empty line, one final line break.
std::string consoleMessage(const std::string& message);

} // namespace kestrava::cli
