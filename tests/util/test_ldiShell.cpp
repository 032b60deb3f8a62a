#include "util/ldiShell.h"

#include "UtilTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/wait.h>

using kestest::WaitForFile;
using kestest::WriteRaw;
using namespace kes;

namespace {

using Args = std::vector<std::string>;

// A script that records its arguments, one per line, written to a temporary name first so the
// marker appears only once it is complete.
void WriteRecorder(const std::string& path, const std::string& marker) {
    WriteRaw(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + marker + ".part'\nmv '" + marker +
                       ".part' '" + marker + "'\n");
    ::chmod(path.c_str(), 0755);
}

// Puts a folder first on PATH for one test.
class ScopedPath {
  public:
    explicit ScopedPath(const std::string& folder) : saved_(std::getenv("PATH")) {
        ::setenv("PATH", (folder + ":" + saved_).c_str(), 1);
    }
    ~ScopedPath() { ::setenv("PATH", saved_.c_str(), 1); }
    ScopedPath(const ScopedPath&) = delete;
    ScopedPath& operator=(const ScopedPath&) = delete;

  private:
    std::string saved_;
};

} // namespace

TEST(SplitCommandLine, FollowsShellQuotingWithoutExpansion) {
    const std::pair<std::string, Args> cases[] = {
        {"", {}},
        {" \t ", {}},
        {"a b  c", {"a", "b", "c"}},
        {"  lead trail  ", {"lead", "trail"}},
        {"'two words' \"and more\"", {"two words", "and more"}},
        {"pre'mid dle'post", {"premid dlepost"}},
        {"\"\" '' x", {"", "", "x"}},
        {"a\\ b \\\"q\\\"", {"a b", "\"q\""}},
        {"'it\\s' \"x\\y\" \"\\\"\\\\\\$\"", {"it\\s", "x\\y", "\"\\$"}},
        {"$HOME *.txt ~ `id` ;rm", {"$HOME", "*.txt", "~", "`id`", ";rm"}},
        {"/pos=11 \"/home/me/my file.txt\"", {"/pos=11", "/home/me/my file.txt"}},
        {"'unterminated rest", {"unterminated rest"}},
        {"trailing\\", {"trailing\\"}},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(SplitCommandLine(line), expected) << line;
}

TEST(FindProgram, AcceptsOnlyExecutableRegularFiles) {
    kestest::TempFolder tmp;
    WriteRaw(tmp.Path() + "data.txt", "x");
    EXPECT_EQ(FindProgram("/bin/sh"), "/bin/sh");
    const std::string onPath = FindProgram("sh");
    EXPECT_TRUE(onPath.ends_with("/sh")) << onPath;
    const std::string refused[] = {"", "no-such-program-kes", tmp.Path() + "data.txt", tmp.Path(),
                                   tmp.Path() + "missing"};
    for (const std::string& name : refused)
        EXPECT_EQ(FindProgram(name), "") << name;
}

TEST(StartDetached, PassesArgumentsIntactWithStdioOnDevNull) {
    kestest::TempFolder tmp;
    const std::string marker = tmp.Path() + "marker";
    // $$ is the started shell itself: its three standard descriptors, read before any redirection.
    const std::string script =
        "o=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); "
        "printf '%s|%s' \"$1\" \"$o\" > \"$2.part\" && mv \"$2.part\" \"$2\"";
    ASSERT_TRUE(StartDetached({"sh", "-c", script, "sh", "a 'b' \"c\" $HOME;", marker}));
    EXPECT_EQ(WaitForFile(marker), "a 'b' \"c\" $HOME;|/dev/null\n/dev/null\n/dev/null");
}

TEST(StartDetached, LeavesNoChildToReap) {
    ASSERT_TRUE(StartDetached({"true"}));
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(StartDetached, ReportsProgramsThatCannotStart) {
    kestest::TempFolder tmp;
    WriteRaw(tmp.Path() + "not-executable", "#!/bin/sh\n");
    WriteRaw(tmp.Path() + "bad-interpreter", "#!/no/such/interpreter\n");
    ::chmod((tmp.Path() + "bad-interpreter").c_str(), 0755);
    EXPECT_FALSE(StartDetached({}));
    EXPECT_FALSE(StartDetached({""}));
    EXPECT_FALSE(StartDetached({"no-such-program-kes"}));
    EXPECT_FALSE(StartDetached({tmp.Path() + "not-executable"}));
    EXPECT_FALSE(StartDetached({tmp.Path() + "bad-interpreter"})); // exec itself fails
}

TEST(ShellOpen, StartsAnExecutableWithTheParameterStringSplit) {
    kestest::TempFolder tmp;
    WriteRecorder(tmp.Path() + "editor", tmp.Path() + "marker");
    ldiShellOpen(tmp.Path() + "editor", "/pos=11 '" + tmp.Path() + "my file.txt'", 1);
    EXPECT_EQ(WaitForFile(tmp.Path() + "marker"), "/pos=11\n" + tmp.Path() + "my file.txt\n");
}

TEST(ShellOpen, OpensDocumentsWithXdgOpenNeverRunningThem) {
    kestest::TempFolder tmp;
    std::filesystem::create_directory(tmp.Path() + "bin");
    WriteRecorder(tmp.Path() + "bin/xdg-open", tmp.Path() + "opened");
    ScopedPath path(tmp.Path() + "bin");

    WriteRaw(tmp.Path() + "notes.txt", "text");
    ldiShellExecute("", tmp.Path() + "notes.txt", "ignored", 1);
    EXPECT_EQ(WaitForFile(tmp.Path() + "opened"), tmp.Path() + "notes.txt\n");

    // An executable searched file: opening it as a document must not run it.
    std::filesystem::remove(tmp.Path() + "opened");
    WriteRecorder(tmp.Path() + "run-me.sh", tmp.Path() + "was-run");
    ASSERT_TRUE(ldiOpenDocument(tmp.Path() + "run-me.sh"));
    EXPECT_EQ(WaitForFile(tmp.Path() + "opened"), tmp.Path() + "run-me.sh\n");
    EXPECT_FALSE(std::filesystem::exists(tmp.Path() + "was-run"));
}
