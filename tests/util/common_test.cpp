#include "util/common.h"

#include <gtest/gtest.h>

using namespace kestrava::util;

TEST(CheckFindExpression, RefusesAnUnescapedBarAtTheEnd) {
    const std::string refused = "Expression cannot end with '|'";
    const std::pair<std::string, bool> cases[] = {
        {"abc|", true},      {"|", true},      {"abc| ", true},   {"abc|\t\r\n", true},
        {"  |  ", true},     {"a\\\\|", true}, {"abc\\|", false}, {"a\\\\\\|", false},
        {"a|b", false},      {"", false},      {"   ", false},    {"[|]", false},
        {"abc|\xe9", false}, // a Latin-1 letter is no blank to trim
    };
    for (const auto& [expression, isRefused] : cases) {
        std::string message = "stale";
        EXPECT_EQ(checkFindExpression(expression, message), isRefused) << expression;
        EXPECT_EQ(message, isRefused ? refused : "") << expression;
    }
}
