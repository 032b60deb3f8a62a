// Writes interrupted or starved on purpose (through the test build's fault hooks and limits): a
// kill between writing the temporary file and renaming it, short writes, a full disk, a size
// limit, no descriptor left. The original keeps every old byte or holds every new one; nothing
// partial replaces it.
#include "util/file_io.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Stopped between the complete temporary file and the rename, the original is whole: aborted or
// killed there, it stays so (an abort leaves the complete leftover, named after the file); let go
// on, the write completes and nothing is left behind.
TEST(KilledMidWrite, TheOriginalIsWholeUntilTheRename) {
    const struct {
        const char* fault;
        int signal; // sent to the stopped write; 0 when the write aborts by itself
    } cases[] = {{"after-temp-write:abort", 0},
                 {"after-temp-write:pause", SIGKILL},
                 {"after-temp-write:pause", SIGCONT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        kestest::TempFolder tmp;
        const std::string path = tmp.path() + "f.txt";
        writeRaw(path, kOld);
        const pid_t pid = startFaultyWrite(path, c.fault);
        int status = 0;
        if (c.signal != 0) {
            ::waitpid(pid, &status, WUNTRACED);
            ASSERT_TRUE(WIFSTOPPED(status));
            EXPECT_EQ(readFile(path), kOld);
            EXPECT_NE(leftoverOf(tmp.path(), "f.txt"), "");
            ::kill(pid, c.signal);
        }
        ::waitpid(pid, &status, 0);
        if (c.signal == SIGCONT) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_EQ(readFile(path), kNew);
            EXPECT_EQ(names(tmp.path()), std::vector<std::string>{"f.txt"});
            continue;
        }
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_EQ(readFile(path), kOld);
        if (c.signal == 0) {
            EXPECT_EQ(WTERMSIG(status), SIGABRT);
            const std::string leftover = leftoverOf(tmp.path(), "f.txt");
            ASSERT_NE(leftover, "");
            EXPECT_EQ(readFile(tmp.path() + leftover), kNew) << "the leftover is complete";
        }
    }
}

// ---- Short writes, a full disk, a size limit, no descriptor left ------------------------------

ino_t inodeOf(const std::string& path) {
    struct stat st = {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

// A file with a second name is rewritten through its inode: both names see the outcome, and on
// failure both keep the old bytes.
TEST(StarvedWrites, WriteEveryByteOrFailClearlyWithTheOriginalIntact) {
    const auto fault = [](const char* name) {
        return [name] { ::setenv("KESTRAVA_FAULT", name, 1); };
    };
    const auto sizeLimit = [] {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    };
    const auto noDescriptor = [] {
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        const rlimit limit{static_cast<rlim_t>(lowestFree), static_cast<rlim_t>(lowestFree)};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    };
    const struct {
        const char* name;
        std::function<void()> setup; // runs in the child before the write
        bool linked;                 // the file has a second name
        std::string expected;        // "written" or the message, "@" standing for the folder
    } cases[] = {
        {"short writes", fault("write:short"), false, "written"},
        {"short writes, linked", fault("write:short"), true, "written"},
        {"disk full", fault("write:nospace"), false,
         "Cannot write @f.txt: No space left on device"},
        {"disk full, linked", fault("write:nospace"), true,
         "Cannot write @f.txt: No space left on device"},
        {"size limit", sizeLimit, false, "Cannot write @f.txt: File too large"},
        {"size limit, linked", sizeLimit, true, "Cannot write @f.txt: File too large"},
        {"no descriptor", noDescriptor, false,
         "Cannot create a temporary file in @: Too many open files"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        kestest::TempFolder tmp;
        const std::string path = tmp.path() + "f.txt";
        const std::string text = std::string(20000, 'x') + "\r\n\0end"s;
        writeRaw(path, kOld);
        if (c.linked)
            ::link(path.c_str(), (tmp.path() + "g.txt").c_str());
        const ino_t inode = inodeOf(path);
        const std::string outcome = kestest::runInChild([&] {
            c.setup();
            std::string error;
            return writeFileAtomically(path, text, error) ? std::string("written") : error;
        });
        std::string expected = c.expected;
        if (const size_t at = expected.find('@'); at != std::string::npos)
            expected.replace(at, 1, tmp.path());
        EXPECT_EQ(outcome, expected);
        const bool written = c.expected == "written";
        EXPECT_EQ(readFile(path), written ? text : kOld);
        if (c.linked || !written) {
            EXPECT_EQ(inodeOf(path), inode);
        }
        if (c.linked) {
            EXPECT_EQ(readFile(tmp.path() + "g.txt"), written ? text : kOld);
        }
        EXPECT_EQ(names(tmp.path()).size(), c.linked ? 2u : 1u) << "no temporary file is left";
    }
}

} // namespace
