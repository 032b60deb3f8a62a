// Parsing of the Folder(s) and File(s) entries, and the checks of a Find or Find & Replace
// request (the trailing-bar rule itself is proven by the util tests).
#include "search/search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::search;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// Each folder entry as "folder|+|exclusion,exclusion" ("-" without subfolders), each file entry
// as "mask|exclusion,exclusion".
TEST(EntryGrammar, DividesEachEntry) {
    const auto folders = [](const std::string& entry) {
        FolderSpecs parsed;
        parseFoldersToSearch(entry, parsed);
        std::vector<std::string> out;
        for (const FolderSpec& folder : parsed) {
            out.push_back(folder.folder + (folder.includeSubfolders ? "|+|" : "|-|"));
            for (const std::string& excluded : folder.excludedFolders)
                out.back() += excluded + ",";
        }
        return out;
    };
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"c:\\Temp<+><excluding abc,def>", {"c:\\Temp|+|abc,def,"}},
        {"c:\\Temp <+> <excluding abc>", {"c:\\Temp|+|abc,"}},
        // Two blanks after the marker: the marker stays in the path.
        {"c:\\Temp <+>  <excluding abc>", {"c:\\Temp <+>|-|abc,"}},
        // Reversed order: the exclusion group runs to the last ">".
        {"c:\\Temp<excluding abc><+>", {"c:\\Temp|-|abc><+,"}},
        {"d:\\temp", {"d:\\temp|-|"}},
        {"  /src <+>  ", {"/src|+|"}},
        {"/src<+><EXCLUDING Bin>", {"/src|+|Bin,"}},
        {"/src/<+><excluding a, b ,,c>", {"/src/|+|a,b,,c,"}},
        {"a|b|", {"a|-|", "b|-|"}},
        {"a||b", {"a|-|", "|-|", "b|-|"}},
        {"|a", {"|-|", "a|-|"}},
        {"", {}},
    };
    for (const auto& [entry, expected] : cases)
        EXPECT_EQ(folders(entry), expected) << entry;
    FileMaskSpecs files;
    parseFilesToSearch("*.html<excluding abc.html> | *.pas|\t*.h <Excluding a.h, b.h>", files);
    std::vector<std::string> masks;
    for (const FileMaskSpec& mask : files) {
        masks.push_back(mask.fileMask + "|");
        for (const std::string& excluded : mask.excludedFiles)
            masks.back() += excluded + ",";
    }
    EXPECT_THAT(masks, ElementsAre("*.html|abc.html,", "*.pas|", "*.h|a.h,b.h,"));
}

TEST(RequestChecks, ReturnTheMessagesInOrderAndKeepNoPatternWhenRefused) {
    const std::string patternError =
        "Invalid Find Expression: Error in Pattern: \"missing closing parenthesis\" at offset (2)";
    const std::string noReplace = "\r\nNothing to \"ReplaceWith\" specified";
    const std::string noneOfThree =
        "\r\nNo Folder(s) specified\r\nNo File(s) specified\r\nNothing to \"Find\" specified";
    struct {
        const char* name;
        Criteria criteria;
        bool replacing;
        std::string expected; // "" when the run may start
    } const cases[] = {
        {"AllEmpty", {}, false, noneOfThree},
        {"PatternErrorReplacesEarlierMessages", {"", "*", "a(", "", ""}, false, patternError},
        {"ReplaceAfterPatternError", {"/", "*", "a(", "", ""}, true, patternError + noReplace},
        {"TrailingBar",
         {"/", "*", "abc|", "", ""},
         false,
         "Invalid Find Expression: Expression cannot end with '|'"},
        {"ReplaceWithoutTemplate", {"/", "*", "a", "", ""}, true, noReplace},
        {"Valid", {"/", "*", "a", "b", ""}, true, ""},
        // A Find press never writes, whatever the Replace box holds.
        {"FindWithATemplate", {"/", "*", "a", "b", ""}, false, ""},
    };
    for (const auto& c : cases) {
        CompiledRequest request;
        EXPECT_EQ(prepareFindReplace(c.criteria, c.replacing, false, request), c.expected)
            << c.name;
        EXPECT_EQ(request.items.size(), 1u) << c.name;
        EXPECT_EQ(request.regEx.slotsUsed(), c.expected.empty() ? 1 : 0) << c.name;
        if (c.expected.empty()) {
            EXPECT_EQ(request.replace, c.replacing) << c.name;
            EXPECT_EQ(request.items[0].doReplace, c.replacing) << c.name;
        }
    }
}

TEST(RequestItem, CaseSettingTogglesOnlyIgnoreCase) {
    CompiledRequest request; // one object, so the setting must be turned off and on again
    for (const bool sensitive : {true, false}) {
        ASSERT_EQ(prepareFindReplace({"/", "*", "a.c", "", ""}, false, sensitive, request), "");
        regex::MatchCollection matches;
        EXPECT_EQ(request.regEx.matches(request.items[0].patternID, "A\nC", 3, 0, {}, matches),
                  !sensitive);
        EXPECT_TRUE(request.regEx.matches(request.items[0].patternID, "a\nc", 3, 0, {}, matches));
    }
}

// The question before a replace must say where the replaced text goes: swapped notes would tell
// users their files stay as they are while they are rewritten.
TEST(ReplaceTexts, NameWhereTheReplacedTextGoes) {
    EXPECT_THAT(replaceConfirmText(true),
                HasSubstr("original files will be altered and no backup"));
    EXPECT_THAT(replaceNote(false),
                HasSubstr("will be created in a subfolder named \"kesReplace\""));
}

} // namespace
