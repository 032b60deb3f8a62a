// Parsing of the Folder(s) and File(s) entries.
#include "search/search.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::search;
using ::testing::ElementsAre;

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

} // namespace
