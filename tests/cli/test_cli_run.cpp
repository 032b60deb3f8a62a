// kestrava-cli end to end: the built program run on trees the tests create, its standard output
// compared byte for byte.
#include "cli_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace kes::test;

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrava-cli-XXXXXX";
        fScratch = mkdtemp(pattern);
        fRoot = (fScratch / "tree").string();
        WriteFile(fRoot + "/a.txt", "gamma Beta\r\nalpha beta\n");
        WriteFile(fRoot + "/notes.txt", "nothing here\n");
        WriteFile(fRoot + "/sub/b.txt", "BETA first\tsecond\n");
        WriteFile(fRoot + "/sub/c.log", "beta in a log\n");
        setenv("LC_ALL", "en_US.UTF-8", 1);
    }
    void TearDown() override { fs::remove_all(fScratch); }

    TRun Find(std::vector<std::string> extra, const std::string& find = "gamma|beta|alpha") {
        std::vector<std::string> args{"find", "-d", fRoot + "<+>", "-f", "*.txt", "-e", find};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args, fScratch);
    }
    std::string Header(const std::string& find = "gamma|beta|alpha") const {
        return "Folders:  " + fRoot + "<+>\nFiles:    *.txt\nFind:     " + find + "\n\n";
    }

    fs::path fScratch;
    std::string fRoot;
};

TEST_F(CliTest, EachViewPrintsItsRows) {
    const std::string a = "Found 4 matches in " + fRoot + "/a.txt\n";
    const std::string b = "Found 1 match in " + fRoot + "/sub/b.txt\n";
    const struct {
        const char* view;
        std::string body;
        const char* summary;
    } cases[] = {
        {"lines", a + "gamma Beta\nalpha beta\n\n" + b + "BETA first\n\n",
         "Searched 3 files:   Found 5 matches in 2 files\n"},
        {"matches", a + "gamma\nBeta\nalpha\nbeta\n\n" + b + "BETA\n\n",
         "Searched 3 files:   Found 5 matches in 2 files\n"},
        {"unique", "gamma\nBeta\nalpha\n",
         "Searched 3 files:   Found 5 matches in 2 files (3 Unique Matches)\n"},
        {"unique-sorted", "alpha\nBeta\ngamma\n",
         "Searched 3 files:   Found 5 matches in 2 files (3 Unique Matches)\n"},
    };
    for (const auto& c : cases) {
        const TRun run = Find({"--view", c.view});
        EXPECT_EQ(run.Out, Header() + c.body + "\n") << c.view;
        EXPECT_EQ(run.Err, c.summary) << c.view;
        EXPECT_EQ(run.Status, 0);
    }
}

TEST_F(CliTest, FilenamesOnlyInEachView) {
    const std::string files =
        "Found 4 matches in " + fRoot + "/a.txt\n\nFound 1 match in " + fRoot + "/sub/b.txt\n\n";
    EXPECT_EQ(Find({"--filenames-only"}).Out, Header() + files + "\n");
    EXPECT_EQ(Find({"--filenames-only", "--view", "matches"}).Out, Header() + files + "\n");
    EXPECT_EQ(Find({"--filenames-only", "--view", "unique"}).Out, Header() + "\n");
    EXPECT_EQ(Find({"--filenames-only", "--view", "unique-sorted", "--no-header"}).Out, "\n");
}

TEST_F(CliTest, NoMatchAndCaseSensitivity) {
    const TRun none = Find({}, "zebra");
    EXPECT_EQ(none.Out, "No matches found\n\n\n");
    EXPECT_EQ(none.Err, "Searched 3 files:   Found 0 matches in 0 files\n");
    EXPECT_EQ(none.Status, 1);
    const TRun exact = Find({"--case-sensitive", "--no-header", "--view", "matches"}, "BETA");
    EXPECT_EQ(exact.Out, "Found 1 match in " + fRoot + "/sub/b.txt\nBETA\n\n\n");
}

TEST_F(CliTest, CutLinesAndMatchesAreMarked) {
    WriteFile(fRoot + "/cut.txt", "the end\nnext");
    const std::string file = "Found 1 match in " + fRoot + "/cut.txt\n";
    EXPECT_EQ(Find({"--no-header"}, "end\\n").Out, file + "the end->\n\n\n");
    EXPECT_EQ(Find({"--no-header", "--view", "matches"}, "end\\n").Out, file + "end>\n\n\n");
}

