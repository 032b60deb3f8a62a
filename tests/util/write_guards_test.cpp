// A replacement goes only over the very file that was read, never through a link planted in the
// tree, never over a read-only file, and a file rewritten through its inode keeps a visible
// backup until the rewrite is on disk, with SIGTERM waiting for it.
#include "util/ldiFileHandle.h"
#include "util/ldiFileIO.h"

#include "UtilTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>

using kestest::Names;
using kestest::ReadFile;
using kestest::WriteRaw;
using namespace kes;
using Strings = std::vector<std::string>;

namespace {

void Link(const std::string& target, const std::string& name) {
    ASSERT_EQ(::symlink(target.c_str(), name.c_str()), 0) << name;
}

class WriteGuards : public ::testing::Test {
  protected:
    kestest::TempFolder tmp;
    const std::string Tree = tmp.Path() + "tree/";
    const std::string Victim = tmp.Path() + "victim/";

    void SetUp() override {
        std::filesystem::create_directories(Tree);
        std::filesystem::create_directories(Victim);
        WriteRaw(Tree + "a.txt", "old");
        WriteRaw(Victim + "passwd", "secret");
    }
};

// What another program does between the read and the write is what stays.
TEST_F(WriteGuards, AFileChangedAfterItWasReadIsLeftAsTheOtherProgramMadeIt) {
    const std::string a = Tree + "a.txt";
    struct {
        const char* Name;
        std::function<void()> Change;
        std::string Left; // a.txt afterwards ("-" when it is gone)
    } const cases[] = {
        {"appended", [&] { std::ofstream(a, std::ios::app) << " and more"; }, "old and more"},
        {"replaced by a rename",
         [&] {
             WriteRaw(Tree + "new", "theirs");
             std::filesystem::rename(Tree + "new", a);
         },
         "theirs"},
        {"deleted", [&] { std::filesystem::remove(a); }, "-"},
        {"swapped for a link",
         [&] {
             std::filesystem::rename(a, Tree + "moved");
             Link(Victim + "passwd", a);
         },
         "secret"},
    };
    for (const auto& c : cases) {
        WriteRaw(a, "old");
        const TReadTarget read = kestest::ReadTargetOf(a);
        c.Change();
        std::string message;
        EXPECT_EQ(ldiReplaceReadFile(read, "new", message), woRefused) << c.Name;
        EXPECT_EQ(message, "changed while it was being replaced; left as it is") << c.Name;
        EXPECT_EQ(std::filesystem::exists(a) ? ReadFile(a) : "-", c.Left) << c.Name;
        EXPECT_EQ(ReadFile(Victim + "passwd"), "secret") << c.Name;
        std::filesystem::remove(a);
        std::filesystem::remove(Tree + "moved");
    }
}

// A link the user's tree holds is resolved when the file is read; its target is replaced and
// the link stays a link. No write bit means read-only, whoever runs the program.
TEST_F(WriteGuards, LinksReadAreFollowedOnceAndReadOnlyMeansNoWriteBit) {
    Link("a.txt", Tree + "link.txt");
    std::string message;
    ASSERT_EQ(ldiReplaceReadFile(kestest::ReadTargetOf(Tree + "link.txt"), "new", message),
              woWritten)
        << message;
    EXPECT_EQ(ReadFile(Tree + "a.txt"), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(Tree + "link.txt"));

    ::chmod((Tree + "a.txt").c_str(), 0444);
    EXPECT_EQ(ldiReplaceReadFile(kestest::ReadTargetOf(Tree + "a.txt"), "newer", message),
              woRefused);
    EXPECT_EQ(message, "Permission denied");
    EXPECT_EQ(ReadFile(Tree + "a.txt"), "new");
}

// Copies never follow a link planted where the copy folder or a copy goes.
TEST_F(WriteGuards, CopiesRefuseAPlantedLinkOrAFileWhereTheirFolderGoes) {
    struct {
        const char* Name;
        std::function<void()> Plant;
        std::string Message;
    } const cases[] = {
        {"folder links to itself", [&] { Link(".", Tree + "kesReplace"); },
         Tree + "kesReplace is not a folder but a link or a file; nothing is written into it"},
        {"folder links outside", [&] { Link(Victim, Tree + "kesReplace"); },
         Tree + "kesReplace is not a folder but a link or a file; nothing is written into it"},
        {"folder is a file", [&] { WriteRaw(Tree + "kesReplace", "x"); },
         Tree + "kesReplace is not a folder but a link or a file; nothing is written into it"},
        {"copy links outside",
         [&] {
             std::filesystem::create_directory(Tree + "kesReplace");
             Link(Victim + "passwd", Tree + "kesReplace/a.txt");
         },
         Tree + "kesReplace/a.txt is a link or not a regular file; not replaced"},
    };
    for (const auto& c : cases) {
        c.Plant();
        std::string message;
        EXPECT_EQ(ldiWriteIntoSubfolder(Tree, "kesReplace", "a.txt", "new", message), woRefused)
            << c.Name;
        EXPECT_EQ(message, c.Message) << c.Name;
        EXPECT_EQ(ReadFile(Tree + "a.txt"), "old") << c.Name;
        EXPECT_EQ(Names(Victim), Strings{"passwd"}) << c.Name;
        EXPECT_EQ(ReadFile(Victim + "passwd"), "secret") << c.Name;
        std::filesystem::remove_all(Tree + "kesReplace");
    }
}

// Killed in the middle of a rewrite through the inode, the old content is in a visible backup;
// a later rewrite of the file refuses to go on while that backup is there.
TEST_F(WriteGuards, AnInterruptedRewriteLeavesAVisibleBackupThatBlocksTheNextOne) {
    ::link((Tree + "a.txt").c_str(), (Tree + "b.txt").c_str());
    const TReadTarget read = kestest::ReadTargetOf(Tree + "a.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("KESTRAVA_FAULT", "mid-rewrite:abort", 1);
        std::string message;
        ldiReplaceReadFile(read, "new text", message);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the fault hook did not fire";
    EXPECT_EQ(Names(Tree), (Strings{"a.txt", "a.txt.kestrava-backup", "b.txt"}));
    EXPECT_EQ(ReadFile(Tree + "a.txt.kestrava-backup"), "old");

    std::string message;
    EXPECT_EQ(ldiReplaceReadFile(kestest::ReadTargetOf(Tree + "a.txt"), "newer", message),
              woRefused);
    EXPECT_NE(message.find("still in " + Tree + "a.txt.kestrava-backup"), std::string::npos)
        << message;
}

extern "C" void ExitOnTerm(int signalNumber) {
    if (!ldiDeferSignal(signalNumber))
        ::_exit(42);
}

// SIGTERM that comes during a rewrite through the inode waits until the rewrite is on disk.
TEST_F(WriteGuards, TerminationWaitsForARewriteThroughTheInode) {
    ::link((Tree + "a.txt").c_str(), (Tree + "b.txt").c_str());
    const TReadTarget read = kestest::ReadTargetOf(Tree + "a.txt");
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGTERM, ExitOnTerm);
        ::setenv("KESTRAVA_FAULT", "mid-rewrite:pause", 1);
        std::string message;
        ldiReplaceReadFile(read, "all of the new text", message);
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
    EXPECT_EQ(ReadFile(Tree + "b.txt"), "all of the new text");
    EXPECT_EQ(Names(Tree), (Strings{"a.txt", "b.txt"}));
}

// A file whose owner a new file could not take keeps it: it is rewritten through its inode.
TEST_F(WriteGuards, AnOwnerThatCannotBeKeptStaysByRewritingInPlace) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand the file to another user";
    ::chmod(tmp.Path().c_str(), 0777);
    ::chmod(Tree.c_str(), 0777);
    ::chmod((Tree + "a.txt").c_str(), 0666);
    const TReadTarget read = kestest::ReadTargetOf(Tree + "a.txt");
    const std::string outcome = kestest::RunInChild([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            return std::string("setuid failed");
        std::string message;
        return ldiReplaceReadFile(read, "new", message) == woWritten ? std::string("ok") : message;
    });
    EXPECT_EQ(outcome, "ok");
    struct stat st {};
    ::stat((Tree + "a.txt").c_str(), &st);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_ino, read.Identity.Inode);
    EXPECT_EQ(ReadFile(Tree + "a.txt"), "new");
    EXPECT_EQ(Names(Tree), Strings{"a.txt"});
}

} // namespace
