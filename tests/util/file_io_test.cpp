// Whole-file writing: the exact bytes, kept permission bits and owner, symlinks followed, and an
// original that survives every failure with no temporary file left behind (the starved and
// interrupted writes are in faults_test.cpp).
#include "util/file_io.h"
#include "util/text_spill.h"
#include "util/unique_fd.h"
#include "util/write_gate.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

using kestest::errorOf;
using kestest::names;
using kestest::readFile;
using kestest::writeRaw;
using namespace kestrava;
using namespace kestrava::util;
using namespace std::string_literals;
using Strings = std::vector<std::string>;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st = {};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

// "ok" when the write succeeded, else its message.
std::string tryWrite(const std::string& fileName, std::string_view text) {
    std::string message;
    return writeFileAtomically(fileName, text, message) ? "ok" + message : message;
}

class FileWriting : public ::testing::Test {
  protected:
    kestest::TempFolder m_tmp;
    const std::string m_dir = m_tmp.path();
};

} // namespace

TEST(FileFolder, IsEverythingUpToTheLastSlash) {
    const std::pair<std::string, std::string> cases[] = {
        {"/x/y/f.txt", "/x/y/"}, {"f.txt", ""}, {"/f", "/"}, {"a/b/", "a/b/"}, {"", ""}};
    for (const auto& [name, folder] : cases)
        EXPECT_EQ(fileFolder(name), folder) << name;
}

TEST_F(FileWriting, BytesAreWrittenExactlyAndCompleteWriteAddsCrLf) {
    writeRaw(m_dir + "out.txt", "a much longer original content");
    writeCompleteTextFile(m_dir + "out.txt", "abc");
    EXPECT_EQ(readFile(m_dir + "out.txt"), "abc\r\n");
    writeCompleteTextFile(m_dir + "empty.txt", "");
    EXPECT_EQ(readFile(m_dir + "empty.txt"), "\r\n");
    const std::string bytes = "line\r\n\0\xff\x80 end"s;
    const std::string longName(250, 'n'); // its temporary name must still fit beside it
    EXPECT_EQ(tryWrite(m_dir + longName, "old"), "ok");
    EXPECT_EQ(tryWrite(m_dir + longName, bytes), "ok");
    EXPECT_EQ(readFile(m_dir + longName), bytes);
    EXPECT_EQ(tryWrite(m_dir + "none", ""), "ok");
    EXPECT_EQ(readFile(m_dir + "none"), "");
    EXPECT_EQ(names(m_dir), (Strings{"empty.txt", longName, "none", "out.txt"}));
}

TEST_F(FileWriting, CompleteWriteRaisesForBadTargetsAndCreatesNothing) {
    writeRaw(m_dir + "plain", "x");
    std::filesystem::create_directory(m_dir + "sub");
    const std::pair<std::string, std::string> cases[] = {
        {"", "ldiWriteCompleteTextFile requires a non-blank filename."},
        {m_dir + "Missing/out.txt", "Directory \"" + m_dir + "Missing/\" does not exist."},
        {"out.txt", "Directory \"\" does not exist."},
        {m_dir + "plain/out.txt", "Directory \"" + m_dir + "plain/\" does not exist."},
        {m_dir + "sub", "Cannot write " + m_dir + "sub: Is a directory"},
    };
    for (const auto& [target, message] : cases) {
        const std::string& name = target; // a lambda cannot capture a structured binding in clang
        EXPECT_EQ(errorOf([&] { writeCompleteTextFile(name, "text"); }), message) << name;
    }
    EXPECT_EQ(names(m_dir), (Strings{"plain", "sub"}));
}

