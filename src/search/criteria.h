// The Find/Replace press: the criteria boxes of one request, checked and compiled.
#pragma once

#include "search/run.h"

#include <string>

namespace kestrava::search {

// The criteria boxes of one request (Options is unused by a press).
struct Criteria {
    std::string folders;
    std::string files;
    std::string find;
    std::string replace;
    std::string options;
};

// Adds coIgnoreCase to the default pattern options unless matching is case sensitive.
void applyCaseSetting(regex::PatternSet& regEx, bool caseSensitive);
// Checks a Find (or, with `replacing`, Find & Replace) request and compiles it into `specs` as
// its one item, applying the case setting first. Returns "" when the run may start, otherwise
// the error text to show (patterns are then cleared).
std::string prepareFindReplace(const Criteria& criteria, bool replacing, bool caseSensitive,
                               CompiledRequest& specs);
// The question asked before a Find & Replace run, note and "?" included.
std::string replaceConfirmText(bool replaceInPlace, bool undoKept = false);

} // namespace kestrava::search
