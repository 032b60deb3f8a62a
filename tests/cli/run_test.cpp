// kestrava-cli end to end: the built program run on trees the tests create, its standard output
// compared byte for byte.
#include "cli_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace kestrava::cli::test;

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrava-cli-XXXXXX";
        m_scratch = mkdtemp(pattern);
        m_root = (m_scratch / "tree").string();
        writeFile(m_root + "/a.txt", "gamma Beta\r\nalpha beta\n");
        writeFile(m_root + "/notes.txt", "nothing here\n");
        writeFile(m_root + "/sub/b.txt", "BETA first\tsecond\n");
        writeFile(m_root + "/sub/c.log", "beta in a log\n");
        setenv("LC_ALL", "en_US.UTF-8", 1);
    }
    void TearDown() override { fs::remove_all(m_scratch); }

    CliRun find(std::vector<std::string> extra, const std::string& find = "gamma|beta|alpha") {
        std::vector<std::string> args{"find", "-d", m_root + "<+>", "-f", "*.txt", "-e", find};
        args.insert(args.end(), extra.begin(), extra.end());
        return runCli(args, m_scratch);
    }
    std::string header(const std::string& find = "gamma|beta|alpha") const {
        return "Folders:  " + m_root + "<+>\nFiles:    *.txt\nFind:     " + find + "\n\n";
    }

    fs::path m_scratch;
    std::string m_root;
};

TEST_F(CliTest, EachViewPrintsItsRows) {
    const std::string a = "Found 4 matches in " + m_root + "/a.txt\n";
    const std::string b = "Found 1 match in " + m_root + "/sub/b.txt\n";
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
        const CliRun run = find({"--view", c.view});
        EXPECT_EQ(run.out, header() + c.body + "\n") << c.view;
        EXPECT_EQ(run.err, c.summary) << c.view;
        EXPECT_EQ(run.status, 0);
    }
}

TEST_F(CliTest, FilenamesOnlyInEachView) {
    const std::string files =
        "Found 4 matches in " + m_root + "/a.txt\n\nFound 1 match in " + m_root + "/sub/b.txt\n\n";
    EXPECT_EQ(find({"--filenames-only"}).out, header() + files + "\n");
    EXPECT_EQ(find({"--filenames-only", "--view", "matches"}).out, header() + files + "\n");
    EXPECT_EQ(find({"--filenames-only", "--view", "unique"}).out, header() + "\n");
    EXPECT_EQ(find({"--filenames-only", "--view", "unique-sorted", "--no-header"}).out, "\n");
}

TEST_F(CliTest, NoMatchAndCaseSensitivity) {
    const CliRun none = find({}, "zebra");
    EXPECT_EQ(none.out, "No matches found\n\n\n");
    EXPECT_EQ(none.err, "Searched 3 files:   Found 0 matches in 0 files\n");
    EXPECT_EQ(none.status, 1);
    const CliRun exact = find({"--case-sensitive", "--no-header", "--view", "matches"}, "BETA");
    EXPECT_EQ(exact.out, "Found 1 match in " + m_root + "/sub/b.txt\nBETA\n\n\n");
}

TEST_F(CliTest, CutLinesAndMatchesAreMarked) {
    writeFile(m_root + "/cut.txt", "the end\nnext");
    const std::string file = "Found 1 match in " + m_root + "/cut.txt\n";
    EXPECT_EQ(find({"--no-header"}, "end\\n").out, file + "the end->\n\n\n");
    EXPECT_EQ(find({"--no-header", "--view", "matches"}, "end\\n").out, file + "end>\n\n\n");
}

TEST_F(CliTest, RichTextDocument) {
    writeFile(m_root + "/brace.txt", "x{y}z\n");
    const CliRun run = find({"--rtf", "--no-header", "--view", "unique"}, "\\{y}");
    EXPECT_NE(run.out.find("\\viewkind4\\uc1\\pard\\f0\\fs20 \\{y\\}\\par\r\n\\par\r\n\\cf0\\par}"),
              std::string::npos)
        << run.out;
}

TEST_F(CliTest, ReplaceIntoCopiesAndInPlace) {
    const std::vector<std::string> base{"replace", "-d",    m_root + "<+>", "-f",
                                        "*.txt",   "-e",    "(b)eta",       "-r",
                                        "[$1]",    "--yes", "--no-header"};
    const CliRun copies = runCli(base, m_scratch);
    EXPECT_EQ(copies.status, 0) << copies.err;
    EXPECT_EQ(readFile(m_root + "/kesReplace/a.txt"), "gamma [B]\r\nalpha [b]\n");
    EXPECT_EQ(readFile(m_root + "/sub/kesReplace/b.txt"), "[B] first\tsecond\n");
    EXPECT_EQ(readFile(m_root + "/a.txt"), "gamma Beta\r\nalpha beta\n") << "original untouched";
    EXPECT_FALSE(fs::exists(m_root + "/kesReplace/notes.txt"))
        << "files without matches are not written";

    std::vector<std::string> inSitu = base;
    inSitu.push_back("--in-situ");
    inSitu[2] = m_root; // without subfolders, so the copies made above are not searched
    ASSERT_EQ(runCli(inSitu, m_scratch).status, 0);
    EXPECT_EQ(readFile(m_root + "/a.txt"), "gamma [B]\r\nalpha [b]\n");

    std::vector<std::string> remove = base;
    remove[8] = "^$"; // the empty replacement
    remove[2] = m_root + "/sub";
    remove.push_back("--in-situ");
    ASSERT_EQ(runCli(remove, m_scratch).status, 0);
    EXPECT_EQ(readFile(m_root + "/sub/b.txt"), " first\tsecond\n");
}

TEST_F(CliTest, ReplaceNeedsAConfirmationWithoutATerminal) {
    const CliRun run =
        runCli({"replace", "-d", m_root, "-f", "*.txt", "-e", "beta", "-r", "x"}, m_scratch);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "Replacing needs a confirmation: run on a terminal or add --yes\n");
    EXPECT_FALSE(fs::exists(m_root + "/kesReplace"));
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
        {{"replace", "-d", m_root, "-f", "*.txt", "-e", "(a)", "-r", "$2", "--yes"},
         "Error during Replace: \"Error in Replacement string \"$2\" at offset (2): Invalid "
         "Capture "
         "Group \"$2\"\" reported by Method \"Match\" on Class \"TldiRegExMulti\" when calling "
         "\"MatchAndReplace\".\nFile: " +
             m_root + "/a.txt\n0 files were replaced before the error; 2 files were not touched\n"},
        {{"find", "--view", "grid"},
         "kestrava-cli: Unknown view \"grid\": use lines, matches, unique or unique-sorted\n"
         "Try 'kestrava-cli --help'.\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = runCli(c.args, m_scratch);
        EXPECT_EQ(run.err, c.err) << c.args.back();
        EXPECT_EQ(run.status, 2) << c.args.back();
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(CliTest, HelpAndVersion) {
    const CliRun help = runCli({"--help"}, m_scratch);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("kestrava-cli find"), std::string::npos);
    EXPECT_EQ(runCli({"--version"}, m_scratch).out, "kestrava-cli 1.1\n");
}

} // namespace