TEST_F(CliTest, RichTextDocument) {
    WriteFile(fRoot + "/brace.txt", "x{y}z\n");
    const TRun run = Find({"--rtf", "--no-header", "--view", "unique"}, "\\{y}");
    EXPECT_NE(run.Out.find("\\viewkind4\\uc1\\pard\\f0\\fs20 \\{y\\}\\par\r\n\\par\r\n\\cf0\\par}"),
              std::string::npos)
        << run.Out;
}

TEST_F(CliTest, ReplaceIntoCopiesAndInPlace) {
    const std::vector<std::string> base{"replace", "-d", fRoot + "<+>", "-f",    "*.txt",      "-e",
                                        "(b)eta",  "-r", "[$1]",        "--yes", "--no-header"};
    const TRun copies = RunCli(base, fScratch);
    EXPECT_EQ(copies.Status, 0) << copies.Err;
    EXPECT_EQ(ReadFile(fRoot + "/kesReplace/a.txt"), "gamma [B]\r\nalpha [b]\n");
    EXPECT_EQ(ReadFile(fRoot + "/sub/kesReplace/b.txt"), "[B] first\tsecond\n");
    EXPECT_EQ(ReadFile(fRoot + "/a.txt"), "gamma Beta\r\nalpha beta\n") << "original untouched";
    EXPECT_FALSE(fs::exists(fRoot + "/kesReplace/notes.txt"))
        << "files without matches are not written";

    std::vector<std::string> inSitu = base;
    inSitu.push_back("--in-situ");
    inSitu[2] = fRoot; // without subfolders, so the copies made above are not searched
    ASSERT_EQ(RunCli(inSitu, fScratch).Status, 0);
    EXPECT_EQ(ReadFile(fRoot + "/a.txt"), "gamma [B]\r\nalpha [b]\n");

    std::vector<std::string> remove = base;
    remove[8] = "^$"; // the empty replacement
    remove[2] = fRoot + "/sub";
    remove.push_back("--in-situ");
    ASSERT_EQ(RunCli(remove, fScratch).Status, 0);
    EXPECT_EQ(ReadFile(fRoot + "/sub/b.txt"), " first\tsecond\n");
}

TEST_F(CliTest, ReplaceNeedsAConfirmationWithoutATerminal) {
    const TRun run =
        RunCli({"replace", "-d", fRoot, "-f", "*.txt", "-e", "beta", "-r", "x"}, fScratch);
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err, "Replacing needs a confirmation: run on a terminal or add --yes\n");
    EXPECT_FALSE(fs::exists(fRoot + "/kesReplace"));
}

TEST_F(CliTest, ValidationMessagesAndExitCodes) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"find"}, "No Folder(s) specified\nNo File(s) specified\nNothing to \"Find\" specified\n"},
        {{"find", "-d", "/x", "-f", "*"}, "Nothing to \"Find\" specified\n"},
        {{"find", "-f", "*", "-e", "a("},
         "Invalid Find Expression: Error in Pattern: \"missing )\" at offset (2)\n"},
        {{"find", "-d", "/x", "-f", "*", "-e", "ab| "},
         "Invalid Find Expression: Expression cannot end with '|'\n"},
        {{"replace", "-d", "/x", "-f", "*", "-e", "a"}, "Nothing to \"ReplaceWith\" specified\n"},
        {{"replace", "-d", fRoot, "-f", "*.txt", "-e", "(a)", "-r", "$2", "--yes"},
         "Error during Replace: \"Error in Replacement string \"$2\" at offset (2): Invalid "
         "Capture "
         "Group \"$2\"\" reported by Method \"Match\" on Class \"TldiRegExMulti\" when calling "
         "\"MatchAndReplace\".\nFile: " +
             fRoot + "/a.txt\n0 files were replaced before the error; 2 files were not touched\n"},
        {{"find", "--view", "grid"},
         "kestrava-cli: Unknown view \"grid\": use lines, matches, unique or unique-sorted\n"
         "Try 'kestrava-cli --help'.\n"},
    };
    for (const auto& c : cases) {
        const TRun run = RunCli(c.args, fScratch);
        EXPECT_EQ(run.Err, c.err) << c.args.back();
        EXPECT_EQ(run.Status, 2) << c.args.back();
        EXPECT_EQ(run.Out, "");
    }
}

TEST_F(CliTest, HelpAndVersion) {
    const TRun help = RunCli({"--help"}, fScratch);
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("kestrava-cli find"), std::string::npos);
    EXPECT_EQ(RunCli({"--version"}, fScratch).Out, "kestrava-cli 1.1\n");
}

} // namespace
