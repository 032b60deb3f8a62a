// A replacement goes only over the very file that was read, never through a link planted in the
// tree, never over a read-only file, and a file rewritten through its inode keeps a visible
// backup until the rewrite is on disk, with SIGTERM waiting for it.
#include "util/file_io.h"
#include "util/unique_fd.h"
#include "util/write_gate.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>

using kestest::names;
using kestest::readFile;
using kestest::writeRaw;
using namespace kestrava;
using namespace kestrava::util;
using Strings = std::vector<std::string>;

namespace {

void link(const std::string& target, const std::string& name) {
    ASSERT_EQ(::symlink(target.c_str(), name.c_str()), 0) << name;
}

class WriteGuards : public ::testing::Test {
  protected:
    kestest::TempFolder m_tmp;
    const std::string m_tree = m_tmp.path() + "tree/";
    const std::string m_victim = m_tmp.path() + "victim/";

    // The searched folder: writes stay beneath it.
    WriteRoots roots() const { return WriteRoots({m_tree}); }

    void SetUp() override {
        std::filesystem::create_directories(m_tree);
        std::filesystem::create_directories(m_victim);
        writeRaw(m_tree + "a.txt", "old");
        writeRaw(m_victim + "passwd", "secret");
    }
};

// What another program does between the read and the write is what stays.
TEST_F(WriteGuards, AFileChangedAfterItWasReadIsLeftAsTheOtherProgramMadeIt) {
    const std::string a = m_tree + "a.txt";
    struct {
        const char* name;
        std::function<void()> change;
        std::string left; // a.txt afterwards ("-" when it is gone)
    } const cases[] = {
        {"appended", [&] { std::ofstream(a, std::ios::app) << " and more"; }, "old and more"},
        {"replaced by a rename",
         [&] {
             writeRaw(m_tree + "new", "theirs");
             std::filesystem::rename(m_tree + "new", a);
         },
         "theirs"},
        {"deleted", [&] { std::filesystem::remove(a); }, "-"},
        {"swapped for a link",
         [&] {
             std::filesystem::rename(a, m_tree + "moved");
             link(m_victim + "passwd", a);
         },
         "secret"},
    };
    for (const auto& c : cases) {
        writeRaw(a, "old");
        const ReadTarget read = kestest::readTargetOf(a);
        c.change();
        std::string message;
        EXPECT_EQ(replaceReadFile(roots(), read, "new", message), WriteOutcome::Refused) << c.name;
        EXPECT_EQ(message, "changed while it was being replaced; left as it is") << c.name;
        EXPECT_EQ(std::filesystem::exists(a) ? readFile(a) : "-", c.left) << c.name;
        EXPECT_EQ(readFile(m_victim + "passwd"), "secret") << c.name;
        std::filesystem::remove(a);
        std::filesystem::remove(m_tree + "moved");
    }
}

// A link the user's tree holds is resolved when the file is read: where it leads beneath the
// searched folder, its target is replaced (or copied beside it) and the link stays a link; where
// it leads outside, nothing is written there. The same with the kernel's openat2 and with the
// walk name by name that stands in for it. No write bit means read-only, whoever runs the program.
TEST_F(WriteGuards, LinksAreFollowedOnlyWhereTheyStayBeneathTheSearchedFolder) {
    std::filesystem::create_directories(m_tree + "sub");
    writeRaw(m_tree + "sub/b.txt", "old");
    link("a.txt", m_tree + "link.txt");
    link(m_victim + "passwd", m_tree + "out.txt");
    link("sub", m_tree + "in");
    link(m_victim, m_tree + "dir");
    const std::string outside =
        " is reached through a link that leads outside the searched folders; not replaced";
    const struct {
        const char* listed; // beneath the tree
        bool inPlace;
        const char* written; // what holds "new" afterwards; "" when refused
    } cases[] = {
        {"link.txt", true, "a.txt"},
        {"in/b.txt", true, "sub/b.txt"},
        {"in/b.txt", false, "sub/kesReplace/b.txt"},
        {"out.txt", true, ""},
        {"dir/passwd", true, ""},
        {"dir/passwd", false, ""},
    };
    for (const char* walk : {"", "no-openat2"}) {
        ::setenv("KESTRAVA_FAULT", walk, 1);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.listed) + (c.inPlace ? " in place " : " copied ") + walk);
            const std::string listed = m_tree + c.listed;
            const std::string folder = fileFolder(listed);
            std::string message;
            const WriteOutcome outcome =
                c.inPlace ? replaceReadFile(roots(), kestest::readTargetOf(listed), "new", message)
                          : writeIntoSubfolder(roots(), folder, "kesReplace",
                                               listed.substr(folder.size()), "new", message);
            if (*c.written != '\0') {
                EXPECT_EQ(outcome, WriteOutcome::Written) << message;
                EXPECT_EQ(readFile(m_tree + c.written), "new");
            } else {
                EXPECT_EQ(outcome, WriteOutcome::Refused);
                EXPECT_TRUE(message.ends_with(outside)) << message;
            }
            EXPECT_EQ(names(m_victim), Strings{"passwd"});
            EXPECT_EQ(readFile(m_victim + "passwd"), "secret");
            EXPECT_TRUE(std::filesystem::is_symlink(m_tree + "link.txt"));
            writeRaw(m_tree + "a.txt", "old");
            writeRaw(m_tree + "sub/b.txt", "old");
        }
    }
    ::unsetenv("KESTRAVA_FAULT");

    ::chmod((m_tree + "a.txt").c_str(), 0444);
    std::string message;
    EXPECT_EQ(replaceReadFile(roots(), kestest::readTargetOf(m_tree + "a.txt"), "newer", message),
              WriteOutcome::Refused);
    EXPECT_EQ(message, "Permission denied");
    EXPECT_EQ(readFile(m_tree + "a.txt"), "old");
}

