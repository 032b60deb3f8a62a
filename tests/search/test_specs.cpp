// Parsing of the Folder(s) and File(s) entries.
#include "search/kes_uFind.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kes;
using ::testing::ElementsAre;
using Strings = std::vector<std::string>;

namespace {

struct FolderCase {
    const char* Entry;
    std::vector<TkesFolderToSearch> Expected;
};

void PrintTo(const FolderCase& c, std::ostream* out) {
    *out << c.Entry;
}

class FolderGrammar : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FolderGrammar, DividesEachSpecification) {
    TkesFoldersToSearch folders;
    ParseFoldersToSearch(GetParam().Entry, folders);
    ASSERT_EQ(folders.size(), GetParam().Expected.size());
    for (size_t i = 0; i < folders.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(folders[i].Folder, GetParam().Expected[i].Folder);
        EXPECT_EQ(folders[i].IncludeSubfolders, GetParam().Expected[i].IncludeSubfolders);
        EXPECT_EQ(folders[i].ExcludedFolders, GetParam().Expected[i].ExcludedFolders);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FolderGrammar,
    ::testing::Values(
        FolderCase{"c:\\Temp<+><excluding abc,def>", {{"c:\\Temp", true, {"abc", "def"}}}},
        FolderCase{"c:\\Temp <+> <excluding abc>", {{"c:\\Temp", true, {"abc"}}}},
        // Two blanks after the marker: the marker stays in the path.
        FolderCase{"c:\\Temp <+>  <excluding abc>", {{"c:\\Temp <+>", false, {"abc"}}}},
        // Reversed order: the exclusion group runs to the last ">".
        FolderCase{"c:\\Temp<excluding abc><+>", {{"c:\\Temp", false, {"abc><+"}}}},
        FolderCase{"d:\\temp", {{"d:\\temp", false, {}}}},
        FolderCase{"  /src <+>  ", {{"/src", true, {}}}},
        FolderCase{"/src<+><EXCLUDING Bin>", {{"/src", true, {"Bin"}}}},
        FolderCase{"/src/<+><excluding a, b ,,c>", {{"/src/", true, {"a", "b", "", "c"}}}},
        FolderCase{"a|b|", {{"a", false, {}}, {"b", false, {}}}},
        FolderCase{"a||b", {{"a", false, {}}, {"", false, {}}, {"b", false, {}}}},
        FolderCase{"|a", {{"", false, {}}, {"a", false, {}}}}, FolderCase{"", {}}));

TEST(FileGrammar, DividesMasksAndExclusions) {
    TkesFilesToSearch files;
    ParseFilesToSearch("*.html<excluding abc.html> | *.pas|\t*.h <Excluding a.h, b.h>", files);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].FileMask, "*.html");
    EXPECT_THAT(files[0].ExcludedFiles, ElementsAre("abc.html"));
    EXPECT_EQ(files[1].FileMask, "*.pas");
    EXPECT_TRUE(files[1].ExcludedFiles.empty());
    EXPECT_EQ(files[2].FileMask, "*.h");
    EXPECT_THAT(files[2].ExcludedFiles, ElementsAre("a.h", "b.h"));
}

TEST(FormatTexts, LinesEndWithCrLfExceptTheFilesTextsLast) {
    const std::string folders = kInvalidFoldersFormatText;
    const std::string files = kInvalidFilesFormatText;
    EXPECT_TRUE(folders.starts_with("Invalid format for Folders to search:\r\nCorrect format"));
    EXPECT_TRUE(folders.ends_with("\r\ne.g. c:\\Temp<+><excluding abc,def> | d:\\temp\r\n"));
    EXPECT_TRUE(files.ends_with("optional\r\ne.g. *.html<excluding abc.html> | *.pas"));
}

} // namespace
