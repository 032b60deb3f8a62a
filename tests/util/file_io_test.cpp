// Whole-file writing (the starved and interrupted writes are in faults_test.cpp), writes
// prepared ahead, text set aside.
#include "util/text_spill.h"
#include "util/write_gate.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <sys/xattr.h>

using namespace kestest;
using namespace kestrava::util;
using namespace std::string_literals;
using Strings = std::vector<std::string>;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st = {};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

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

// Read-only targets are tried as another user, which root becomes. A link stays a link.
TEST_F(FileWriting, WritesTheExactBytesOrFailWithTheirMessageAndCreateNothing) {
    namespace fs = std::filesystem;
    const std::string bytes = "line\r\n\0\xff\x80 end"s;
    const std::string longName(250, 'n'); // its temporary name must still fit beside it
    for (const char* folder : {"sub", "ro", "data", "links"})
        fs::create_directory(m_dir + folder);
    for (const std::string& name :
         {"out.txt"s, longName, "plain"s, "ro/f.txt"s, "locked.txt"s, "data/real.txt"s})
        writeRaw(m_dir + name, name == "out.txt" ? "a much longer original content" : "old");
    fs::create_symlink("loop", m_dir + "loop");
    ::mkfifo((m_dir + "fifo").c_str(), 0600);    // opening it would block: it must never be opened
    ::chmod((m_dir + "ro/f.txt").c_str(), 0666); // only its folder is read-only
    ::chmod((m_dir + "locked.txt").c_str(), 0444);
    ::chmod((m_dir + "ro").c_str(), 0555);
    ::chmod((m_dir + "data/real.txt").c_str(), 0600);
    fs::create_symlink("../data/real.txt", m_dir + "links/hop"); // relative, another folder
    fs::create_symlink("hop", m_dir + "links/link");             // a chain of two
    fs::create_symlink("later.txt", m_dir + "data/dangling");
    const std::string notThere = "Cannot create a temporary file in " + m_dir;
    const struct {
        const char* name; // in the folder
        char how; // 'c': writeCompleteTextFile; 'a': writeFileAtomically, 'u': as another user
        std::string text;
        std::string outcome; // "ok" or the message
        std::string after;   // the file's content afterwards ("-": there is none)
    } cases[] = {
        {"out.txt", 'c', "abc", "ok", "abc\r\n"},
        {"empty.txt", 'c', "", "ok", "\r\n"},
        {longName.c_str(), 'a', bytes, "ok", bytes},
        {"none", 'a', "", "ok", ""},
        {"links/link", 'a', "new", "ok", "new"},
        {"data/dangling", 'a', "created", "ok", "created"},
        {"Missing/out.txt", 'c', "x", "Directory \"" + m_dir + "Missing/\" does not exist.", "-"},
        {"plain/out.txt", 'c', "x", "Directory \"" + m_dir + "plain/\" does not exist.", "-"},
        {"sub", 'c', "x", "Cannot write " + m_dir + "sub: Is a directory", "-"},
        {"loop", 'a', "x", "Cannot write " + m_dir + "loop: Too many levels of symbolic links",
         "-"},
        {"fifo", 'a', "x", "Cannot write " + m_dir + "fifo: Not a regular file", "-"},
        {"plain/f", 'a', "x", notThere + "plain/: Not a directory", "-"},
        {"ro/f.txt", 'u', "new", notThere + "ro/: Permission denied", "old"},
        {"locked.txt", 'u', "new", "Cannot write " + m_dir + "locked.txt: Permission denied",
         "old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = m_dir + c.name;
        std::string outcome;
        if (c.how == 'c') {
            outcome = errorOf([&] { writeCompleteTextFile(name, c.text); });
            outcome = outcome == "(no error)" ? "ok" : outcome;
        } else if (c.how == 'u' && ::geteuid() == 0) {
            outcome = kestest::runInChild([&] {
                ::chmod(m_dir.c_str(), 0777); // the user may reach the folder, not ro/
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    return std::string("setuid failed");
                return tryWrite(name, c.text);
            });
        } else {
            outcome = tryWrite(name, c.text);
        }
        EXPECT_EQ(outcome, c.outcome);
        std::error_code ec;
        EXPECT_EQ(fs::is_regular_file(name, ec) ? readFile(name) : "-", c.after);
    }
    for (const char* blank : {"", "out.txt"}) // no name, or no folder
        EXPECT_EQ(errorOf([&] { writeCompleteTextFile(blank, "text"); }),
                  *blank == '\0' ? "ldiWriteCompleteTextFile requires a non-blank filename."
                                 : "Directory \"\" does not exist.");
    EXPECT_EQ(tryWrite("", "x"), "Cannot write: No file name given");
    EXPECT_TRUE(forceFileFolder(m_dir + "a/b/out.txt"));
    EXPECT_TRUE(forceFileFolder(m_dir + "a/b/again.txt"));
    EXPECT_FALSE(forceFileFolder("bare.txt"));
    EXPECT_FALSE(forceFileFolder(m_dir + "plain/sub/f.txt"));
    ::chmod((m_dir + "ro").c_str(), 0755);
    EXPECT_EQ(names(m_dir + "ro"), Strings{"f.txt"});
    EXPECT_EQ(names(m_dir), (Strings{"a", "data", "empty.txt", "fifo", "links", "locked.txt",
                                     "loop", longName, "none", "out.txt", "plain", "ro", "sub"}));
    EXPECT_EQ(modeOf(m_dir + "data/real.txt") & 07777, 0600u);
    for (const char* link : {"links/link", "links/hop", "data/dangling"})
        EXPECT_TRUE(fs::is_symlink(m_dir + link)) << link;
    EXPECT_EQ(names(m_dir + "data"), (Strings{"dangling", "later.txt", "real.txt"}));
    EXPECT_EQ(names(m_dir + "links"), (Strings{"hop", "link"}));
}

TEST_F(FileWriting, NewFileFollowsUmaskAndExistingFileKeepsBitsOwnerAndAttributes) {
    const mode_t saved = ::umask(027);
    EXPECT_EQ(tryWrite(m_dir + "new", "x"), "ok");
    ::umask(saved);
    EXPECT_EQ(modeOf(m_dir + "new") & 07777, 0640u);
    for (const mode_t bits : {0600u, 0755u, 0704u}) {
        const std::string name = m_dir + "kept" + std::to_string(bits);
        writeRaw(name, "old");
        ::chmod(name.c_str(), bits);
        const bool handedOver = ::geteuid() == 0 && ::chown(name.c_str(), 65534, 65534) == 0;
        const bool tagged = ::setxattr(name.c_str(), "user.kestrava", "tag", 3, 0) == 0;
        EXPECT_EQ(tryWrite(name, "new"), "ok");
        EXPECT_EQ(readFile(name), "new");
        struct stat st = {};
        ::stat(name.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, bits);
        EXPECT_EQ(st.st_uid, handedOver ? 65534u : ::geteuid());
        EXPECT_EQ(st.st_gid, handedOver ? 65534u : ::getegid());
        char value[8] = {};
        EXPECT_EQ(::getxattr(name.c_str(), "user.kestrava", value, sizeof value), tagged ? 3 : -1);
        EXPECT_STREQ(value, tagged ? "tag" : "");
    }
}

// A file with a second name is never prepared: it is written through its inode at its turn.
TEST_F(FileWriting, PreparedWriteShowsOnlyOnCommitAndLeavesNothingWhenDropped) {
    writeRaw(m_dir + "f.txt", "old");
    ::chmod((m_dir + "f.txt").c_str(), 0640);
    {
        PreparedWrite dropped;
        ASSERT_TRUE(dropped.prepare(WriteRoots({m_dir}), kestest::readTargetOf(m_dir + "f.txt"),
                                    "dropped"));
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

// In an unnamed file of $TMPDIR, or in memory where none can be made.
TEST(TextSpill, GivesBackWhatWasSetAsideWhereverItWasKept) {
    kestest::TempFolder folder;
    const char* saved = std::getenv("TMPDIR");
    const std::string kept = saved != nullptr ? saved : "";
    const std::string piece(300000, 'x');
    for (const std::string& place : {folder.path(), folder.path() + "missing"}) {
        setenv("TMPDIR", place.c_str(), 1);
        TextSpill spill;
        for (const std::string& text : {"first\n"s, ""s, "second\n"s, piece})
            spill.append(text);
        std::string back;
        EXPECT_TRUE(spill.writeTo([&](std::string_view block) { back += block; }));
        EXPECT_EQ(back, "first\nsecond\n" + piece) << place;
        EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << place;
    }
    saved != nullptr ? setenv("TMPDIR", kept.c_str(), 1) : unsetenv("TMPDIR");
}
