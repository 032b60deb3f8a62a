// Parsing of the Folder(s) and File(s) entries, and the checks of a Find or Find & Replace
// request (the trailing-bar rule itself is proven by the util tests).
#include "../case_table.h"
#include "search/search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::search;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// Folder entries as the "folder entries" table in data/search_cases.txt shows them; each file
// entry as "mask|exclusion,exclusion,".
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
    for (const golden::Row& c : golden::caseTable(KES_SEARCH_CASES, "folder entries"))
        EXPECT_EQ(folders(c[0]), golden::Row(c.begin() + 1, c.end())) << c[0];
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

// One request for all rows, as a script run keeps one: a refused row must leave no pattern from
// an earlier one, and each row's case setting must turn only "ignore case" off or on again.
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
        {"Valid", {"/", "*", "a.c", "b", ""}, true, ""},
        // A Find press never writes, whatever the Replace box holds.
        {"FindWithATemplate", {"/", "*", "a.c", "b", ""}, false, ""},
        {"AllEmpty", {}, false, noneOfThree},
        {"PatternErrorReplacesEarlierMessages", {"", "*", "a(", "", ""}, false, patternError},
        {"ReplaceAfterPatternError", {"/", "*", "a(", "", ""}, true, patternError + noReplace},
        {"TrailingBar",
         {"/", "*", "abc|", "", ""},
         false,
         "Invalid Find Expression: Expression cannot end with '|'"},
        {"ReplaceWithoutTemplate", {"/", "*", "a", "", ""}, true, noReplace},
    };
    CompiledRequest request;
    bool caseSensitive = false; // on for the first row, then off, then on ...
    for (const auto& c : cases) {
        caseSensitive = !caseSensitive;
        EXPECT_EQ(prepareFindReplace(c.criteria, c.replacing, caseSensitive, request), c.expected)
            << c.name;
        EXPECT_EQ(request.items.size(), 1u) << c.name;
        EXPECT_EQ(request.regEx.slotsUsed(), c.expected.empty() ? 1 : 0) << c.name;
        if (!c.expected.empty())
            continue;
        EXPECT_EQ(request.replace, c.replacing) << c.name;
        EXPECT_EQ(request.items[0].doReplace, c.replacing) << c.name;
        regex::MatchCollection matches;
        const int32_t id = request.items[0].patternID;
        EXPECT_EQ(request.regEx.matches(id, "A\nC", 3, 0, {}, matches), !caseSensitive) << c.name;
        EXPECT_TRUE(request.regEx.matches(id, "a\nc", 3, 0, {}, matches)) << c.name;
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
