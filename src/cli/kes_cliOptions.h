// The command line of kestrava-cli: its commands, options and their parsing.
#pragma once

#include "results/kes_uResults.h"

#include <string>
#include <vector>

namespace kes::cli {

enum TCommand : uint8_t { ccNone, ccFind, ccReplace, ccScript, ccHelp, ccVersion };

struct TCliOptions {
    TCommand Command = ccNone;
    TkesSpecs Criteria;
    std::string ScriptFile; // script: the .ksc file as given
    std::string RootFolder; // script: the text that replaces "{RootFolder}"
    bool InSitu = false;
    bool Yes = false;
    TResultView View = rvLinesWithMatches;
    bool CaseSensitive = false;
    bool FilenamesOnly = false;
    bool NoHeader = false;
    bool RichText = false;
    int32_t Threads = 0;  // 0: one per core
    bool Verbose = false; // a replace stopped by an error names the files on each side of it
};

// Parses argv; throws std::invalid_argument with a message for the user on a bad command line.
TCliOptions ParseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsageText;

} // namespace kes::cli
