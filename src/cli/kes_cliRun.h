// Runs one kestrava-cli command against the core, writing to the streams it is given.
#pragma once

#include "cli/kes_cliOptions.h"

#include <atomic>
#include <iosfwd>

namespace kes::cli {

// Exit statuses.
constexpr int kExitMatched = 0;
constexpr int kExitNoMatch = 1;
constexpr int kExitError = 2;
constexpr int kExitInterrupted = 130;

struct TCliConsole {
    std::ostream& Out;
    std::ostream& Err;
    std::istream& In;
    bool CanAsk = false;       // standard input and error are a terminal: questions can be asked
    bool ShowProgress = false; // standard error is a terminal: progress on one updating line
    const std::atomic<bool>* Interrupted = nullptr; // set by Ctrl+C (or SIGTERM): stop the run
    bool EndsAfterRun = false;     // the process ends after the command: its results are not freed
    const int* OutError = nullptr; // errno of the first failed write to Out, when it is known
};

// Runs the command and returns the exit status.
int RunCommand(const TCliOptions& options, TCliConsole& console);

// A message as the window would show it, for a terminal: CR LF as line breaks, no leading
// empty line, one final line break.
std::string ConsoleMessage(const std::string& message);

} // namespace kes::cli