// Copies never follow a link planted where the copy folder or a copy goes.
TEST_F(WriteGuards, CopiesRefuseAPlantedLinkOrAFileWhereTheirFolderGoes) {
    struct {
        const char* name;
        std::function<void()> plant;
        std::string message;
    } const cases[] = {
        {"folder links to itself", [&] { link(".", m_tree + "kesReplace"); },
         m_tree + "kesReplace is not a folder but a link or a file; nothing is written into it"},
        {"folder links outside", [&] { link(m_victim, m_tree + "kesReplace"); },
         m_tree + "kesReplace is not a folder but a link or a file; nothing is written into it"},
        {"folder is a file", [&] { writeRaw(m_tree + "kesReplace", "x"); },
         m_tree + "kesReplace is not a folder but a link or a file; nothing is written into it"},
        {"copy links outside",
         [&] {
             std::filesystem::create_directory(m_tree + "kesReplace");
             link(m_victim + "passwd", m_tree + "kesReplace/a.txt");
         },
         m_tree + "kesReplace/a.txt is a link or not a regular file; not replaced"},
    };
    for (const auto& c : cases) {
        c.plant();
        std::string message;
        EXPECT_EQ(writeIntoSubfolder(roots(), m_tree, "kesReplace", "a.txt", "new", message),
                  WriteOutcome::Refused)
            << c.name;
        EXPECT_EQ(message, c.message) << c.name;
        EXPECT_EQ(readFile(m_tree + "a.txt"), "old") << c.name;
        EXPECT_EQ(names(m_victim), Strings{"passwd"}) << c.name;
        EXPECT_EQ(readFile(m_victim + "passwd"), "secret") << c.name;
        std::filesystem::remove_all(m_tree + "kesReplace");
    }
}

// Killed in the middle of a rewrite through the inode, the old content is in a visible backup;
// a later rewrite of the file refuses to go on while that backup is there.
TEST_F(WriteGuards, AnInterruptedRewriteLeavesAVisibleBackupThatBlocksTheNextOne) {
    ::link((m_tree + "a.txt").c_str(), (m_tree + "b.txt").c_str());
    const ReadTarget read = kestest::readTargetOf(m_tree + "a.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("KESTRAVA_FAULT", "mid-rewrite:abort", 1);
        std::string message;
        replaceReadFile(roots(), read, "new text", message);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the fault hook did not fire";
    EXPECT_EQ(names(m_tree), (Strings{"a.txt", "a.txt.kestrava-backup", "b.txt"}));
    EXPECT_EQ(readFile(m_tree + "a.txt.kestrava-backup"), "old");

    std::string message;
    EXPECT_EQ(replaceReadFile(roots(), kestest::readTargetOf(m_tree + "a.txt"), "newer", message),
              WriteOutcome::Refused);
    EXPECT_NE(message.find("still in " + m_tree + "a.txt.kestrava-backup"), std::string::npos)
        << message;
}

extern "C" void exitOnTerm(int signalNumber) {
    if (!deferSignal(signalNumber))
        ::_exit(42);
}

// SIGTERM that comes during a rewrite through the inode waits until the rewrite is on disk.
TEST_F(WriteGuards, TerminationWaitsForARewriteThroughTheInode) {
    ::link((m_tree + "a.txt").c_str(), (m_tree + "b.txt").c_str());
    const ReadTarget read = kestest::readTargetOf(m_tree + "a.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGTERM, exitOnTerm);
        ::setenv("KESTRAVA_FAULT", "mid-rewrite:pause", 1);
        std::string message;
        replaceReadFile(roots(), read, "all of the new text", message);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, WUNTRACED);
    ASSERT_TRUE(WIFSTOPPED(status));
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGCONT);
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 42) << "the signal was not raised again";
    EXPECT_EQ(readFile(m_tree + "b.txt"), "all of the new text");
    EXPECT_EQ(names(m_tree), (Strings{"a.txt", "b.txt"}));
}

// A file whose owner a new file could not take keeps it: it is rewritten through its inode.
TEST_F(WriteGuards, AnOwnerThatCannotBeKeptStaysByRewritingInPlace) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand the file to another user";
    ::chmod(m_tmp.path().c_str(), 0777);
    ::chmod(m_tree.c_str(), 0777);
    ::chmod((m_tree + "a.txt").c_str(), 0666);
    const ReadTarget read = kestest::readTargetOf(m_tree + "a.txt");
    const std::string outcome = kestest::runInChild([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            return std::string("setuid failed");
        std::string message;
        return replaceReadFile(roots(), read, "new", message) == WriteOutcome::Written
                   ? std::string("ok")
                   : message;
    });
    EXPECT_EQ(outcome, "ok");
    struct stat st = {};
    ::stat((m_tree + "a.txt").c_str(), &st);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_ino, read.identity.inode);
    EXPECT_EQ(readFile(m_tree + "a.txt"), "new");
    EXPECT_EQ(names(m_tree), Strings{"a.txt"});
}

} // namespace
