// File collection: order, exclusions, hidden names, masks, links and left-over backups. Special
// files and deep trees are covered in the hardening tests.
#include "search_test_tree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::search;
using kestrava::util::testing::TempTree;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using Strings = std::vector<std::string>;

namespace {

// Each entry as "path relative to its top folder", folders ending in "/"; a top folder is
// "<top>", or "<missing>" when it does not exist.
Strings collect(const std::string& folders, const std::string& files, int32_t* count = nullptr,
                Strings* notices = nullptr) {
    FolderSpecs folderSpecs;
    FileMaskSpecs fileSpecs;
    kestrava::util::testing::parseBoth(folders, files, folderSpecs, fileSpecs);
    FileList list;
    int32_t fileCount = -1;
    ScanListOptions options;
    options.notices = notices;
    buildScanList(folderSpecs, fileSpecs, list, fileCount, options);
    if (count != nullptr)
        *count = fileCount;
    Strings out;
    for (const FileListItem& item : list) {
        std::string path = item.isFile ? item.name : item.name + "/";
        for (int32_t i = item.parentIndex; i >= 0 && list[i].parentIndex >= 0;
             i = list[i].parentIndex)
            path.insert(0, list[i].name + "/");
        out.push_back(item.parentIndex >= 0 ? path : item.exists ? "<top>" : "<missing>");
    }
    return out;
}

TEST(Collection, IsDepthFirstWithAFoldersFilesBeforeItsSubfolders) {
    TempTree tree;
    for (const char* file : {"f1.txt", "a/f2.txt", "a/b/f3.txt", "a/b/skip.bin"})
        tree.write(file, "x");
    int32_t count = 0;
    EXPECT_THAT(collect(tree.root() + "<+>", "*.txt", &count),
                ElementsAre("<top>", "f1.txt", "a/", "a/f2.txt", "a/b/", "a/b/f3.txt"));
    EXPECT_EQ(count, 3);
    EXPECT_THAT(collect(tree.root(), "*.txt"), ElementsAre("<top>", "f1.txt"));
}

// Whatever order the file system keeps, names come in byte order: upper case before lower case,
// bytes of 128 and above last; each mask's files, then the subfolders.
TEST(Collection, NamesComeInByteOrder) {
    TempTree tree;
    for (const char* file :
         {"b.txt", "z/f.txt", "\xC3\xA9.txt", "B.txt", "9.txt", "Y/f.txt", "a.txt", "10.txt"})
        tree.write(file, "x");
    EXPECT_THAT(collect(tree.root() + "<+>", "*.txt|b*"),
                ElementsAre("<top>", "10.txt", "9.txt", "B.txt", "a.txt", "b.txt", "\xC3\xA9.txt",
                            "B.txt", "b.txt", "Y/", "Y/f.txt", "z/", "z/f.txt"));
}

TEST(Collection, FolderExclusionsAreRelativePathsOrMasksIgnoringAsciiCase) {
    TempTree tree;
    for (const char* folder : {"bin/x", "src/bin", "src/lib", "\xC3\xA4q"})
        std::filesystem::create_directories(tree.path(folder));
    const std::pair<const char*, Strings> cases[] = {
        {"bin", {"<top>", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
        {"src/bin", {"<top>", "bin/", "bin/x/", "src/", "src/lib/", "\xC3\xA4q/"}},
        {"BIN, SRC/Lib/", {"<top>", "src/", "src/bin/", "\xC3\xA4q/"}},
        {"src", {"<top>", "bin/", "bin/x/", "\xC3\xA4q/"}},
        // Only A-Z fold: the upper-case a-umlaut is a different name.
        {"\xC3\x84Q,,", {"<top>", "bin/", "bin/x/", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
        // A wildcard stays within one folder name, so "*in" is the top "bin" alone.
        {"*in", {"<top>", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
        {"S?C/*", {"<top>", "bin/", "bin/x/", "src/", "\xC3\xA4q/"}},
        {"*/?", {"<top>", "bin/", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
    };
    for (const auto& [excluding, folders] : cases)
        EXPECT_THAT(collect(tree.root() + "<+><excluding " + excluding + ">", "*"),
                    ::testing::UnorderedElementsAreArray(folders))
            << excluding;
}

// A name that held a bracket before masks were accepted still excludes only itself.
TEST(Collection, FileExclusionsAreNamesOrMasksIgnoringAsciiCase) {
    TempTree tree;
    for (const char* file : {"app.min.js", "app.js", "a[1].txt", "a1.txt", "Notes"})
        tree.write(file, "x");
    const std::pair<const char*, Strings> cases[] = {
        {"*.MIN.js", {"<top>", "app.js", "a[1].txt", "a1.txt", "Notes"}},
        {"A[1].TXT", {"<top>", "app.min.js", "app.js", "a1.txt", "Notes"}},
        {"a?.txt,notes", {"<top>", "app.min.js", "app.js", "a[1].txt"}},
        {"*.*", {"<top>"}},
    };
    for (const auto& [excluding, files] : cases)
        EXPECT_THAT(collect(tree.root(), std::string("*<excluding ") + excluding + ">"),
                    ::testing::UnorderedElementsAreArray(files))
            << excluding;
}

TEST(Collection, SkipsDotNamesAndEverythingBelowThem) {
    TempTree tree;
    for (const char* file : {".hidden.txt", ".git/config.txt", "src/.cache/c.txt", "src/s.txt"})
        tree.write(file, "x");
    EXPECT_THAT(collect(tree.root() + "<+>", "*.*"), ElementsAre("<top>", "src/", "src/s.txt"));
}

TEST(Collection, ListsAFileOncePerMatchingMaskAndHonoursExcludedNames) {
    TempTree tree;
    tree.write("a.txt", "x");
    tree.write("Keep.TXT", "x");
    int32_t count = 0;
    EXPECT_THAT(collect(tree.root(), "*.txt|*.TXT<excluding keep.txt>", &count),
                UnorderedElementsAre("<top>", "a.txt", "Keep.TXT", "a.txt"));
    EXPECT_EQ(count, 3);
}

TEST(Collection, TopFoldersAreUsedAsTypedAndMayNotExist) {
    TempTree tree;
    tree.write("a.txt", "x");
    // A trailing separator, a missing folder and an empty path.
    EXPECT_THAT(collect(tree.root() + "/ | " + tree.path("missing") + " | ", "*.txt"),
                ElementsAre("<top>", "a.txt", "<missing>", "<missing>"));
}

// "*.*" matches names without a dot too, as users of desktop search boxes expect.
TEST(FileMasks, MatchWholeNamesIgnoringLetterCase) {
    EXPECT_TRUE(fileMaskMatches("*.*", "Makefile"));
    EXPECT_TRUE(fileMaskMatches("*.TXT", "notes.txt"));
    EXPECT_TRUE(fileMaskMatches("a?c.h", "ABC.H"));
    EXPECT_FALSE(fileMaskMatches("*.c", "main.cpp"));
    EXPECT_FALSE(fileMaskMatches("", "a"));
}

// Links planted in the tree: to a file, to the top folder, to ".", to the parent, two folders
// linking to each other, and a link to itself. A folder reached through a link is walked unless
// it is one of its own ancestors, so every walk ends and each file is listed once per path.
TEST(Collection, FollowsLinksToFilesAndFoldersButNeverLoops) {
    TempTree tree;
    for (const char* file : {"a/f.txt", "b/z.txt", "d/x.txt"})
        tree.write(file, "x");
    std::filesystem::create_directory_symlink(tree.root(), tree.path("a/up"));
    std::filesystem::create_directory_symlink(".", tree.path("a/self"));
    std::filesystem::create_symlink("a/f.txt", tree.path("link.txt"));
    std::filesystem::create_directory_symlink("..", tree.path("d/parent"));
    std::filesystem::create_directory_symlink("../b", tree.path("a/to_b"));
    std::filesystem::create_directory_symlink("../a", tree.path("b/to_a"));
    std::filesystem::create_symlink("loop", tree.path("loop"));
    int32_t count = 0;
    EXPECT_THAT(collect(tree.root() + "<+>", "*.txt", &count),
                UnorderedElementsAre("<top>", "link.txt", "a/", "a/f.txt", "a/to_b/",
                                     "a/to_b/z.txt", "b/", "b/z.txt", "b/to_a/", "b/to_a/f.txt",
                                     "d/", "d/x.txt"));
    EXPECT_EQ(count, 6);
}

// The backup "<name>.kestrava-backup" holds the old content of a rewrite that never finished:
// searching or replacing it would treat stale text as the user's.
TEST(Collection, LeavesOutBackupsOfInterruptedRewritesAndTellsOfEach) {
    TempTree tree;
    const std::string suffix(util::kBackupNameSuffix);
    for (const std::string& file :
         Strings{"a.txt", "a.txt" + suffix, "sub/b.bin" + suffix, "sub/c.txt"})
        tree.write(file, "x");
    Strings notices;
    EXPECT_THAT(collect(tree.root() + "<+>", "*.txt|*.txt" + suffix, nullptr, &notices),
                ElementsAre("<top>", "a.txt", "sub/", "sub/c.txt"));
    const auto notice = [&](const std::string& name) {
        return "An earlier replacement of " + tree.path(name) +
               " was interrupted; its old content is in " + tree.path(name + suffix);
    };
    EXPECT_THAT(notices, ElementsAre(notice("a.txt"), notice("sub/b.bin")));
}

} // namespace
