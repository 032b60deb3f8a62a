// The checks of a Find or Find & Replace request. The trailing-bar rule itself is proven by the
// util tests; here it only has to be applied.
#include "search/search.h"

#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::search;

namespace {

TEST(RequestChecks, ReturnTheMessagesInOrderAndKeepNoPatternWhenRefused) {
    const std::string patternError =
        "Invalid Find Expression: Error in Pattern: \"missing closing parenthesis\" at offset (2)";
    struct {
        const char* name;
        Criteria criteria;
        bool replacing;
        std::string expected; // "" when the run may start
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
        // A Find press never writes, whatever the Replace box holds.
        {"FindWithATemplate", {"/", "*", "a", "b", ""}, false, ""},
    };
    for (const auto& c : cases) {
        CompiledRequest specs;
        EXPECT_EQ(prepareFindReplace(c.criteria, c.replacing, false, specs), c.expected) << c.name;
        EXPECT_EQ(specs.items.size(), 1u) << c.name;
        EXPECT_EQ(specs.regEx.slotsUsed(), c.expected.empty() ? 1 : 0) << c.name;
        if (c.expected.empty()) {
            EXPECT_EQ(specs.replace, c.replacing) << c.name;
            EXPECT_EQ(specs.items[0].doReplace, c.replacing) << c.name;
        }
    }
}

TEST(RequestItem, CaseSettingTogglesOnlyIgnoreCase) {
    CompiledRequest specs; // one object, so the setting must be turned off and on again
    for (const bool sensitive : {true, false}) {
        ASSERT_EQ(prepareFindReplace({"/", "*", "a.c", "", ""}, false, sensitive, specs), "");
        regex::MatchCollection matches;
        EXPECT_EQ(specs.regEx.matches(specs.items[0].patternID, "A\nC", 3, 0, {}, matches),
                  !sensitive);
        EXPECT_TRUE(specs.regEx.matches(specs.items[0].patternID, "a\nc", 3, 0, {}, matches));
    }
}

// The question before a Find & Replace run must say where the replaced text goes.
TEST(ReplaceTexts, NameWhereTheReplacedTextGoes) {
    EXPECT_EQ(replaceConfirmText(true),
              "Replace all matches of the \"Find\" expression with the \"ReplaceWith\" expression "
              "in the specified files (note: original files will be altered and no backup "
              "performed)?");
    EXPECT_EQ(replaceNote(false),
              " (note: original files will not be altered and files with the same names and "
              "containing the original files contents with replacements will be created in a "
              "subfolder named \"kesReplace\")");
}

} // namespace
