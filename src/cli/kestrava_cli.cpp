// kestrava-cli: find and replace across files from a terminal.
#include "cli/kes_cliRun.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) {
    // A second Ctrl+C ends the program at once.
    if (gInterrupted.exchange(true))
        std::_Exit(kes::cli::kExitInterrupted);
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::signal(SIGINT, OnInterrupt);
    kes::cli::TCliOptions options;
    try {
        options = kes::cli::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::cerr << "kestrava-cli: " << e.what() << "\nTry 'kestrava-cli --help'.\n";
        return kes::cli::kExitError;
    }
    const bool errIsTerminal = isatty(STDERR_FILENO) != 0;
    kes::cli::TCliConsole console{std::cout,     std::cerr,
                                  std::cin,      errIsTerminal && isatty(STDIN_FILENO) != 0,
                                  errIsTerminal, &gInterrupted,  true};
    return kes::cli::RunCommand(options, console);
}
