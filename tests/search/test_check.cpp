// The checks of a Find or Find & Replace request and the texts around replacing.
#include "search/kes_uFind.h"

#include <gtest/gtest.h>

using namespace kes;

namespace {

struct CheckCase {
    const char* Name;
    TkesSpecs Criteria;
    bool Replacing;
    std::string Expected; // "" when the run may start; a trailing "*" matches any rest
};

void PrintTo(const CheckCase& c, std::ostream* out) {
    *out << c.Name;
}

class RequestChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(RequestChecks, ReturnTheMessagesInOrder) {
    TFindReplaceSpecs specs;
    const std::string errors =
        PrepareFindReplace(GetParam().Criteria, GetParam().Replacing, false, specs);
    const std::string& expected = GetParam().Expected;
    if (expected.ends_with("*"))
        EXPECT_TRUE(errors.starts_with(expected.substr(0, expected.size() - 1))) << errors;
    else
        EXPECT_EQ(errors, expected);
    ASSERT_EQ(specs.Items.size(), 1u);
    // A refused request leaves no compiled pattern behind.
    EXPECT_EQ(specs.RegEx.SlotsUsed(), errors.empty() ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestChecks,
    ::testing::Values(
        CheckCase{"AllEmpty",
                  {},
                  false,
                  "\r\nNo Folder(s) specified\r\nNo File(s) specified\r\nNothing to \"Find\" "
                  "specified"},
        CheckCase{"PatternErrorReplacesEarlierMessages",
                  {"", "*", "a(", "", ""},
                  false,
                  "Invalid Find Expression: *"},
        CheckCase{"TrailingBar",
                  {"/", "*", "abc|", "", ""},
                  false,
                  "Invalid Find Expression: Expression cannot end with '|'"},
        CheckCase{"TrailingBarThenBlank",
                  {"/", "*", "abc| ", "", ""},
                  false,
                  "Invalid Find Expression: Expression cannot end with '|'"},
        CheckCase{"EscapedTrailingBar", {"/", "*", "abc\\|", "", ""}, false, ""},
        CheckCase{"ReplaceWithoutTemplate",
                  {"/", "*", "a", "", ""},
                  true,
                  "\r\nNothing to \"ReplaceWith\" specified"},
        CheckCase{"ReplaceAfterPatternError",
                  {"/", "*", "a(", "", ""},
                  true,
                  "Invalid Find Expression: *"},
        CheckCase{"Valid", {"/", "*", "a", "b", ""}, true, ""}),
    [](const auto& param) { return std::string(param.param.Name); });

TEST(RequestItem, CarriesTheTemplateOnlyWhenReplacing) {
    TFindReplaceSpecs specs;
    ASSERT_EQ(PrepareFindReplace({"/", "*", "a", "^$", ""}, true, false, specs), "");
    EXPECT_TRUE(specs.Replace);
    EXPECT_TRUE(specs.Items[0].DoReplace);
    EXPECT_EQ(specs.Items[0].ReplaceWith, ""); // "^$" stands for an empty replacement
    ASSERT_EQ(PrepareFindReplace({"/", "*", "a", "b", ""}, false, false, specs), "");
    EXPECT_FALSE(specs.Replace);
    EXPECT_FALSE(specs.Items[0].DoReplace);
    EXPECT_EQ(specs.Items[0].ReplaceWith, "");
}

TEST(RequestItem, CaseSettingTogglesOnlyIgnoreCase) {
    TFindReplaceSpecs specs;
    PrepareFindReplace({"/", "*", "abc", "", ""}, false, true, specs);
    EXPECT_FALSE(specs.RegEx.DefaultPatternOptions().Contains(coIgnoreCase));
    EXPECT_TRUE(specs.RegEx.DefaultPatternOptions().Contains(coDotMatchesAll));
    TMatchCollection matches;
    EXPECT_FALSE(specs.RegEx.Matches(specs.Items[0].PatternID, "ABC", 3, 0, {}, matches));
    PrepareFindReplace({"/", "*", "abc", "", ""}, false, false, specs);
    EXPECT_TRUE(specs.RegEx.DefaultPatternOptions().Contains(coIgnoreCase));
    EXPECT_TRUE(specs.RegEx.Matches(specs.Items[0].PatternID, "ABC", 3, 0, {}, matches));
}

TEST(ReplaceTexts, NameWhereTheReplacedTextGoes) {
    EXPECT_EQ(ReplaceNote(true), " (note: original files will be altered and no backup performed)");
    EXPECT_EQ(ReplaceConfirmText(false),
              "Replace all matches of the \"Find\" expression with the \"ReplaceWith\" expression "
              "in the specified files (note: original files will not be altered and files with "
              "the same names and containing the original files contents with replacements will "
              "be created in a subfolder named \"kesReplace\")?");
}

} // namespace
