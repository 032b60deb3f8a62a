#include "util/ldiFileIO.h"

#include "UtilTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using kestest::Names;
using kestest::ReadFile;
using kestest::RunInChild;
using kestest::WriteRaw;
using namespace kes;
using namespace std::string_literals;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

std::string TryWrite(const std::string& fileName, std::string_view text) {
    std::string message;
    const bool written = ldiTryWriteTextFile(fileName, text, message);
    return written ? "ok" + message : message;
}

std::string CompleteWriteError(const std::string& fileName, std::string_view text) {
    try {
        ldiWriteCompleteTextFile(fileName, text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

class FileWriting : public ::testing::Test {
  protected:
    kestest::TempFolder tmp;
    std::string Dir() const { return tmp.Path(); }
};

} // namespace

TEST(FileFolder, IsEverythingUpToTheLastSlash) {
    const std::pair<std::string, std::string> cases[] = {
        {"/x/y/f.txt", "/x/y/"}, {"f.txt", ""}, {"/f", "/"}, {"a/b/", "a/b/"}, {"", ""}};
    for (const auto& [name, folder] : cases)
        EXPECT_EQ(ldiFileFolder(name), folder) << name;
}

TEST_F(FileWriting, CompleteWriteReplacesWholeContentAndAddsCrLf) {
    WriteRaw(Dir() + "out.txt", "a much longer original content");
    ldiWriteCompleteTextFile(Dir() + "out.txt", "abc");
    EXPECT_EQ(ReadFile(Dir() + "out.txt"), "abc\r\n");
    ldiWriteCompleteTextFile(Dir() + "empty.txt", "");
    EXPECT_EQ(ReadFile(Dir() + "empty.txt"), "\r\n");
}

TEST_F(FileWriting, CompleteWriteRefusesBadNamesAndCreatesNothing) {
    WriteRaw(Dir() + "plain", "x");
    const std::pair<std::string, std::string> cases[] = {
        {"", "ldiWriteCompleteTextFile requires a non-blank filename."},
        {Dir() + "Missing/out.txt", "Directory \"" + Dir() + "Missing/\" does not exist."},
        {"out.txt", "Directory \"\" does not exist."},
        {Dir() + "plain/out.txt", "Directory \"" + Dir() + "plain/\" does not exist."},
    };
    for (const auto& [name, message] : cases)
        EXPECT_EQ(CompleteWriteError(name, "text"), message) << name;
    EXPECT_EQ(Names(Dir()), std::vector<std::string>{"plain"});
}

TEST_F(FileWriting, CompleteWriteRaisesThePlatformErrorNamingTheFile) {
    std::filesystem::create_directory(Dir() + "sub");
    EXPECT_EQ(CompleteWriteError(Dir() + "sub", "x"),
              "Cannot write " + Dir() + "sub: Is a directory");
}

TEST_F(FileWriting, TryWriteWritesBytesExactly) {
    const std::string bytes = "line\r\n\0\xff\x80 end"s;
    EXPECT_EQ(TryWrite(Dir() + "bin", bytes), "ok");
    EXPECT_EQ(ReadFile(Dir() + "bin"), bytes);
    EXPECT_EQ(TryWrite(Dir() + "empty", ""), "ok");
    EXPECT_TRUE(std::filesystem::exists(Dir() + "empty"));
    EXPECT_EQ(ReadFile(Dir() + "empty"), "");
}

TEST_F(FileWriting, NewFileFollowsUmaskAndExistingFileKeepsItsBits) {
    const mode_t saved = ::umask(027);
    EXPECT_EQ(TryWrite(Dir() + "new", "x"), "ok");
    ::umask(saved);
    EXPECT_EQ(ModeOf(Dir() + "new") & 07777, 0640u);
    for (const mode_t bits : {0600u, 0755u, 0640u, 0704u}) {
        const std::string name = Dir() + "kept" + std::to_string(bits);
        WriteRaw(name, "old");
        ::chmod(name.c_str(), bits);
        EXPECT_EQ(TryWrite(name, "new"), "ok");
        EXPECT_EQ(ModeOf(name) & 07777, bits);
        EXPECT_EQ(ReadFile(name), "new");
    }
}

TEST_F(FileWriting, ExistingFileKeepsItsOwnerWhereAllowed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another owner";
    const std::string name = Dir() + "theirs";
    WriteRaw(name, "old");
    ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
    EXPECT_EQ(TryWrite(name, "new"), "ok");
    struct stat st {};
    ::stat(name.c_str(), &st);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

TEST_F(FileWriting, SymlinkTargetIsReplacedAndLinkStaysLink) {
    namespace fs = std::filesystem;
    fs::create_directory(Dir() + "data");
    fs::create_directory(Dir() + "links");
    WriteRaw(Dir() + "data/real.txt", "old");
    ::chmod((Dir() + "data/real.txt").c_str(), 0600);
    fs::create_symlink("../data/real.txt", Dir() + "links/hop"); // relative, another folder
    fs::create_symlink("hop", Dir() + "links/link");             // a chain of two
    fs::create_symlink("later.txt", Dir() + "data/dangling");

    EXPECT_EQ(TryWrite(Dir() + "links/link", "new"), "ok");
    EXPECT_EQ(ReadFile(Dir() + "data/real.txt"), "new");
    EXPECT_EQ(ModeOf(Dir() + "data/real.txt") & 07777, 0600u);
    EXPECT_TRUE(fs::is_symlink(Dir() + "links/link"));
    EXPECT_TRUE(fs::is_symlink(Dir() + "links/hop"));

    EXPECT_EQ(TryWrite(Dir() + "data/dangling", "created"), "ok");
    EXPECT_TRUE(fs::is_symlink(Dir() + "data/dangling"));
    EXPECT_EQ(ReadFile(Dir() + "data/later.txt"), "created");
    EXPECT_EQ(Names(Dir() + "data"),
              (std::vector<std::string>{"dangling", "later.txt", "real.txt"}));
    EXPECT_EQ(Names(Dir() + "links"), (std::vector<std::string>{"hop", "link"}));
}

TEST_F(FileWriting, RefusedTargetsStayAsTheyWere) {
    std::filesystem::create_symlink("loop", Dir() + "loop");
    std::filesystem::create_directory(Dir() + "sub");
    ::mkfifo((Dir() + "fifo").c_str(), 0600); // opening it would block: it must never be opened
    WriteRaw(Dir() + "plain", "x");
    const std::pair<std::string, std::string> cases[] = {
        {"loop", "Too many levels of symbolic links"},
        {"sub", "Is a directory"},
        {"fifo", "Not a regular file"},
        {"plain/f", "Cannot create a temporary file in " + Dir() + "plain/: Not a directory"},
    };
    for (const auto& [name, reason] : cases)
        EXPECT_NE(TryWrite(Dir() + name, "x").find(reason), std::string::npos) << name;
    EXPECT_TRUE(S_ISFIFO(ModeOf(Dir() + "fifo")));
    EXPECT_EQ(Names(Dir()), (std::vector<std::string>{"fifo", "loop", "plain", "sub"}));
    EXPECT_EQ(TryWrite("", "x"), "Cannot write: No file name given");
}

TEST_F(FileWriting, LongNameStillGetsATemporaryFileBesideIt) {
    const std::string name(250, 'n');
    EXPECT_EQ(TryWrite(Dir() + name, "old"), "ok");
    EXPECT_EQ(TryWrite(Dir() + name, "new"), "ok");
    EXPECT_EQ(ReadFile(Dir() + name), "new");
    EXPECT_EQ(Names(Dir()), std::vector<std::string>{name});
}

// The cases below make the write fail part-way; each checks the original survives byte for byte
// and no temporary file is left behind.
TEST_F(FileWriting, FileSizeLimitFailsAndKeepsOriginal) {
    const std::string name = Dir() + "f.txt";
    WriteRaw(name, "original\n");
    const std::string message = RunInChild([&] {
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_IGN);
        std::string error;
        return ldiTryWriteTextFile(name, std::string(1 << 20, 'x'), error) ? "written" : error;
    });
    EXPECT_EQ(message, "Cannot write " + name + ": File too large");
    EXPECT_EQ(ReadFile(name), "original\n");
    EXPECT_EQ(Names(Dir()), std::vector<std::string>{"f.txt"});
}

TEST_F(FileWriting, NoDescriptorForTemporaryFileFailsAndKeepsOriginal) {
    const std::string name = Dir() + "f.txt";
    WriteRaw(name, "original\n");
    const std::string message = RunInChild([&] {
        const int lowestFree = ::dup(0);
        ::close(lowestFree);
        const rlimit limit{static_cast<rlim_t>(lowestFree), static_cast<rlim_t>(lowestFree)};
        ::setrlimit(RLIMIT_NOFILE, &limit);
        std::string error;
        return ldiTryWriteTextFile(name, "replacement", error) ? "written" : error;
    });
    EXPECT_EQ(message, "Cannot create a temporary file in " + Dir() + ": Too many open files");
    EXPECT_EQ(ReadFile(name), "original\n");
    EXPECT_EQ(Names(Dir()), std::vector<std::string>{"f.txt"});
}

TEST_F(FileWriting, ReadOnlyFolderOrFileFailsAndKeepsOriginal) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root ignores permission bits";
    std::filesystem::create_directory(Dir() + "ro");
    WriteRaw(Dir() + "ro/f.txt", "original\n");
    WriteRaw(Dir() + "locked.txt", "locked\n");
    ::chmod((Dir() + "locked.txt").c_str(), 0444);
    ::chmod((Dir() + "ro").c_str(), 0555);
    EXPECT_EQ(TryWrite(Dir() + "ro/f.txt", "new"),
              "Cannot create a temporary file in " + Dir() + "ro/: Permission denied");
    EXPECT_EQ(TryWrite(Dir() + "locked.txt", "new"),
              "Cannot write " + Dir() + "locked.txt: Permission denied");
    ::chmod((Dir() + "ro").c_str(), 0755);
    EXPECT_EQ(ReadFile(Dir() + "ro/f.txt"), "original\n");
    EXPECT_EQ(ReadFile(Dir() + "locked.txt"), "locked\n");
    EXPECT_EQ(Names(Dir() + "ro"), std::vector<std::string>{"f.txt"});
}

TEST_F(FileWriting, ForceFileFolderCreatesMissingParents) {
    WriteRaw(Dir() + "plain", "x");
    EXPECT_TRUE(ldiForceFileFolder(Dir() + "a/b/c/out.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(Dir() + "a/b/c"));
    EXPECT_TRUE(ldiForceFileFolder(Dir() + "a/b/c/again.txt"));
    EXPECT_TRUE(ldiForceFileFolder("/top.txt"));
    EXPECT_FALSE(ldiForceFileFolder("bare.txt"));
    EXPECT_FALSE(ldiForceFileFolder(Dir() + "plain/sub/f.txt"));
    EXPECT_EQ(Names(Dir()), (std::vector<std::string>{"a", "plain"}));
}
