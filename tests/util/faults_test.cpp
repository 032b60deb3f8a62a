// Writes interrupted or starved on purpose (through the test build's fault hooks): a kill
// between writing the temporary file and renaming it, short writes, a full disk, a size limit.
// The original keeps every old byte or holds every new one; nothing partial replaces it.
#include "util/file_io.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>

using kestest::names;
using kestest::readFile;
using kestest::writeRaw;
using namespace kestrava;
using namespace kestrava::util;
using namespace std::string_literals;

namespace {

const std::string kOld = "old content\r\n\0with a NUL\n"s;
const std::string kNew = std::string(300000, 'n') + "\nend";

// Starts a child that writes kNew over path with the given fault set; returns its pid.
pid_t startFaultyWrite(const std::string& path, const char* fault) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("KESTRAVA_FAULT", fault, 1);
        std::string error;
        const bool written = writeFileAtomically(path, kNew, error);
        ::_exit(written ? 0 : 1);
    }
    return pid;
}

// The one name in the folder that is a leftover temporary file of `name`, or "".
std::string leftoverOf(const std::string& folder, const std::string& name) {
    for (const std::string& entry : names(folder))
        if (entry.starts_with("." + name + std::string(kTempNameMarker)) &&
            entry.size() == name.size() + 1 + kTempNameMarker.size() + 6)
            return entry;
    return {};
}

TEST(KilledMidWrite, AbortBeforeTheRenameLeavesTheOldBytesAndANamedLeftover) {
    kestest::TempFolder tmp;
    const std::string path = tmp.path() + "f.txt";
    writeRaw(path, kOld);
    int status = 0;
    ::waitpid(startFaultyWrite(path, "after-temp-write:abort"), &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_EQ(readFile(path), kOld);
    const std::string leftover = leftoverOf(tmp.path(), "f.txt");
    ASSERT_NE(leftover, "") << "names: " << names(tmp.path()).size();
    EXPECT_EQ(readFile(tmp.path() + leftover), kNew) << "the leftover is complete";
}

// Stopped between the complete temporary file and the rename, the original is whole; killed
// there, it stays so; let go on, the write completes and nothing is left behind.
TEST(KilledMidWrite, PausedBeforeTheRenameTheOriginalIsWholeUntilTheRename) {
    for (const int signal : {SIGKILL, SIGCONT}) {
        kestest::TempFolder tmp;
        const std::string path = tmp.path() + "f.txt";
        writeRaw(path, kOld);
        const pid_t pid = startFaultyWrite(path, "after-temp-write:pause");
        int status = 0;
        ::waitpid(pid, &status, WUNTRACED);
        ASSERT_TRUE(WIFSTOPPED(status));
        EXPECT_EQ(readFile(path), kOld);
        EXPECT_NE(leftoverOf(tmp.path(), "f.txt"), "");
        ::kill(pid, signal);
        ::waitpid(pid, &status, 0);
        if (signal == SIGKILL) {
            EXPECT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(readFile(path), kOld);
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_EQ(readFile(path), kNew);
            EXPECT_EQ(names(tmp.path()), std::vector<std::string>{"f.txt"});
        }
    }
}

// ---- Short writes, a full disk, a size limit --------------------------------------------------

struct StarvedCase {
    const char* name;
    std::function<void()> setup; // runs in the child before the write
    bool linked;                 // the file has a second name
    const char* expected;        // "written" or the end of the message
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
        SCOPED_TRACE(c.name);
        kestest::TempFolder tmp;
        const std::string path = tmp.path() + "f.txt";
        const std::string text = std::string(20000, 'x') + "\r\n\0end"s;
        writeRaw(path, kOld);
        if (c.linked)
            ::link(path.c_str(), (tmp.path() + "g.txt").c_str());
        const std::string outcome = kestest::runInChild([&] {
            c.setup();
            std::string error;
            return writeFileAtomically(path, text, error) ? std::string("written") : error;
        });
        const bool written = std::string_view(c.expected) == "written";
        if (written) {
            EXPECT_EQ(outcome, "written");
        } else {
            EXPECT_EQ(outcome, "Cannot write " + path + c.expected);
        }
        EXPECT_EQ(readFile(path), written ? text : kOld);
        if (c.linked) {
            EXPECT_EQ(readFile(tmp.path() + "g.txt"), written ? text : kOld);
        }
        EXPECT_EQ(names(tmp.path()).size(), c.linked ? 2u : 1u) << "no temporary file is left";
    }
}

} // namespace
