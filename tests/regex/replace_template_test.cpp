// Replacement templates: expansion, limits, start position and template errors.
#include "regex_test_util.h"

#include <gtest/gtest.h>

namespace kestrava::regex {
namespace {

class ReplaceTest : public ::testing::Test {
  protected:
    int32_t compile(const std::string& pattern) { return test::compile(m_regex, pattern); }
    std::string replaced(const std::string& pattern, const std::string& text,
                         const std::string& tmpl, int32_t max = -1, int32_t startAt = 1) {
        std::string output = "stale";
        m_regex.replace(compile(pattern), text, tmpl, max, startAt, output);
        return output;
    }
    PatternSet m_regex;
};

TEST_F(ReplaceTest, TemplateForms) {
    struct Case {
        const char* pattern;
        std::string text;
        const char* tmpl;
        std::string expected;
        int32_t max = -1;
        int32_t startAt = 1;
    };
    const std::string tenGroups = "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)";
    const Case cases[] = {
        {"(\\w+)@(\\w+)", "me@host", "$2 at $1", "host at me"},
        {"b", "abc", "[$0]", "a[b]c"},
        {"b", "abc", "$", "a$c"}, // a lone dollar is literal
        {"b", "abc", "a$", "aa$c"},
        {"b", "abc", "$x", "a$xc"},   // $ before another character is literal
        {"b", "abc", "\\$1", "a$1c"}, // an escaped dollar is not a group
        {"b", "abc", "\\\\", "a\\c"},
        {"b", "abc", "x\\", "ax\\c"}, // a trailing backslash stays
        {"b", "abc", "\\n", "anc"},   // backslash only escapes, it does not translate
        {"b", "abcb", "", "ac"},      // empty template deletes every match
        {"(?<y>\\d+)-(?P<m>\\d+)", "2026-12", "$<m>/$<y>", "12/2026"},
        {"(a)|(b)", "ab", "[$2]", "[][b]"}, // a group that did not take part gives nothing
        {"x*", "axb", "-", "a-b"},          // only non-empty matches are replaced
        {"B", "abcb", "_", "a_c_"},         // the object's default: case-insensitive
        {tenGroups.c_str(), "abcdefghij", "$10$1", "ja"}, // ten or more groups take every digit
        {tenGroups.c_str(), "abcdefghij", "$010", "j"},   // leading zeros are one number
        {"a", "aaaa", "b", "baaa", 1},                    // maximum
        {"a", "aaaa", "b", "aaaa", 0},
        {"a", "xxaa", "b", "aa", 0, 3}, // text before the start is not copied
        {"a", "xaxa", "b", "xb", -1, 3},
        {"a", "a", "b", "", -1, 2},                                 // start just past the end
        {"a", std::string(2500, 'a'), "b", std::string(2500, 'b')}, // no hidden limit
    };
    for (const Case& c : cases)
        EXPECT_EQ(replaced(c.pattern, c.text, c.tmpl, c.max, c.startAt), c.expected)
            << c.pattern << " " << c.tmpl << " " << c.max << " " << c.startAt;
}

TEST_F(ReplaceTest, TemplateErrorsGiveOffsetAndToken) {
    struct Case {
        const char* pattern;
        const char* tmpl;
        const char* detail;
    };
    const Case cases[] = {
        {"b", "x$9y", R"m(at offset (3): Invalid Capture Group "$9")m"},
        {"b", "${", R"m(at offset (2): Invalid Custom Token "${")m"},
        {"b", "${nope}", R"m(at offset (6): Invalid Custom Token "${nope}")m"},
        {"(a)", "$10", R"m(at offset (3): Invalid Capture Group "$10")m"},
        {"(?<n>a)", "<$<m>>", R"m(at offset (4): Invalid Named Capture Group "$<m>")m"},
        {"(?<n>a)", "$<n", R"m(at offset (3): Invalid Named Capture Group "$<n")m"},
        {"(?<n>a)", "$<N>", R"m(at offset (3): Invalid Named Capture Group "$<N>")m"},
        {"b", "$99999999999", R"m(at offset (12): Invalid Capture Group "$99999999999")m"},
    };
    for (const Case& c : cases) {
        const int32_t id = compile(c.pattern);
        std::string output = "untouched";
        const auto raised =
            test::raised([&] { m_regex.replace(id, "abc", c.tmpl, -1, 1, output); });
        EXPECT_EQ(raised.code, RegexErrorCode::ReplacementError) << c.tmpl;
        EXPECT_EQ(raised.message, std::string("\"Error in Replacement string \"") + c.tmpl + "\" " +
                                      c.detail +
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
    const int32_t id = compile("x");
    std::string output;
    EXPECT_EQ(
        test::raised([&] { m_regex.replace(id, "x", "${date}", -1, 1, output); }).message,
        R"m("The OnReplaceCustomToken event must  be assigned to evaluate the token ${Date}" reported by Method "AppendReplacement".)m");
}

} // namespace
} // namespace kestrava::regex
