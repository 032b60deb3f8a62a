// Writes interrupted or starved on purpose (through the test build's fault hooks): a kill
// between writing the temporary file and renaming it, short writes, a full disk, a size limit.
// The original keeps every old byte or holds every new one; nothing partial replaces it.
#include "util/ldiFileIO.h"

#include "UtilTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>

using kestest::Names;
using kestest::ReadFile;
using kestest::WriteRaw;
using namespace kes;
using namespace std::string_literals;

namespace {

const std::string kOld = "old content\r\n\0with a NUL\n"s;
const std::string kNew = std::string(300000, 'n') + "\nend";

// Starts a child that writes kNew over path with the given fault set; returns its pid.
pid_t StartFaultyWrite(const std::string& path, const char* fault) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("KESTRAVA_FAULT", fault, 1);
        std::string error;
        const bool written = ldiTryWriteTextFile(path, kNew, error);
        ::_exit(written ? 0 : 1);
    }
    return pid;
}

// The one name in the folder that is a leftover temporary file of `name`, or "".
std::string LeftoverOf(const std::string& folder, const std::string& name) {
    for (const std::string& entry : Names(folder))
        if (entry.starts_with("." + name + std::string(kTempNameMarker)) &&
            entry.size() == name.size() + 1 + kTempNameMarker.size() + 6)
            return entry;
    return {};
}

TEST(KilledMidWrite, AbortBeforeTheRenameLeavesTheOldBytesAndANamedLeftover) {
    kestest::TempFolder tmp;
    const std::string path = tmp.Path() + "f.txt";
    WriteRaw(path, kOld);
    int status = 0;
    ::waitpid(StartFaultyWrite(path, "after-temp-write:abort"), &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_EQ(ReadFile(path), kOld);
    const std::string leftover = LeftoverOf(tmp.Path(), "f.txt");
    ASSERT_NE(leftover, "") << "names: " << Names(tmp.Path()).size();
    EXPECT_EQ(ReadFile(tmp.Path() + leftover), kNew) << "the leftover is complete";
}

// Stopped between the complete temporary file and the rename, the original is whole; killed
// there, it stays so; let go on, the write completes and nothing is left behind.
TEST(KilledMidWrite, PausedBeforeTheRenameTheOriginalIsWholeUntilTheRename) {
    for (const int signal : {SIGKILL, SIGCONT}) {
        kestest::TempFolder tmp;
        const std::string path = tmp.Path() + "f.txt";
        WriteRaw(path, kOld);
        const pid_t pid = StartFaultyWrite(path, "after-temp-write:pause");
        int status = 0;
        ::waitpid(pid, &status, WUNTRACED);
        ASSERT_TRUE(WIFSTOPPED(status));
        EXPECT_EQ(ReadFile(path), kOld);
        EXPECT_NE(LeftoverOf(tmp.Path(), "f.txt"), "");
        ::kill(pid, signal);
        ::waitpid(pid, &status, 0);
        if (signal == SIGKILL) {
            EXPECT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(ReadFile(path), kOld);
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_EQ(ReadFile(path), kNew);
            EXPECT_EQ(Names(tmp.Path()), std::vector<std::string>{"f.txt"});
        }
    }
}

// ---- Short writes, a full disk, a size limit --------------------------------------------------

struct StarvedCase {
    const char* Name;
    std::function<void()> Setup; // runs in the child before the write
    bool Linked;                 // the file has a second name
    const char* Expected;        // "written" or the end of the message
};

TEST(StarvedWrites, WriteEveryByteOrFailClearlyWithTheOriginalIntact) {
    const auto sizeLimit = [] {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    };
    const StarvedCase cases[] = {
        {"short writes", [] { ::setenv("KESTRAVA_FAULT", "write:short", 1); }, false, "written"},
        {"short writes, linked", [] { ::setenv("KESTRAVA_FAULT", "write:short", 1); }, true,
         "written"},
        {"disk full", [] { ::setenv("KESTRAVA_FAULT", "write:nospace", 1); }, false,
         ": No space left on device"},
        {"disk full, linked", [] { ::setenv("KESTRAVA_FAULT", "write:nospace", 1); }, true,
         ": No space left on device"},
        {"size limit", sizeLimit, false, ": File too large"},
    };
    for (const StarvedCase& c : cases) {
        SCOPED_TRACE(c.Name);
        kestest::TempFolder tmp;
        const std::string path = tmp.Path() + "f.txt";
        const std::string text = std::string(20000, 'x') + "\r\n\0end"s;
        WriteRaw(path, kOld);
        if (c.Linked)
            ::link(path.c_str(), (tmp.Path() + "g.txt").c_str());
        const std::string outcome = kestest::RunInChild([&] {
            c.Setup();
            std::string error;
            return ldiTryWriteTextFile(path, text, error) ? std::string("written") : error;
        });
        const bool written = std::string_view(c.Expected) == "written";
        if (written) {
            EXPECT_EQ(outcome, "written");
        } else {
            EXPECT_EQ(outcome, "Cannot write " + path + c.Expected);
        }
        EXPECT_EQ(ReadFile(path), written ? text : kOld);
        if (c.Linked) {
            EXPECT_EQ(ReadFile(tmp.Path() + "g.txt"), written ? text : kOld);
        }
        EXPECT_EQ(Names(tmp.Path()).size(), c.Linked ? 2u : 1u) << "no temporary file is left";
    }
}

} // namespace
