// File collection: order, exclusions, hidden names, masks, links and left-over backups. Special
// files and deep trees are covered in the hardening tests.
#include "search_test_tree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::search;
using kestrava::util::testing::listScan;
using kestrava::util::testing::TempTree;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAreArray;
using Strings = std::vector<std::string>;

namespace {

// The folders entry with each "~" standing for the tree's root.
std::string rooted(std::string folders, const TempTree& tree) {
    for (size_t at; (at = folders.find('~')) != std::string::npos;)
        folders.replace(at, 1, tree.root());
    return folders;
}

// Whatever order the file system keeps, names come in byte order (upper case before lower case,
// bytes of 128 and above last), each mask's files, then the subfolders, depth first. Dot names
// and all below them are never listed; "*.*" matches names without a dot too.
TEST(Collection, WalksDepthFirstInByteOrderOncePerMaskWithoutDotNames) {
    TempTree tree;
    for (const char* file : {"b.txt", "z/f.txt", "\xC3\xA9.txt", "B.txt", "9.txt", "Y/f.txt",
                             "Y/d/g.txt", "Y/d/skip.bin", "a.txt", "10.txt", ".hidden.txt",
                             ".git/config.txt", "Y/.cache/c.txt", "Makefile", "main.cpp"})
        tree.write(file, "x");
    const struct {
        const char* what;
        const char* folders;
        const char* files;
        Strings listed;
        int32_t count;
    } cases[] = {
        {"subfolders after the files",
         "~<+>",
         "*.txt|b*",
         {"<top>", "10.txt", "9.txt", "B.txt", "a.txt", "b.txt", "\xC3\xA9.txt", "B.txt", "b.txt",
          "Y/", "Y/f.txt", "Y/d/", "Y/d/g.txt", "z/", "z/f.txt"},
         11},
        {"no dot needed, empty masks match nothing",
         "~",
         "*.*| |*.c",
         {"<top>", "10.txt", "9.txt", "B.txt", "Makefile", "a.txt", "b.txt", "main.cpp",
          "\xC3\xA9.txt"},
         8},
        {"once per matching mask, exclusions ignore case",
         "~",
         "*.txt|*.TXT<excluding b.TXT>",
         {"<top>", "10.txt", "9.txt", "B.txt", "a.txt", "b.txt", "\xC3\xA9.txt", "10.txt", "9.txt",
          "a.txt", "\xC3\xA9.txt"},
         10},
        {"top folders as typed: a trailing separator, missing, empty",
         "~/ | ~/missing | ",
         "*.txt",
         {"<top>", "10.txt", "9.txt", "B.txt", "a.txt", "b.txt", "\xC3\xA9.txt", "<missing>",
          "<missing>"},
         6},
    };
    for (const auto& c : cases) {
        int32_t count = 0;
        EXPECT_EQ(listScan(rooted(c.folders, tree), c.files, {}, &count), c.listed) << c.what;
        EXPECT_EQ(count, c.count) << c.what;
    }
}

// Folder exclusions are paths from the top folder or masks within one folder name; file
// exclusions are names or masks. Only A-Z fold, so an upper-case a-umlaut is another name. A name
// that held a bracket before masks were accepted still excludes only itself.
TEST(Collection, ExclusionsArePathsNamesOrMasksIgnoringAsciiCase) {
    TempTree tree;
    for (const char* folder : {"bin/x", "src/bin", "src/lib", "\xC3\xA4q"})
        std::filesystem::create_directories(tree.path(folder));
    for (const char* file : {"app.min.js", "app.js", "a[1].txt", "a1.txt", "Notes"})
        tree.write(file, "x");
    const Strings allFolders = {"<top>",    "bin/",     "bin/x/",    "src/",
                                "src/bin/", "src/lib/", "\xC3\xA4q/"};
    // Folder rows use a mask no file matches; file rows list the top folder alone.
    const struct {
        std::string folders;
        const char* files;
        Strings listed;
    } cases[] = {
        {"<+><excluding bin>", "-", {"<top>", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
        {"<+><excluding src/bin>",
         "-",
         {"<top>", "bin/", "bin/x/", "src/", "src/lib/", "\xC3\xA4q/"}},
        {"<+><excluding BIN, SRC/Lib/>", "-", {"<top>", "src/", "src/bin/", "\xC3\xA4q/"}},
        {"<+><excluding src>", "-", {"<top>", "bin/", "bin/x/", "\xC3\xA4q/"}},
        {"<+><excluding \xC3\x84Q,,>", "-", allFolders},
        {"<+><excluding *in>", "-", {"<top>", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
        {"<+><excluding S?C/*>", "-", {"<top>", "bin/", "bin/x/", "src/", "\xC3\xA4q/"}},
        {"<+><excluding */?>",
         "-",
         {"<top>", "bin/", "src/", "src/bin/", "src/lib/", "\xC3\xA4q/"}},
        {"", "*<excluding *.MIN.js>", {"<top>", "app.js", "a[1].txt", "a1.txt", "Notes"}},
        {"", "*<excluding A[1].TXT>", {"<top>", "app.min.js", "app.js", "a1.txt", "Notes"}},
        {"", "*<excluding a?.txt,notes>", {"<top>", "app.min.js", "app.js", "a[1].txt"}},
        {"", "*<excluding *.*>", {"<top>"}},
    };
    for (const auto& c : cases)
        EXPECT_THAT(listScan(tree.root() + c.folders, c.files), UnorderedElementsAreArray(c.listed))
            << c.folders << c.files;
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
    EXPECT_THAT(
        listScan(tree.root() + "<+>", "*.txt", {}, &count),
        UnorderedElementsAreArray({"<top>", "link.txt", "a/", "a/f.txt", "a/to_b/", "a/to_b/z.txt",
                                   "b/", "b/z.txt", "b/to_a/", "b/to_a/f.txt", "d/", "d/x.txt"}));
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
    ScanListOptions options;
    options.notices = &notices;
    EXPECT_THAT(listScan(tree.root() + "<+>", "*.txt|*.txt" + suffix, options),
                ElementsAre("<top>", "a.txt", "sub/", "sub/c.txt"));
    const auto notice = [&](const std::string& name) {
        return "An earlier replacement of " + tree.path(name) +
               " was interrupted; its old content is in " + tree.path(name + suffix);
    };
    EXPECT_THAT(notices, ElementsAre(notice("a.txt"), notice("sub/b.bin")));
}

} // namespace
