// File collection: order, exclusions, hidden names, masks and links. Special files are covered
// with the other skipped files in the run tests.
#include "SearchTestTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kes;
using kes::testing::TempTree;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using Strings = std::vector<std::string>;

namespace {

// Each entry as "path relative to its top folder", folders ending in "/"; a top folder is
// "<top>", or "<missing>" when it does not exist.
Strings Collect(const std::string& folders, const std::string& files, int32_t* count = nullptr) {
    TkesFoldersToSearch folderSpecs;
    TkesFilesToSearch fileSpecs;
    kes::testing::ParseBoth(folders, files, folderSpecs, fileSpecs);
    TkesScanList list;
    int32_t fileCount = -1;
    BuildScanList(folderSpecs, fileSpecs, list, fileCount);
    if (count != nullptr)
        *count = fileCount;
    Strings out;
    for (const TkesScanItem& item : list) {
        std::string path = item.IsFile ? item.Name : item.Name + "/";
        for (int32_t i = item.ParentIndex; i >= 0 && list[i].ParentIndex >= 0;
             i = list[i].ParentIndex)
            path.insert(0, list[i].Name + "/");
        out.push_back(item.ParentIndex >= 0 ? path : item.Exists ? "<top>" : "<missing>");
    }
    return out;
}

TEST(Collection, IsDepthFirstWithAFoldersFilesBeforeItsSubfolders) {
    TempTree tree;
    for (const char* file : {"f1.txt", "a/f2.txt", "a/b/f3.txt", "a/b/skip.bin"})
        tree.Write(file, "x");
    int32_t count = 0;
    EXPECT_THAT(Collect(tree.Root() + "<+>", "*.txt", &count),
                ElementsAre("<top>", "f1.txt", "a/", "a/f2.txt", "a/b/", "a/b/f3.txt"));
    EXPECT_EQ(count, 3);
    EXPECT_THAT(Collect(tree.Root(), "*.txt"), ElementsAre("<top>", "f1.txt"));
}

TEST(Collection, ExclusionsLeaveOutWholeRelativePathsIgnoringAsciiCase) {
    TempTree tree;
    for (const char* folder : {"bin/x", "src/bin", "src/lib", "\xC3\xA4q"})
        std::filesystem::create_directories(tree.Path(folder));
    const std::pair<const char*, Strings> cases[] = {
        {"bin", {"<top>", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
        {"src/bin", {"<top>", "bin/", "bin/x/", "src/", "src/lib/", "\xC3\xA4q/"}},
        {"BIN, SRC/Lib", {"<top>", "src/", "src/bin/", "\xC3\xA4q/"}},
        {"src", {"<top>", "bin/", "bin/x/", "\xC3\xA4q/"}},
        // Only A-Z fold: the upper-case a-umlaut is a different name.
        {"\xC3\x84Q,,", {"<top>", "bin/", "bin/x/", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
    };
    for (const auto& [excluding, folders] : cases)
        EXPECT_THAT(Collect(tree.Root() + "<+><excluding " + excluding + ">", "*"),
                    ::testing::UnorderedElementsAreArray(folders))
            << excluding;
}

TEST(Collection, SkipsDotNamesAndEverythingBelowThem) {
    TempTree tree;
    for (const char* file : {".hidden.txt", ".git/config.txt", "src/.cache/c.txt", "src/s.txt"})
        tree.Write(file, "x");
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
    // A trailing separator, a missing folder and an empty path.
    EXPECT_THAT(Collect(tree.Root() + "/ | " + tree.Path("missing") + " | ", "*.txt"),
                ElementsAre("<top>", "a.txt", "<missing>", "<missing>"));
}

// "*.*" matches names without a dot too, as users of desktop search boxes expect.
TEST(FileMasks, MatchWholeNamesIgnoringLetterCase) {
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

} // namespace
