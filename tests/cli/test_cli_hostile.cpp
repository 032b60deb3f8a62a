// kestrava-cli on hostile trees and patterns: unreadable files are reported on standard error
// without changing the exit status, and a runaway pattern ends with the limit's message.
#include "cli_test_util.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

using namespace kes::test;

class CliHostileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrava-cli-XXXXXX";
        fScratch = mkdtemp(pattern);
        fRoot = (fScratch / "tree").string();
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(fScratch, ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(fScratch, ec);
    }

    fs::path fScratch;
    std::string fRoot;
};

TEST_F(CliHostileTest, UnreadableFilesGoToStandardErrorAndTheExitStatusKeepsItsMeaning) {
    if (geteuid() == 0)
        GTEST_SKIP() << "as root every file can be read";
    WriteFile(fRoot + "/locked.txt", "word\n");
    WriteFile(fRoot + "/closed/inner.txt", "word\n");
    chmod((fRoot + "/locked.txt").c_str(), 0);
    chmod((fRoot + "/closed").c_str(), 0);
    const std::string skipped = "Skipped 2 files that could not be read:\n  " + fRoot +
                                "/closed/: Cannot list folder: Permission denied\n  " + fRoot +
                                "/locked.txt: Read Error: Permission denied\n";
    const struct {
        const char* Name;
        const char* Content; // of the one readable file
        int Status;
    } cases[] = {{"with a match", "word\n", 0}, {"without a match", "none\n", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteFile(fRoot + "/open.txt", c.Content);
        const TRun run =
            RunCli({"find", "-d", fRoot + "<+>", "-f", "*.txt", "-e", "word"}, fScratch);
        EXPECT_EQ(run.Status, c.Status);
        EXPECT_NE(run.Err.find(skipped), std::string::npos) << run.Err;
        EXPECT_EQ(run.Out.find("locked"), std::string::npos);
    }
}

// Holds for root too: a FIFO is never opened, whoever runs the search.
TEST_F(CliHostileTest, SpecialFilesAreReportedAsSkippedWithoutChangingTheExitStatus) {
    WriteFile(fRoot + "/a.txt", "word\n");
    ASSERT_EQ(mkfifo((fRoot + "/pipe.txt").c_str(), 0600), 0);
    const TRun run = RunCli({"find", "-d", fRoot, "-f", "*.txt", "-e", "word"}, fScratch);
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Err.find("Skipped 1 file that could not be read:\n  " + fRoot +
                           "/pipe.txt: Not a regular file\n"),
              std::string::npos)
        << run.Err;
    const TRun none = RunCli({"find", "-d", fRoot, "-f", "*.txt", "-e", "absent"}, fScratch);
    EXPECT_EQ(none.Status, 1);
    EXPECT_NE(none.Err.find("pipe.txt: Not a regular file"), std::string::npos) << none.Err;
}

TEST_F(CliHostileTest, RunawayPatternEndsWithTheLimitsMessageNotNoMatch) {
    WriteFile(fRoot + "/a.txt", std::string(40, 'a') + "b");
    const TRun run = RunCli({"find", "-d", fRoot, "-f", "*.txt", "-e", "(a+)+$"}, fScratch);
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("The recursion and backtracking limit (MatchLimit) was reached"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(run.Out, "");
}

// A result that cannot be written is an error, named, whatever the output is.
TEST_F(CliHostileTest, AFailedWriteToStandardOutputIsAnError) {
    WriteFile(fRoot + "/a.txt", "word\n");
    const struct {
        const char* OutTo;
        const char* Reason;
    } cases[] = {{"/dev/full", "No space left on device"}, {"-", "Bad file descriptor"}};
    for (const auto& c : cases) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"find", "-d", fRoot, "-f", "*.txt", "-e", "word"},
              std::vector<std::string>{"--version"}}) {
            const TRun run = RunCli(args, fScratch, c.OutTo);
            EXPECT_EQ(run.Status, 2) << c.OutTo << ' ' << args[0];
            EXPECT_NE(run.Err.find(std::string("kestrava-cli: write error: ") + c.Reason),
                      std::string::npos)
                << run.Err;
        }
    }
    EXPECT_EQ(ReadFile(fRoot + "/a.txt"), "word\n") << "no file took the closed output's place";
}

// A replace that left out a file it was asked to replace did not do its whole job: exit 2, with
// each file named; the rest is replaced all the same.
TEST_F(CliHostileTest, AReplaceThatLeftOutAFileNamesItAndExitsWithAnError) {
    WriteFile(fRoot + "/a.txt", "word\n");
    WriteFile(fRoot + "/sub/b.txt", "word\n");
    WriteFile(fScratch / "victim/b.txt", "secret\n");
    fs::create_directory_symlink(fScratch / "victim", fRoot + "/sub/kesReplace");
    ASSERT_EQ(mkfifo((fRoot + "/pipe.txt").c_str(), 0600), 0);
    WriteFile(fRoot + "/c.txt.kestrava-backup", "word\n"); // left by an interrupted rewrite
    const TRun run =
        RunCli({"replace", "-d", fRoot + "<+>", "-f", "*.txt", "-e", "word", "-r", "WORD", "--yes"},
               fScratch);
    EXPECT_EQ(run.Status, 2) << run.Err;
    EXPECT_NE(run.Err.find("Skipped 1 file that could not be read:\n  " + fRoot +
                           "/pipe.txt: Not a regular file\n"),
              std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("Did not replace 1 file:\n  " + fRoot + "/sub/b.txt: " + fRoot +
                           "/sub/kesReplace is not a folder but a link or a file; nothing is "
                           "written into it\n"),
              std::string::npos)
        << run.Err;
    EXPECT_NE(run.Err.find("An earlier replacement of " + fRoot +
                           "/c.txt was interrupted; its old "
                           "content is in " +
                           fRoot + "/c.txt.kestrava-backup\n"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(ReadFile(fRoot + "/kesReplace/a.txt"), "WORD\n");
    EXPECT_EQ(ReadFile(fScratch / "victim/b.txt"), "secret\n");
}

// A replace that an error stops says how far it got; --verbose names the files on each side.
TEST_F(CliHostileTest, AReplaceStoppedByAnErrorSaysHowFarItGot) {
    std::string folders;
    for (const char* name : {"d1", "d2", "d3"}) {
        WriteFile(fRoot + "/" + name + "/x" + name + ".txt", "word\n");
        folders += (folders.empty() ? "" : "|") + fRoot + "/" + name;
    }
    setenv("KESTRAVA_FAULT", "disk-full:xd2.txt", 1); // the test build's hook: a full disk
    const TRun run = RunCli({"replace", "-d", folders, "-f", "*.txt", "-e", "word", "-r", "W",
                             "--yes", "--in-situ", "--verbose", "--threads", "1"},
                            fScratch);
    unsetenv("KESTRAVA_FAULT");
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find(": No space left on device (" + fRoot +
                           "/d2/xd2.txt)\n"
                           "1 file was replaced before the error; 2 files were not touched\n"
                           "Replaced before the error:\n  " +
                           fRoot +
                           "/d1/xd1.txt\n"
                           "Not touched:\n  " +
                           fRoot + "/d2/xd2.txt\n  " + fRoot + "/d3/xd3.txt\n"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(ReadFile(fRoot + "/d1/xd1.txt"), "W\n");
    EXPECT_EQ(ReadFile(fRoot + "/d2/xd2.txt"), "word\n");
    EXPECT_EQ(ReadFile(fRoot + "/d3/xd3.txt"), "word\n");
}

} // namespace