// A new file follows the umask; an existing one keeps its bits, its owner (where root may hand
// it to another) and its extended attributes (where the file system keeps them).
TEST_F(FileWriting, NewFileFollowsUmaskAndExistingFileKeepsBitsOwnerAndAttributes) {
    const mode_t saved = ::umask(027);
    EXPECT_EQ(tryWrite(m_dir + "new", "x"), "ok");
    ::umask(saved);
    EXPECT_EQ(modeOf(m_dir + "new") & 07777, 0640u);
    for (const mode_t bits : {0600u, 0755u, 0704u}) {
        const std::string name = m_dir + "kept" + std::to_string(bits);
        writeRaw(name, "old");
        ::chmod(name.c_str(), bits);
        EXPECT_EQ(tryWrite(name, "new"), "ok");
        EXPECT_EQ(modeOf(name) & 07777, bits);
        EXPECT_EQ(readFile(name), "new");
    }
    const std::string name = m_dir + "theirs";
    writeRaw(name, "old");
    const bool handedOver = ::geteuid() == 0 && ::chown(name.c_str(), 65534, 65534) == 0;
    const bool tagged = ::setxattr(name.c_str(), "user.kestrava", "tag", 3, 0) == 0;
    EXPECT_EQ(tryWrite(name, "new"), "ok");
    struct stat st = {};
    ::stat(name.c_str(), &st);
    if (handedOver) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
    char value[8] = {};
    if (tagged) {
        EXPECT_EQ(::getxattr(name.c_str(), "user.kestrava", value, sizeof value), 3);
        EXPECT_STREQ(value, "tag");
    }
}

TEST_F(FileWriting, SymlinkTargetIsReplacedAndLinkStaysLink) {
    namespace fs = std::filesystem;
    fs::create_directory(m_dir + "data");
    fs::create_directory(m_dir + "links");
    writeRaw(m_dir + "data/real.txt", "old");
    ::chmod((m_dir + "data/real.txt").c_str(), 0600);
    fs::create_symlink("../data/real.txt", m_dir + "links/hop"); // relative, another folder
    fs::create_symlink("hop", m_dir + "links/link");             // a chain of two
    fs::create_symlink("later.txt", m_dir + "data/dangling");

    EXPECT_EQ(tryWrite(m_dir + "links/link", "new"), "ok");
    EXPECT_EQ(readFile(m_dir + "data/real.txt"), "new");
    EXPECT_EQ(modeOf(m_dir + "data/real.txt") & 07777, 0600u);
    EXPECT_EQ(tryWrite(m_dir + "data/dangling", "created"), "ok");
    EXPECT_EQ(readFile(m_dir + "data/later.txt"), "created");
    for (const char* link : {"links/link", "links/hop", "data/dangling"})
        EXPECT_TRUE(fs::is_symlink(m_dir + link)) << link;
    EXPECT_EQ(names(m_dir + "data"), (Strings{"dangling", "later.txt", "real.txt"}));
    EXPECT_EQ(names(m_dir + "links"), (Strings{"hop", "link"}));
}

TEST_F(FileWriting, RefusedTargetsStayAsTheyWere) {
    std::filesystem::create_symlink("loop", m_dir + "loop");
    std::filesystem::create_directory(m_dir + "sub");
    ::mkfifo((m_dir + "fifo").c_str(), 0600); // opening it would block: it must never be opened
    writeRaw(m_dir + "plain", "x");
    const std::pair<std::string, std::string> cases[] = {
        {"loop", "Too many levels of symbolic links"},
        {"sub", "Is a directory"},
        {"fifo", "Not a regular file"},
        {"plain/f", "Cannot create a temporary file in " + m_dir + "plain/: Not a directory"},
    };
    for (const auto& [name, reason] : cases)
        EXPECT_NE(tryWrite(m_dir + name, "x").find(reason), std::string::npos) << name;
    EXPECT_TRUE(S_ISFIFO(modeOf(m_dir + "fifo")));
    EXPECT_EQ(names(m_dir), (Strings{"fifo", "loop", "plain", "sub"}));
    EXPECT_EQ(tryWrite("", "x"), "Cannot write: No file name given");
}

TEST_F(FileWriting, ReadOnlyFolderOrFileFailsAndKeepsOriginal) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root ignores permission bits";
    std::filesystem::create_directory(m_dir + "ro");
    writeRaw(m_dir + "ro/f.txt", "original\n");
    writeRaw(m_dir + "locked.txt", "locked\n");
    ::chmod((m_dir + "locked.txt").c_str(), 0444);
    ::chmod((m_dir + "ro").c_str(), 0555);
    EXPECT_EQ(tryWrite(m_dir + "ro/f.txt", "new"),
              "Cannot create a temporary file in " + m_dir + "ro/: Permission denied");
    EXPECT_EQ(tryWrite(m_dir + "locked.txt", "new"),
              "Cannot write " + m_dir + "locked.txt: Permission denied");
    ::chmod((m_dir + "ro").c_str(), 0755);
    EXPECT_EQ(readFile(m_dir + "ro/f.txt"), "original\n");
    EXPECT_EQ(readFile(m_dir + "locked.txt"), "locked\n");
    EXPECT_EQ(names(m_dir + "ro"), Strings{"f.txt"});
}

