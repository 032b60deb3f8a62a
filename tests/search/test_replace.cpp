// Replace output: where replaced text goes, what it holds, and that failures never damage
// the searched files.
#include "SearchTestTree.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kes;
using kes::testing::Search;
using kes::testing::TempTree;

namespace {

namespace fs = std::filesystem;

TEST(ReplaceInPlace, RewritesTheFileAndCreatesNothingElse) {
    TempTree tree;
    const std::string path = tree.Write("a.txt", "one two one\r\n");
    fs::permissions(path, fs::perms(0640));
    tree.Write("b.txt", "no match");
    const TkesMatchResults r = Search(tree.Root(), "*.txt", "one", "1");
    EXPECT_EQ(r.TotalMatches, 2);
    EXPECT_EQ(tree.Read("a.txt"), "1 two 1\r\n");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator(tree.Root()), fs::directory_iterator()), 2);
}

TEST(ReplaceInPlace, ReplacesALinksTargetAndKeepsTheLink) {
    TempTree tree;
    tree.Write("real/target.txt", "old");
    fs::create_symlink("real/target.txt", tree.Path("link.txt"));
    Search(tree.Root(), "*.txt", "old", "new");
    EXPECT_TRUE(fs::is_symlink(tree.Path("link.txt")));
    EXPECT_EQ(tree.Read("real/target.txt"), "new");
}

TEST(ReplaceCopies, GoIntoAKesReplaceFolderBesideEachSearchedFile) {
    TempTree tree;
    tree.Write("a.txt", "one");
    tree.Write("sub/deeper/b.txt", "one one");
    tree.Write("sub/c.txt", "none");
    const TkesMatchResults r = Search(tree.Root() + "<+>", "*.txt", "one", "1", false);
    EXPECT_EQ(r.TotalMatches, 4); // "none" holds one too
    EXPECT_EQ(tree.Read("kesReplace/a.txt"), "1");
    EXPECT_EQ(tree.Read("sub/deeper/kesReplace/b.txt"), "1 1");
    EXPECT_EQ(tree.Read("sub/kesReplace/c.txt"), "n1");
    EXPECT_EQ(tree.Read("a.txt"), "one");
    EXPECT_EQ(tree.Read("sub/deeper/b.txt"), "one one");
}

TEST(ReplaceText, EmptyTemplateDeletesTheMatches) {
    TempTree tree;
    tree.Write("a.txt", "x-y-z");
    Search(tree.Root(), "*.txt", "-", "^$");
    EXPECT_EQ(tree.Read("a.txt"), "xyz");
}

TEST(ReplaceText, ReplacesEveryMatchNotJustTheFirst2000) {
    TempTree tree;
    std::string text;
    for (int i = 0; i < 2500; ++i)
        text += "ab ";
    tree.Write("a.txt", text);
    const TkesMatchResults r = Search(tree.Root(), "*.txt", "ab", "X");
    EXPECT_EQ(r.TotalMatches, 2500);
    EXPECT_EQ(tree.Read("a.txt").find("ab"), std::string::npos);
}

TEST(ReplaceText, EachItemWorksOnThePreviousItemsOutput) {
    TempTree tree;
    tree.Write("a.txt", "a");
    TFindReplaceSpecs specs;
    int32_t first = -1;
    int32_t second = -1;
    TPatternStatus status;
    ASSERT_TRUE(specs.RegEx.AddPattern("a", first, status));
    ASSERT_TRUE(specs.RegEx.AddPattern("b", second, status));
    specs.Items = {{first, true, "b"}, {second, true, "c"}};
    specs.Replace = true;
    TkesMatchResults r;
    ScanFiles({{tree.Root(), false, {}}}, {{"*", {}}}, specs, true, r);
    EXPECT_EQ(tree.Read("a.txt"), "c");
}

TEST(ReplaceFailure, UncreatableCopyFolderEndsTheRunAndClearsResults) {
    TempTree tree;
    tree.Write("a.txt", "one");
    tree.Write("kesReplace", "a regular file where the folder should be");
    try {
        Search(tree.Root(), "*.txt", "one", "1", false);
        FAIL() << "the run should have failed";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Unable to create directory for " + tree.Root() + "/kesReplace/a.txt");
    }
    EXPECT_EQ(tree.Read("a.txt"), "one");
}

// A file size limit makes the write fail for root as well; the child reports through its exit
// code so the limit never touches the test process.
TEST(ReplaceFailure, FailedInPlaceWriteLeavesTheOriginalIntact) {
    TempTree tree;
    const std::string original(3000, 'a');
    tree.Write("a.txt", original);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            Search(tree.Root(), "*.txt", "a", "aaaa");
        } catch (const std::runtime_error& e) {
            const bool namesFile = std::string(e.what()).ends_with("(" + tree.Path("a.txt") + ")");
            _exit(namesFile ? 0 : 2);
        }
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no failure reported, 2: message lacks the file";
    EXPECT_EQ(tree.Read("a.txt"), original);
}

TEST(ReplaceOutput, NamesTheFileOrItsKesReplaceCopy) {
    EXPECT_EQ(ReplaceOutputName("/src/a.txt", true), "/src/a.txt");
    EXPECT_EQ(ReplaceOutputName("/src/a.txt", false), "/src/kesReplace/a.txt");
    EXPECT_EQ(ReplaceOutputName("/src//sub/b.txt", false), "/src//sub/kesReplace/b.txt");
}

} // namespace
