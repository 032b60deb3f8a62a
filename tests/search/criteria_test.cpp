// Parsing of the Folder(s) and File(s) entries, and the checks of a Find or Find & Replace
// request. The trailing-bar rule itself is proven by the util tests; here it only has to be
// applied.
#include "search/search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::search;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

TEST(FolderGrammar, DividesEachSpecification) {
    const std::pair<const char*, std::vector<FolderSpec>> cases[] = {
        {"c:\\Temp<+><excluding abc,def>", {{"c:\\Temp", true, {"abc", "def"}}}},
        {"c:\\Temp <+> <excluding abc>", {{"c:\\Temp", true, {"abc"}}}},
        // Two blanks after the marker: the marker stays in the path.
        {"c:\\Temp <+>  <excluding abc>", {{"c:\\Temp <+>", false, {"abc"}}}},
        // Reversed order: the exclusion group runs to the last ">".
        {"c:\\Temp<excluding abc><+>", {{"c:\\Temp", false, {"abc><+"}}}},
        {"d:\\temp", {{"d:\\temp", false, {}}}},
        {"  /src <+>  ", {{"/src", true, {}}}},
        {"/src<+><EXCLUDING Bin>", {{"/src", true, {"Bin"}}}},
        {"/src/<+><excluding a, b ,,c>", {{"/src/", true, {"a", "b", "", "c"}}}},
        {"a|b|", {{"a", false, {}}, {"b", false, {}}}},
        {"a||b", {{"a", false, {}}, {"", false, {}}, {"b", false, {}}}},
        {"|a", {{"", false, {}}, {"a", false, {}}}},
        {"", {}},
    };
    for (const auto& [entry, expected] : cases) {
        FolderSpecs folders;
        parseFoldersToSearch(entry, folders);
        ASSERT_EQ(folders.size(), expected.size()) << entry;
        for (size_t i = 0; i < folders.size(); ++i) {
            EXPECT_EQ(folders[i].folder, expected[i].folder) << entry;
            EXPECT_EQ(folders[i].includeSubfolders, expected[i].includeSubfolders) << entry;
            EXPECT_EQ(folders[i].excludedFolders, expected[i].excludedFolders) << entry;
        }
    }
}

TEST(FileGrammar, DividesMasksAndExclusions) {
    FileMaskSpecs files;
    parseFilesToSearch("*.html<excluding abc.html> | *.pas|\t*.h <Excluding a.h, b.h>", files);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].fileMask, "*.html");
    EXPECT_THAT(files[0].excludedFiles, ElementsAre("abc.html"));
    EXPECT_EQ(files[1].fileMask, "*.pas");
    EXPECT_TRUE(files[1].excludedFiles.empty());
    EXPECT_EQ(files[2].fileMask, "*.h");
    EXPECT_THAT(files[2].excludedFiles, ElementsAre("a.h", "b.h"));
}


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

// The question before a replace must say where the replaced text goes: swapped notes would tell
// users their files stay as they are while they are rewritten.
TEST(ReplaceTexts, NameWhereTheReplacedTextGoes) {
    EXPECT_THAT(replaceConfirmText(true), HasSubstr("original files will be altered and no backup"));
    EXPECT_THAT(replaceNote(false), HasSubstr("will be created in a subfolder named \"kesReplace\""));
}

} // namespace
