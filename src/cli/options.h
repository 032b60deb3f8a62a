// The command line of kestrava-cli: its commands, options and their parsing.
#pragma once

#include "results/results.h"

#include <string>
#include <vector>

namespace kestrava::cli {

enum class Command : uint8_t { None, Find, Replace, Script, Undo, Help, Version };

// --color: auto colours only a terminal, and only while NO_COLOR is unset.
enum class ColorChoice : uint8_t { Auto, Always, Never };

struct CliOptions {
    Command command = Command::None;
    search::Criteria criteria;
    std::string scriptFile; // script: the .ksc file as given
    std::string rootFolder; // script: the text that replaces "{rootFolder}"
    bool inSitu = false;
    bool yes = false;
    bool preview = false;     // replace, script: print the changes as a unified diff, write nothing
    bool noUndo = false;      // replace, script: keep no undo journal
    bool interactive = false; // replace: ask for each change
    std::string runId;        // undo: the run to undo; empty for the newest not undone
    bool listRuns = false;    // undo --list
    bool force = false;       // undo: put back even files changed since the run
    results::View view = results::View::LinesWithMatches;
    bool caseSensitive = false;
    bool filenamesOnly = false; // the export's file rows alone
    bool pathsOnly = false;     // -l: the paths alone, one a line
    bool countOnly = false;     // -c: "path:N", N the text lines matched
    bool nullAfterPath = false; // -0: a NUL byte after each path of -l or -c, not a line end
    bool vimgrep = false;       // "path:line:column:text" per match
    bool noHeading = false;     // "path:line:text" per matched text line
    bool noHeader = false;
    bool lineNumbers = false; // line and match rows begin with "N:"
    bool richText = false;
    ColorChoice color = ColorChoice::Auto;
    bool json = false;          // one JSON object per line instead of the text
    bool quiet = false;         // nothing on standard output; a find stops at its first match
    int32_t threads = 0;        // 0: one per core
    search::ScanOptions scan{}; // binary files, .gitignore, context lines
    bool verbose = false;       // a replace stopped by an error names the files on each side of it
    std::string helpText;       // Help: the help asked for
};

// Parses argv; throws std::invalid_argument with a message for the user on a bad command line.
CliOptions parseCommandLine(const std::vector<std::string>& args);

// The program's help: its commands and options, the syntax of folders and files, examples and the
// exit statuses.
std::string usageText();

} // namespace kestrava::cli
