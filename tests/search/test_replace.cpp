// Replace output: where replaced text goes, what it holds, and that failures never damage the
// searched files. How a file is written safely (permissions, links) is proven by the util tests.
#include "SearchTestTree.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace kes;
using kes::testing::ErrorOf;
using kes::testing::Search;
using kes::testing::TempTree;

namespace {

namespace fs = std::filesystem;

TEST(ReplaceInPlace, RewritesEveryMatchAndCreatesNothingElse) {
    struct {
        const char* Name;
        std::string Text, Find, Replace, Expected;
        int32_t Matches;
    } const cases[] = {
        {"Plain", "one two one\r\n", "one", "1", "1 two 1\r\n", 2},
        {"CaretDollarDeletesKeepingOtherBytes", {"x-y\0-\xff", 6}, "-", "^$", {"xy\0\xff", 4}, 2},
        {"AllOf2500Matches", std::string(2500, 'a'), "a", "bb", std::string(5000, 'b'), 2500},
    };
    for (const auto& c : cases) {
        TempTree tree;
        tree.Write("a.txt", c.Text);
        tree.Write("b.txt", "nothing");
        EXPECT_EQ(Search(tree.Root(), "*.txt", c.Find, c.Replace).TotalMatches, c.Matches)
            << c.Name;
        EXPECT_EQ(tree.Read("a.txt"), c.Expected) << c.Name;
        EXPECT_EQ(std::distance(fs::directory_iterator(tree.Root()), fs::directory_iterator()), 2)
            << c.Name;
    }
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

// A planted kesReplace that is no real folder is refused for its folder; the run goes on.
TEST(ReplaceRefusal, ACopyFolderThatIsNoRealFolderIsNamedAndTheRunGoesOn) {
    TempTree tree;
    tree.Write("a.txt", "one");
    tree.Write("kesReplace", "a regular file where the folder should be");
    tree.Write("sub/b.txt", "one");
    const TkesMatchResults r = Search(tree.Root() + "<+>", "*.txt", "one", "1", false);
    ASSERT_EQ(r.NotReplaced.size(), 1u);
    EXPECT_EQ(r.NotReplaced[0].FileName, tree.Path("a.txt"));
    EXPECT_EQ(r.NotReplaced[0].Message, tree.Path("kesReplace") +
                                            " is not a folder but a link or a file; nothing is "
                                            "written into it");
    EXPECT_EQ(r.FilesReplaced, 1);
    EXPECT_EQ(tree.Read("sub/kesReplace/b.txt"), "1");
    EXPECT_EQ(tree.Read("a.txt"), "one");
}

// Between the read and the rename, a.txt is swapped for a link to a file outside the tree: the
// new text must not land there (on one thread and on several, whose renames wait their turn).
TEST(ReplaceRefusal, AFileSwappedForALinkMidRunIsLeftAlone) {
    for (const int32_t threads : {1, 2}) {
        TempTree tree;
        tree.Write("tree/a.txt", "one");
        tree.Write("tree/b.txt", "one");
        tree.Write("victim/passwd", "secret");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("KESTRAVA_FAULT", "after-temp-write:pause", 1);
            const TkesMatchResults r =
                Search(tree.Path("tree"), "*.txt", "one", "1", true, {}, {}, threads);
            ::_exit(r.NotReplaced.size() == 1 && r.FilesReplaced == 1 ? 0 : 1);
        }
        int status = 0;
        // Stopped before a rename: a.txt is swapped once its own replaced text waits beside it.
        for (bool swapped = false;
             ::waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status);) {
            const auto names = kestest::Names(tree.Path("tree"));
            if (!swapped && std::any_of(names.begin(), names.end(), [](const std::string& name) {
                    return name.starts_with(".a.txt.kestrava-tmp-");
                })) {
                swapped = true;
                fs::rename(tree.Path("tree/a.txt"), tree.Path("tree/moved"));
                fs::create_symlink(tree.Path("victim/passwd"), tree.Path("tree/a.txt"));
            }
            ::kill(pid, SIGCONT);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << threads;
        EXPECT_EQ(tree.Read("tree/b.txt"), "1") << threads;
        EXPECT_EQ(tree.Read("victim/passwd"), "secret") << threads;
        EXPECT_EQ(tree.Read("tree/moved"), "one") << threads;
        EXPECT_TRUE(fs::is_symlink(tree.Path("tree/a.txt"))) << threads;
    }
}

// A file size limit makes the write fail for root as well; a child process takes the limit so
// the test process never does.
TEST(ReplaceFailure, FailedInPlaceWriteNamesTheFileAndLeavesItIntact) {
    TempTree tree;
    const std::string original(3000, 'a');
    tree.Write("a.txt", original);
    const std::string failure = kestest::RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        return ErrorOf([&] { Search(tree.Root(), "*.txt", "a", "aaaa"); });
    });
    EXPECT_NE(
        failure.find("(" + tree.Path("a.txt") + ")\r\n0 files were replaced before the error"),
        std::string::npos)
        << failure;
    EXPECT_EQ(tree.Read("a.txt"), original);
}

} // namespace
