// The window program's own arguments, read before Qt starts so that --help, --version and a
// wrong option work without a display: the folders to open, and Qt's options passed on to Qt.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace kestrava::ui {

struct CommandLine {
    // argv[0] and Qt's own options with their values, in order, for QApplication.
    std::vector<char*> qtArguments;
    // The FOLDER arguments, absolute and without "." or ".." parts.
    std::vector<std::string> folders;
    // Set when the program ends here: 0 after --help or --version, 2 after a wrong option.
    std::optional<int> exitCode;
};

// Reads argv: --help and --version print to out, a wrong option is said on err.
CommandLine readCommandLine(int argc, char* argv[], std::ostream& out, std::ostream& err);

} // namespace kestrava::ui
