// Starting programs and opening documents: shell-like splitting with no expansion, detached start
// with nothing left to reap, and documents that go to xdg-open instead of being run.
#include "util/shell.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>

using kestest::waitForFile;
using kestest::writeRaw;
using kestest::writeRecorder;
using namespace kestrava;
using namespace kestrava::util;
using namespace std::string_literals;

namespace {

using Args = std::vector<std::string>;

// Puts a folder first on PATH for one test.
class ScopedPath {
  public:
    explicit ScopedPath(const std::string& folder) {
        ::setenv("PATH", (folder + ":" + m_saved).c_str(), 1);
    }
    ~ScopedPath() { ::setenv("PATH", m_saved.c_str(), 1); }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

  private:
    const std::string m_saved = std::getenv("PATH");
};

} // namespace

TEST(SplitCommandLine, FollowsShellQuotingWithoutExpansion) {
    const std::pair<std::string, Args> cases[] = {
        {"", {}},
        {" \t ", {}},
        {"  a b  c ", {"a", "b", "c"}},
        {"'two words' \"and more\"", {"two words", "and more"}},
        {"pre'mid dle'post", {"premid dlepost"}},
        {"\"\" '' x", {"", "", "x"}},
        {"a\\ b \\\"q\\\"", {"a b", "\"q\""}},
        {"'it\\s' \"x\\y\" \"\\\"\\\\\\$\"", {"it\\s", "x\\y", "\"\\$"}},
        {"$HOME *.txt ~ `id` ;rm", {"$HOME", "*.txt", "~", "`id`", ";rm"}},
        {"'unterminated rest", {"unterminated rest"}},
        {"trailing\\", {"trailing\\"}},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(splitCommandLine(line), expected) << line;
}

TEST(FindProgram, AcceptsOnlyExecutableRegularFiles) {
    kestest::TempFolder tmp;
    writeRaw(tmp.path() + "data.txt", "x");
    EXPECT_EQ(findProgram("/bin/sh"), "/bin/sh");
    const std::string onPath = findProgram("sh");
    EXPECT_TRUE(onPath.ends_with("/sh")) << onPath;
    for (const std::string& name :
         {""s, "no-such-program-kes"s, tmp.path() + "data.txt", tmp.path(), tmp.path() + "missing"})
        EXPECT_EQ(findProgram(name), "") << name;
}

TEST(StartDetached, PassesArgumentsIntactWithStdioOnDevNullAndLeavesNoChildToReap) {
    kestest::TempFolder tmp;
    const std::string marker = tmp.path() + "marker";
    // $$ is the started shell itself: its three standard descriptors, read before any redirection.
    const std::string script =
        "o=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); "
        "printf '%s|%s' \"$1\" \"$o\" > \"$2.part\" && mv \"$2.part\" \"$2\"";
    ASSERT_TRUE(startDetached({"sh", "-c", script, "sh", "a 'b' \"c\" $HOME;", marker}));
    EXPECT_EQ(waitForFile(marker), "a 'b' \"c\" $HOME;|/dev/null\n/dev/null\n/dev/null");
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(StartDetached, ReportsProgramsThatCannotStart) {
    kestest::TempFolder tmp;
    writeRaw(tmp.path() + "not-executable", "#!/bin/sh\n");
    writeRaw(tmp.path() + "bad-interpreter", "#!/no/such/interpreter\n");
    ::chmod((tmp.path() + "bad-interpreter").c_str(), 0755);
    // The last one fails in exec itself.
    const Args cases[] = {{},
                          {""},
                          {"no-such-program-kes"},
                          {tmp.path() + "not-executable"},
                          {tmp.path() + "bad-interpreter"}};
    for (const Args& argv : cases)
        EXPECT_FALSE(startDetached(argv)) << (argv.empty() ? "(no argv)" : argv[0]);
}

TEST(OpenDocument, OpensWithXdgOpenAndNeverRunsTheFile) {
    kestest::TempFolder tmp;
    const std::string dir = tmp.path();
    std::filesystem::create_directory(dir + "bin");
    writeRecorder(dir + "bin/xdg-open", dir + "opened");
    ScopedPath path(dir + "bin");

    writeRaw(dir + "notes.txt", "text");
    ASSERT_TRUE(openDocument(dir + "notes.txt"));
    EXPECT_EQ(waitForFile(dir + "opened"), dir + "notes.txt\n");

    // An executable searched file: opening it as a document must not run it.
    std::filesystem::remove(dir + "opened");
    writeRecorder(dir + "run-me.sh", dir + "was-run");
    ASSERT_TRUE(openDocument(dir + "run-me.sh"));
    EXPECT_EQ(waitForFile(dir + "opened"), dir + "run-me.sh\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "was-run"));
}
