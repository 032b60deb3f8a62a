// Replacement templates: expansion, limits, start position and template errors.
#include "regex_test_util.h"

#include <gtest/gtest.h>

namespace kestrava::regex {
namespace {

class ReplaceTest : public ::testing::Test {
  protected:
    std::string replaced(const std::string& pattern, const std::string& text,
                         const std::string& tmpl, int32_t max = -1, int32_t startAt = 1) {
        std::string output = "stale";
        m_regex.replace(test::compile(m_regex, pattern), text, tmpl, max, startAt, output);
        return output;
    }
    PatternSet m_regex;
};

// A faulty template tells its offset and token.
TEST_F(ReplaceTest, TemplateFormsAndTheirErrors) {
    for (const golden::Row& c : test::cases("templates"))
        EXPECT_EQ(replaced(c[0], c[1], c[2], std::stoi(c[4]), std::stoi(c[5])), c[3])
            << c[0] << " " << c[2] << " " << c[4] << " " << c[5];
    EXPECT_EQ(replaced("a", std::string(2500, 'a'), "b"), std::string(2500, 'b'));
    for (const golden::Row& c : test::cases("template errors")) {
        const auto raised = test::raised([&] { replaced(c[0], "abc", c[1]); });
        EXPECT_EQ(raised.code, RegexErrorCode::ReplacementError) << c[1];
        EXPECT_EQ(raised.message, "\"Error in Replacement string \"" + c[1] + "\" " + c[2] +
                                      "\" reported by Method \"Match\" on Class \"TldiRegExMulti\" "
                                      "when calling \"MatchAndReplace\".");
    }
}

TEST_F(ReplaceTest, CustomTokensAreAskedByIndex) {
    m_regex.setCustomTokens(" Date , user,Path ");
    EXPECT_EQ(m_regex.customTokens(), " Date , user,Path ");
    std::vector<int32_t> asked;
    m_regex.setOnReplaceCustomToken([&](PatternTable&, int32_t index, std::string& value) {
        asked.push_back(index);
        value += std::to_string(index); // the value persists across one expansion's tokens
    });
    EXPECT_EQ(replaced("x", "x-x", "${USER}:${path}"), "1:12-1:12");
    EXPECT_EQ(asked, (std::vector<int32_t>{1, 2, 1, 2}));

    m_regex.setOnReplaceCustomToken(nullptr);
    EXPECT_EQ(
        test::raised([&] { replaced("x", "x", "${date}"); }).message,
        R"m("The OnReplaceCustomToken event must  be assigned to evaluate the token ${Date}" reported by Method "AppendReplacement".)m");
}

} // namespace
} // namespace kestrava::regex
