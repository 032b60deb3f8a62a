// File collection: order, exclusions, hidden names, masks, links and special files.
#include "SearchTestTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kes;
using kes::testing::TempTree;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using Strings = std::vector<std::string>;

namespace {

// Each entry as "path relative to its top folder", folders ending in "/".
Strings Describe(const TkesScanList& list) {
    Strings out;
    for (const TkesScanItem& item : list) {
        std::string path = item.IsFile ? item.Name : item.Name + "/";
        for (int32_t i = item.ParentIndex; i >= 0 && list[i].ParentIndex >= 0;
             i = list[i].ParentIndex)
            path.insert(0, list[i].Name + "/");
        out.push_back(item.ParentIndex < 0 ? "<top>" : path);
    }
    return out;
}

Strings Collect(const std::string& folders, const std::string& files, int32_t* count = nullptr,
                std::vector<TkesSkippedFile>* skipped = nullptr) {
    TkesFoldersToSearch folderSpecs;
    TkesFilesToSearch fileSpecs;
    kes::testing::ParseBoth(folders, files, folderSpecs, fileSpecs);
    TkesScanList list;
    int32_t fileCount = -1;
    BuildScanList(folderSpecs, fileSpecs, list, fileCount, skipped);
    if (count != nullptr)
        *count = fileCount;
    return Describe(list);
}

TEST(Collection, IsDepthFirstWithAFoldersFilesBeforeItsSubfolders) {
    TempTree tree;
    tree.Write("f1.txt", "x");
    tree.Write("a/f2.txt", "x");
    tree.Write("a/b/f3.txt", "x");
    tree.Write("a/b/skip.bin", "x");
    int32_t count = 0;
    EXPECT_THAT(Collect(tree.Root() + "<+>", "*.txt", &count),
                ElementsAre("<top>", "f1.txt", "a/", "a/f2.txt", "a/b/", "a/b/f3.txt"));
    EXPECT_EQ(count, 3);
    EXPECT_THAT(Collect(tree.Root(), "*.txt"), ElementsAre("<top>", "f1.txt"));
}

struct ExclusionCase {
    const char* Excluding;
    Strings Folders;
};

void PrintTo(const ExclusionCase& c, std::ostream* out) {
    *out << c.Excluding;
}

class Exclusions : public ::testing::TestWithParam<ExclusionCase> {};

TEST_P(Exclusions, LeaveOutWholeRelativePathsIgnoringAsciiCase) {
    TempTree tree;
    for (const char* folder : {"bin/x", "src/bin", "src/lib", "\xC3\xA4q"})
        std::filesystem::create_directories(tree.Path(folder));
    Strings folders;
    for (const std::string& entry :
         Collect(tree.Root() + "<+><excluding " + GetParam().Excluding + ">", "*"))
        if (entry != "<top>")
            folders.push_back(entry);
    EXPECT_THAT(folders, ::testing::UnorderedElementsAreArray(GetParam().Folders));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Exclusions,
    ::testing::Values(
        ExclusionCase{"bin", {"src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
        ExclusionCase{"src/bin", {"bin/", "bin/x/", "src/", "src/lib/", "\xC3\xA4q/"}},
        ExclusionCase{"BIN, SRC/Lib", {"src/", "src/bin/", "\xC3\xA4q/"}},
        ExclusionCase{"src", {"bin/", "bin/x/", "\xC3\xA4q/"}},
        // Only A-Z fold: the upper-case a-umlaut is a different name.
        ExclusionCase{"\xC3\x84Q,,",
                      {"bin/", "bin/x/", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}}));

TEST(Collection, SkipsDotNamesAndEverythingBelowThem) {
    TempTree tree;
    tree.Write(".hidden.txt", "x");
    tree.Write(".git/config.txt", "x");
    tree.Write("src/.cache/c.txt", "x");
    tree.Write("src/s.txt", "x");
    EXPECT_THAT(Collect(tree.Root() + "<+>", "*.*"), ElementsAre("<top>", "src/", "src/s.txt"));
}

TEST(Collection, ListsAFileOncePerMatchingMaskAndHonoursExcludedNames) {
    TempTree tree;
    tree.Write("a.txt", "x");
    tree.Write("Keep.TXT", "x");
    int32_t count = 0;
    EXPECT_THAT(Collect(tree.Root(), "*.txt|*.TXT<excluding keep.txt>", &count),
                UnorderedElementsAre("<top>", "a.txt", "Keep.TXT", "a.txt"));
    EXPECT_EQ(count, 3);
}

TEST(Collection, TopFoldersAreUsedAsTypedAndMayNotExist) {
    TempTree tree;
    tree.Write("a.txt", "x");
    TkesFoldersToSearch folders;
    TkesFilesToSearch files;
    kes::testing::ParseBoth(tree.Root() + "/ | " + tree.Path("missing") + " | ", "*.txt", folders,
                            files);
    TkesScanList list;
    int32_t count = 0;
    BuildScanList(folders, files, list, count);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].Name, tree.Root() + "/");
    EXPECT_TRUE(list[0].Exists);
    EXPECT_EQ(list[2].Name, tree.Path("missing"));
    EXPECT_FALSE(list[2].Exists);
    EXPECT_FALSE(list[3].Exists); // an empty path finds nothing
    EXPECT_EQ(count, 1);
}

TEST(FileMasks, MatchLikeTheDesktopSearchBox) {
    EXPECT_TRUE(FileMaskMatches("*.*", "Makefile"));
    EXPECT_TRUE(FileMaskMatches("*.TXT", "notes.txt"));
    EXPECT_TRUE(FileMaskMatches("a?c.h", "ABC.H"));
    EXPECT_FALSE(FileMaskMatches("*.c", "main.cpp"));
    EXPECT_FALSE(FileMaskMatches("", "a"));
}

TEST(Collection, FollowsLinksToFilesAndFoldersButNeverLoops) {
    TempTree tree;
    tree.Write("a/f.txt", "x");
    std::filesystem::create_directory_symlink(tree.Root(), tree.Path("a/up"));
    std::filesystem::create_directory_symlink(".", tree.Path("a/self"));
    std::filesystem::create_symlink("a/f.txt", tree.Path("link.txt"));
    EXPECT_THAT(Collect(tree.Root() + "<+>", "*.txt"),
                UnorderedElementsAre("<top>", "link.txt", "a/", "a/f.txt"));
}

TEST(Collection, NeverListsFifosAndReportsThemSkipped) {
    TempTree tree;
    tree.Write("a.txt", "x");
    ASSERT_EQ(mkfifo(tree.Path("pipe.txt").c_str(), 0600), 0);
    std::vector<TkesSkippedFile> skipped;
    int32_t count = 0;
    EXPECT_THAT(Collect(tree.Root(), "*.txt", &count, &skipped), ElementsAre("<top>", "a.txt"));
    EXPECT_EQ(count, 1);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].FileName, tree.Path("pipe.txt"));
    EXPECT_EQ(skipped[0].Reason, srNotRegular);
}

} // namespace
