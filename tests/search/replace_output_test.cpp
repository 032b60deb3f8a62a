// Replace output: where replaced text goes, what it holds, and that failures never damage the
// searched files. How a file is written safely (permissions, links) is proven by the util tests.
#include "search_test_tree.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace kestrava;
using namespace kestrava::search;
using kestrava::util::testing::errorOf;
using kestrava::util::testing::searchTree;
using kestrava::util::testing::TempTree;

namespace {

namespace fs = std::filesystem;

// In place or into a kesReplace copy, every byte outside the replaced spans is kept and nothing
// else is created. Empty matches are neither counted nor replaced, nor is a file written for them.
TEST(ReplaceInPlace, RewritesEveryMatchKeepsEveryOtherByteAndCreatesNothingElse) {
    struct {
        const char* name;
        std::string text, find, replace, expected;
        int32_t matches;
    } const cases[] = {
        {"Plain", "one two one\r\n", "one", "1", "1 two 1\r\n", 2},
        {"CaretDollarDeletesKeepingOtherBytes", {"x-y\0-\xff", 6}, "-", "^$", {"xy\0\xff", 4}, 2},
        {"AllOf2500Matches", std::string(2500, 'a'), "a", "bb", std::string(5000, 'b'), 2500},
        {"EmptyAtLineStarts", "x\r\nab\xe9\r\n", "^", "Z", "x\r\nab\xe9\r\n", 0},
        {"EmptyAtWordEdges", "x\r\nab\xe9\r\n", "\\b", "Z", "x\r\nab\xe9\r\n", 0},
        {"EmptyLookahead", "x\r\nab\xe9\r\n", "(?=a)", "Z", "x\r\nab\xe9\r\n", 0},
        {"EmptyStar", "x\r\nab\xe9\r\n", "q*", "Z", "x\r\nab\xe9\r\n", 0},
        {"StarOnlyWhereNotEmpty", "x\r\nab\xe9\r\n", "x*", "Z", "Z\r\nab\xe9\r\n", 1},
        {"ByteOrderMark", "\xef\xbb\xbfone old\r\n", "old", "NEW", "\xef\xbb\xbfone NEW\r\n", 1},
        {"LoneAndMixedLineEnds", "mix\r\nold\rlone\nend", "old", "NEW", "mix\r\nNEW\rlone\nend", 1},
        {"NoFinalLineEnd", "no final line end old", "old", "NEW", "no final line end NEW", 1},
        {"NulBytes", {"nul\0old\0\0tail", 14}, "old", "NEW", {"nul\0NEW\0\0tail", 14}, 1},
        {"Utf16", {"\xff\xfeo\0l\0d\0 old", 12}, "old", "NEW", {"\xff\xfeo\0l\0d\0 NEW", 12}, 1},
        {"HighBytes", "\x80\x81old\xfe\xff", "old", "NEW", "\x80\x81NEW\xfe\xff", 1},
    };
    for (const bool inPlace : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (inPlace ? " in place" : " into a copy"));
            TempTree tree;
            tree.write("a.txt", c.text);
            tree.write("b.txt", "nothing");
            EXPECT_EQ(searchTree(tree.root(), "*.txt", c.find, c.replace, inPlace).totalMatches,
                      c.matches);
            EXPECT_EQ(tree.read("a.txt"), inPlace ? c.expected : c.text);
            std::vector<std::string> names{"a.txt", "b.txt"};
            if (!inPlace && c.matches > 0) {
                EXPECT_EQ(tree.read("kesReplace/a.txt"), c.expected);
                EXPECT_EQ(kestest::names(tree.path("kesReplace")),
                          std::vector<std::string>{"a.txt"});
                names.emplace_back("kesReplace");
            }
            EXPECT_EQ(kestest::names(tree.root()), names);
        }
}

// A planted kesReplace that is no real folder is refused for its folder; the run goes on.
TEST(ReplaceRefusal, ACopyFolderThatIsNoRealFolderIsNamedAndTheRunGoesOn) {
    TempTree tree;
    tree.write("a.txt", "one");
    tree.write("kesReplace", "a regular file where the folder should be");
    tree.write("sub/b.txt", "one");
    const SearchResults r = searchTree(tree.root() + "<+>", "*.txt", "one", "1", false);
    ASSERT_EQ(r.notReplaced.size(), 1u);
    EXPECT_EQ(r.notReplaced[0].fileName, tree.path("a.txt"));
    EXPECT_EQ(r.notReplaced[0].message, tree.path("kesReplace") +
                                            " is not a folder but a link or a file; nothing is "
                                            "written into it");
    EXPECT_EQ(r.filesReplaced, 1);
    EXPECT_EQ(tree.read("sub/kesReplace/b.txt"), "1");
    EXPECT_EQ(tree.read("a.txt"), "one");
}

// Between the read and the rename, a.txt is swapped for a link to a file outside the tree: the
// new text must not land there (on one thread and on several, whose renames wait their turn).
TEST(ReplaceRefusal, AFileSwappedForALinkMidRunIsLeftAlone) {
    for (const int32_t threads : {1, 2}) {
        TempTree tree;
        tree.write("tree/a.txt", "one");
        tree.write("tree/b.txt", "one");
        tree.write("victim/passwd", "secret");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("KESTRAVA_FAULT", "after-temp-write:pause", 1);
            const SearchResults r =
                searchTree(tree.path("tree"), "*.txt", "one", "1", true, {}, {}, threads);
            ::_exit(r.notReplaced.size() == 1 && r.filesReplaced == 1 ? 0 : 1);
        }
        int status = 0;
        // Stopped before a rename: a.txt is swapped once its own replaced text waits beside it.
        for (bool swapped = false;
             ::waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status);) {
            const auto names = kestest::names(tree.path("tree"));
            if (!swapped && std::any_of(names.begin(), names.end(), [](const std::string& name) {
                    return name.starts_with(".a.txt.kestrava-tmp-");
                })) {
                swapped = true;
                fs::rename(tree.path("tree/a.txt"), tree.path("tree/moved"));
                fs::create_symlink(tree.path("victim/passwd"), tree.path("tree/a.txt"));
            }
            ::kill(pid, SIGCONT);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << threads;
        EXPECT_EQ(tree.read("tree/b.txt"), "1") << threads;
        EXPECT_EQ(tree.read("victim/passwd"), "secret") << threads;
        EXPECT_EQ(tree.read("tree/moved"), "one") << threads;
        EXPECT_TRUE(fs::is_symlink(tree.path("tree/a.txt"))) << threads;
    }
}

// A file size limit makes the write fail for root as well; a child process takes the limit so
// the test process never does.
TEST(ReplaceFailure, FailedInPlaceWriteNamesTheFileAndLeavesItIntact) {
    TempTree tree;
    const std::string original(3000, 'a');
    tree.write("a.txt", original);
    const std::string failure = kestest::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        return errorOf([&] { searchTree(tree.root(), "*.txt", "a", "aaaa"); });
    });
    EXPECT_NE(
        failure.find("(" + tree.path("a.txt") + ")\r\n0 files were replaced before the error"),
        std::string::npos)
        << failure;
    EXPECT_EQ(tree.read("a.txt"), original);
}

} // namespace
