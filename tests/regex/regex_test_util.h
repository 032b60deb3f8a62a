// Small helpers shared by the regular-expression tests.
#pragma once

#include "regex/ldiRegEx.h"

#include <functional>
#include <string>

namespace kes::test {

// The message and code of the EldiRegExError the action raises; empty message when none.
struct TRaised {
    std::string Message;
    TRegExError Code = reNone;
};

inline TRaised Raised(const std::function<void()>& action) {
    try {
        action();
    } catch (const EldiRegExError& e) {
        return {e.what(), e.ErrorCode};
    }
    return {};
}

} // namespace kes::test
