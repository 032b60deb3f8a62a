// Replace output: where replaced text goes, what it holds, and that failures never damage the
// searched files. How a file is written safely (permissions, links) is proven by the util tests.
#include "SearchTestTree.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

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

TEST(ReplaceFailure, UncreatableCopyFolderEndsTheRun) {
    TempTree tree;
    tree.Write("a.txt", "one");
    tree.Write("kesReplace", "a regular file where the folder should be");
    EXPECT_EQ(ErrorOf([&] { Search(tree.Root(), "*.txt", "one", "1", false); }),
              "Unable to create directory for " + tree.Root() + "/kesReplace/a.txt");
    EXPECT_EQ(tree.Read("a.txt"), "one");
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
    EXPECT_TRUE(failure.ends_with("(" + tree.Path("a.txt") + ")")) << failure;
    EXPECT_EQ(tree.Read("a.txt"), original);
}

} // namespace
