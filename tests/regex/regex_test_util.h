// Small helpers shared by the regular-expression tests.
#pragma once

#include "regex/ldiRegEx.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace kes::test {

// The message and code of the EldiRegExError the action raises; empty message when none.
struct TRaised {
    std::string Message;
    TRegExError Code = reNone;
};

// Compiles with the object's defaults; the ID, or -1 with a test failure naming the error.
inline int32_t Compile(TldiRegExMulti& regex, const std::string& pattern) {
    int32_t id = -1;
    TPatternStatus status;
    if (!regex.AddPattern(pattern, id, status))
        ADD_FAILURE() << pattern << ": " << status.ErrorMessage;
    return id;
}

inline TRaised Raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const EldiRegExError& e) {
        return {e.what(), e.ErrorCode};
    }
    return {};
}

} // namespace kes::test
