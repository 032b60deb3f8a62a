// The command line of kestrava-cli: its commands, options and their parsing.
#pragma once

#include "results/kes_uResults.h"

#include <string>
#include <vector>

namespace kes::cli {

enum TCommand : uint8_t { ccNone, ccFind, ccReplace, ccHelp, ccVersion };

struct TCliOptions {
    TCommand Command = ccNone;
    TkesSpecs Criteria;
    bool InSitu = false;
    bool Yes = false;
    TResultView View = rvLinesWithMatches;
    bool CaseSensitive = false;
    bool FilenamesOnly = false;
    bool NoHeader = false;
    bool RichText = false;
};

// Parses argv; throws std::invalid_argument with a message for the user on a bad command line.
TCliOptions ParseCommandLine(const std::vector<std::string>& args);

extern const char* const kUsageText;

} // namespace kes::cli
