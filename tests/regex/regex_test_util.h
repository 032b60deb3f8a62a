// Small helpers shared by the regular-expression tests.
#pragma once

#include "../case_table.h"
#include "regex/pattern_table.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace kestrava::regex::test {

// What the action raised: a RegexError's message and code, or a stop (empty message when none).
struct Raised {
    std::string message;
    RegexErrorCode code = RegexErrorCode::None;
    bool stopped = false;
};

inline int32_t compile(PatternSet& regex, const std::string& pattern) {
    int32_t id = -1;
    PatternStatus status;
    if (!regex.addPattern(pattern, id, status))
        ADD_FAILURE() << pattern << ": " << status.errorMessage;
    return id;
}

inline std::vector<golden::Row> cases(const std::string& name) {
    return golden::caseTable(KES_REGEX_CASES, name);
}

inline PatternOptions optionsOf(const std::string& letters) {
    using enum PatternOption;
    const std::string_view known = "ismxa$eUuEcn";
    const PatternOption options[] = {
        IgnoreCase, DotMatchesAll, Multiline, IgnorePatternWhiteSpace, Anchored,    DollarEndOnly,
        Extra,      UnGreedy,      Utf8,      ExplicitCapture,         NoUtf8Check, NoStudy};
    PatternOptions set;
    for (const char c : letters)
        if (c != '-')
            set.include(options[known.find(c)]);
    return set;
}

inline Raised raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const RegexError& e) {
        return {e.what(), e.errorCode};
    } catch (const RegexStoppedError&) {
        return {"", RegexErrorCode::None, true};
    }
    return {};
}

} // namespace kestrava::regex::test
