// Small helpers shared by the regular-expression tests.
#pragma once

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

// Compiles with the object's defaults; the ID, or -1 with a test failure naming the error.
inline int32_t compile(PatternSet& regex, const std::string& pattern) {
    int32_t id = -1;
    PatternStatus status;
    if (!regex.addPattern(pattern, id, status))
        ADD_FAILURE() << pattern << ": " << status.errorMessage;
    return id;
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
