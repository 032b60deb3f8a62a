// The checks of a Find or Find & Replace request. The trailing-bar rule itself is proven by the
// util tests; here it only has to be applied.
#include "search/kes_uFind.h"

#include <gtest/gtest.h>

using namespace kes;

namespace {

TEST(RequestChecks, ReturnTheMessagesInOrderAndKeepNoPatternWhenRefused) {
    const std::string patternError =
        "Invalid Find Expression: Error in Pattern: \"missing )\" at offset (2)";
    struct {
        const char* Name;
        TkesSpecs Criteria;
        bool Replacing;
        std::string Expected; // "" when the run may start
    } const cases[] = {
        {"AllEmpty",
         {},
         false,
         "\r\nNo Folder(s) specified\r\nNo File(s) specified\r\nNothing to \"Find\" specified"},
        {"PatternErrorReplacesEarlierMessages", {"", "*", "a(", "", ""}, false, patternError},
        {"ReplaceAfterPatternError",
         {"/", "*", "a(", "", ""},
         true,
         patternError + "\r\nNothing to \"ReplaceWith\" specified"},
        {"TrailingBar",
         {"/", "*", "abc|", "", ""},
         false,
         "Invalid Find Expression: Expression cannot end with '|'"},
        {"ReplaceWithoutTemplate",
         {"/", "*", "a", "", ""},
         true,
         "\r\nNothing to \"ReplaceWith\" specified"},
        {"Valid", {"/", "*", "a", "b", ""}, true, ""},
    };
    for (const auto& c : cases) {
        TFindReplaceSpecs specs;
        EXPECT_EQ(PrepareFindReplace(c.Criteria, c.Replacing, false, specs), c.Expected) << c.Name;
        EXPECT_EQ(specs.Items.size(), 1u) << c.Name;
        EXPECT_EQ(specs.RegEx.SlotsUsed(), c.Expected.empty() ? 1 : 0) << c.Name;
    }
}

// A Find press never writes, whatever the Replace box holds ("^$" is proven by the replace tests).
TEST(RequestItem, CarriesNoTemplateWhenOnlyFinding) {
    TFindReplaceSpecs specs;
    ASSERT_EQ(PrepareFindReplace({"/", "*", "a", "b", ""}, false, false, specs), "");
    EXPECT_FALSE(specs.Replace || specs.Items[0].DoReplace);
}

TEST(RequestItem, CaseSettingTogglesOnlyIgnoreCase) {
    TFindReplaceSpecs specs; // one object, so the setting must be turned off and on again
    for (const bool sensitive : {true, false}) {
        ASSERT_EQ(PrepareFindReplace({"/", "*", "a.c", "", ""}, false, sensitive, specs), "");
        TMatchCollection matches;
        EXPECT_EQ(specs.RegEx.Matches(specs.Items[0].PatternID, "A\nC", 3, 0, {}, matches),
                  !sensitive);
        EXPECT_TRUE(specs.RegEx.Matches(specs.Items[0].PatternID, "a\nc", 3, 0, {}, matches));
    }
}

// The question before a Find & Replace run must say where the replaced text goes.
TEST(ReplaceTexts, NameWhereTheReplacedTextGoes) {
    EXPECT_EQ(ReplaceConfirmText(true),
              "Replace all matches of the \"Find\" expression with the \"ReplaceWith\" expression "
              "in the specified files (note: original files will be altered and no backup "
              "performed)?");
    EXPECT_EQ(ReplaceNote(false),
              " (note: original files will not be altered and files with the same names and "
              "containing the original files contents with replacements will be created in a "
              "subfolder named \"kesReplace\")");
}

} // namespace
