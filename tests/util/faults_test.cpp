// Writes interrupted or starved on purpose through the test build's fault hooks and limits: the
// old content is always whole somewhere; nothing partial replaces it.
#include "util/write_gate.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace kestest;
using namespace kestrava::util;
using namespace std::string_literals;
using Strings = std::vector<std::string>;

namespace {

const std::string kOld = "old content\r\n\0with a NUL\n"s;
const std::string kNew = std::string(300000, 'n') + "\r\n\0end"s;

Strings shapeOf(const std::string& folder) {
    Strings shape = names(folder);
    for (std::string& name : shape)
        if (const size_t at = name.find(kTempNameMarker); at != std::string::npos)
            name.replace(at + kTempNameMarker.size(), std::string::npos, "*");
    return shape;
}

std::string howEnded(int status) {
    return WIFSIGNALED(status) ? ::strsignal(WTERMSIG(status))
                               : "exit " + std::to_string(WEXITSTATUS(status));
}

extern "C" void exitOnTerm(int signalNumber) {
    if (!deferSignal(signalNumber))
        ::_exit(42);
}

// Stopped before the rename or mid-rewrite through the inode, the old content is whole in the
// file or in the backup, which then blocks the next rewrite; SIGTERM waits for the rewrite.
TEST(KilledMidWrite, TheOldContentIsWholeUntilTheNewIsInPlace) {
    const std::string temp = ".f.txt" + std::string(kTempNameMarker) + "*";
    const std::string backup = "f.txt" + std::string(kBackupNameSuffix);
    const struct {
        const char* fault;
        bool linked; // g.txt is a second name of f.txt
        int signal;  // sent to the stopped write (SIGCONT follows it); 0 when it aborts by itself
        const char* ended;
        Strings left;     // the names afterwards
        std::string text; // f.txt afterwards; a leftover temporary file or backup holds the other
    } cases[] = {
        {"after-temp-write:abort", false, 0, "Aborted", {temp, "f.txt"}, kOld},
        {"after-temp-write:pause", false, SIGKILL, "Killed", {temp, "f.txt"}, kOld},
        {"after-temp-write:pause", false, SIGCONT, "exit 0", {"f.txt"}, kNew},
        {"mid-rewrite:abort", true, 0, "Aborted", {"f.txt", backup, "g.txt"}, kOld},
        {"mid-rewrite:pause", true, SIGTERM, "exit 42", {"f.txt", "g.txt"}, kNew},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fault) + " " + c.ended);
        kestest::TempFolder tmp;
        const std::string path = tmp.path() + "f.txt";
        writeRaw(path, kOld);
        if (c.linked)
            ::link(path.c_str(), (tmp.path() + "g.txt").c_str());
        const WriteRoots roots({tmp.path()});
        const ReadTarget read = kestest::readTargetOf(path);
        const pid_t pid = kestest::startChild([&] {
            std::signal(SIGTERM, exitOnTerm);
            ::setenv("KESTRAVA_FAULT", c.fault, 1);
            std::string error;
            c.linked ? (void)replaceReadFile(roots, read, kNew, error)
                     : (void)writeFileAtomically(path, kNew, error);
        });
        int status = 0;
        if (c.signal != 0) {
            ::waitpid(pid, &status, WUNTRACED);
            ASSERT_TRUE(WIFSTOPPED(status));
            EXPECT_EQ(readFile(c.linked ? tmp.path() + backup : path), kOld);
            ::kill(pid, c.signal);
            ::kill(pid, SIGCONT);
        }
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(howEnded(status), c.ended);
        EXPECT_EQ(shapeOf(tmp.path()), c.left);
        EXPECT_EQ(readFile(path), c.text);
        for (const std::string& name : names(tmp.path()))
            if (name != "f.txt" && name != "g.txt") {
                EXPECT_EQ(readFile(tmp.path() + name), c.linked ? kOld : kNew) << name;
            }
        if (c.linked) {
            EXPECT_EQ(readFile(tmp.path() + "g.txt"), readFile(path));
        }
        // A leftover temporary file is no obstacle; a leftover backup stops the next rewrite.
        std::string message;
        const WriteOutcome again =
            replaceReadFile(roots, kestest::readTargetOf(path), "again", message);
        const bool blocked = std::find(c.left.begin(), c.left.end(), backup) != c.left.end();
        EXPECT_EQ(again, blocked ? WriteOutcome::Refused : WriteOutcome::Written) << message;
        EXPECT_EQ(message.find("still in " + tmp.path() + backup) != std::string::npos, blocked)
            << message;
    }
}

// A linked file, or one whose owner a new file could not take, is rewritten through its inode.
TEST(StarvedWrites, WriteEveryByteOrFailClearlyWithTheOriginalIntact) {
    const auto fault = [](const char* name) {
        return [name](const std::string&) { ::setenv("KESTRAVA_FAULT", name, 1); };
    };
    const auto sizeLimit = [](const std::string&) {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
    };
    const auto noDescriptor = [](const std::string&) {
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        const rlimit limit{static_cast<rlim_t>(lowestFree), static_cast<rlim_t>(lowestFree)};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    };
    const auto otherUser = [](const std::string& folder) {
        ::chmod(folder.c_str(), 0777);
        ::chmod((folder + "f.txt").c_str(), 0666);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
    };
    const struct {
        const char* name;
        std::function<void(const std::string&)> setup; // runs in the child before the write
        bool inPlace;                                  // it keeps its inode (as a linked one does)
        std::string expected; // "written" or the message, "@" standing for the folder
    } cases[] = {
        {"short writes", fault("write:short"), false, "written"},
        {"disk full", fault("write:nospace"), true, "Cannot write @f.txt: No space left on device"},
        {"size limit", sizeLimit, true, "Cannot write @f.txt: File too large"},
        {"no descriptor", noDescriptor, true,
         "Cannot create a temporary file in @: Too many open files"},
        {"owner cannot be kept", otherUser, true, "written"},
    };
    for (const bool linked : {false, true})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (linked ? ", linked" : ""));
            if (std::string_view(c.name) == "owner cannot be kept" && ::geteuid() != 0)
                continue; // needs root to hand the file to another user
            kestest::TempFolder tmp;
            const std::string path = tmp.path() + "f.txt";
            writeRaw(path, kOld);
            if (linked)
                ::link(path.c_str(), (tmp.path() + "g.txt").c_str());
            struct stat before = {}, after = {};
            ::stat(path.c_str(), &before);
            const std::string outcome = kestest::runInChild([&] {
                c.setup(tmp.path());
                std::string error;
                return writeFileAtomically(path, kNew, error) ? std::string("written") : error;
            });
            std::string expected = c.expected;
            if (const size_t at = expected.find('@'); at != std::string::npos)
                expected.replace(at, 1, tmp.path());
            EXPECT_EQ(outcome, expected);
            const bool written = c.expected == "written";
            ::stat(path.c_str(), &after);
            EXPECT_EQ(readFile(path), written ? kNew : kOld);
            EXPECT_EQ(after.st_ino == before.st_ino, c.inPlace || linked);
            EXPECT_EQ(after.st_uid, before.st_uid);
            if (linked) {
                EXPECT_EQ(readFile(tmp.path() + "g.txt"), written ? kNew : kOld);
            }
            EXPECT_EQ(names(tmp.path()).size(), linked ? 2u : 1u) << "no temporary file is left";
        }
}

} // namespace