TEST_F(FileWriting, ForceFileFolderCreatesMissingParents) {
    writeRaw(m_dir + "plain", "x");
    EXPECT_TRUE(forceFileFolder(m_dir + "a/b/c/out.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(m_dir + "a/b/c"));
    EXPECT_TRUE(forceFileFolder(m_dir + "a/b/c/again.txt"));
    EXPECT_TRUE(forceFileFolder("/top.txt"));
    EXPECT_FALSE(forceFileFolder("bare.txt"));
    EXPECT_FALSE(forceFileFolder(m_dir + "plain/sub/f.txt"));
    EXPECT_EQ(names(m_dir), (Strings{"a", "plain"}));
}

// A write prepared ahead touches nothing visible until its commit; dropped, it leaves no trace.
// A file with a second name is never prepared: it is written through its inode at its turn.
TEST_F(FileWriting, PreparedWriteShowsOnlyOnCommitAndLeavesNothingWhenDropped) {
    writeRaw(m_dir + "f.txt", "old");
    ::chmod((m_dir + "f.txt").c_str(), 0640);
    {
        PreparedWrite dropped;
        ASSERT_TRUE(dropped.prepare(WriteRoots({m_dir}), kestest::readTargetOf(m_dir + "f.txt"),
                                    "dropped"));
        EXPECT_EQ(readFile(m_dir + "f.txt"), "old");
    }
    EXPECT_EQ(names(m_dir), Strings{"f.txt"});

    PreparedWrite prepared;
    ASSERT_TRUE(
        prepared.prepare(WriteRoots({m_dir}), kestest::readTargetOf(m_dir + "f.txt"), "new"));
    PreparedWrite moved = std::move(prepared);
    EXPECT_EQ(readFile(m_dir + "f.txt"), "old");
    std::string error;
    ASSERT_EQ(moved.commit(error), WriteOutcome::Written) << error;
    EXPECT_EQ(readFile(m_dir + "f.txt"), "new");
    EXPECT_EQ(modeOf(m_dir + "f.txt") & 07777, 0640u);
    EXPECT_EQ(names(m_dir), Strings{"f.txt"});
    EXPECT_EQ(moved.commit(error), WriteOutcome::Failed) << "a prepared write is committed once";

    ::link((m_dir + "f.txt").c_str(), (m_dir + "g.txt").c_str());
    PreparedWrite linked;
    EXPECT_FALSE(
        linked.prepare(WriteRoots({m_dir}), kestest::readTargetOf(m_dir + "f.txt"), "through"));
    EXPECT_EQ(names(m_dir), (Strings{"f.txt", "g.txt"}));
}

// Text set aside comes back whole and in order, in an unnamed file of $TMPDIR, or from memory
// where no such file can be made; the folder is left as it was.
TEST(TextSpill, GivesBackWhatWasSetAsideWhereverItWasKept) {
    kestest::TempFolder folder;
    const char* saved = std::getenv("TMPDIR");
    const std::string kept = saved != nullptr ? saved : "";
    const std::string piece(300000, 'x');
    for (const std::string& place : {folder.path(), folder.path() + "missing"}) {
        setenv("TMPDIR", place.c_str(), 1);
        TextSpill spill;
        for (const char* text : {"first\n", "", "second\n"})
            spill.append(text);
        spill.append(piece);
        std::string back;
        EXPECT_TRUE(spill.writeTo([&](std::string_view block) { back += block; }));
        EXPECT_EQ(back, "first\nsecond\n" + piece) << place;
        EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << place;
    }
    saved != nullptr ? setenv("TMPDIR", kept.c_str(), 1) : unsetenv("TMPDIR");
}
