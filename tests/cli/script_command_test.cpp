// kestrava-cli script end to end: script files run over trees the tests create.
#include "cli_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace kestrava::cli::test;

class CliScriptTest : public CliScratchTest {
  protected:
    void SetUp() override {
        CliScratchTest::SetUp();
        writeFile(m_root + "/a/one.txt", "alpha beta\ngamma\n");
        writeFile(m_root + "/b/two.txt", "beta delta\n");
        writeFile(m_root + "/b/two.log", "beta in a log\n");
    }

    // Writes the script (CR LF lines, each block after an empty line) and runs it with the
    // extra arguments.
    CliRun script(const std::vector<std::string>& lines, std::vector<std::string> extra = {}) {
        std::string text;
        for (const std::string& line : lines) {
            const bool opensBlock = line.starts_with("Folder(s):") || line.starts_with("Find:");
            text += (opensBlock && !text.empty() ? "\r\n" : "") + line + "\r\n";
        }
        const std::string file = (m_scratch / "job.ksc").string();
        writeFile(file, text);
        std::vector<std::string> args{"script", file, "--no-header", "--view", "matches"};
        args.insert(args.end(), extra.begin(), extra.end());
        return cli(args);
    }
    std::string found(const std::string& file, int count) const {
        return "Found " + std::to_string(count) + (count == 1 ? " match in " : " matches in ") +
               m_root + "/" + file + "\n";
    }
};

TEST_F(CliScriptTest, GroupsAccumulateTheirResults) {
    const CliRun run =
        script({"Folder(s):  " + m_root + "/a", "File(s):    *.txt", "Find:       alpha",
                "Find:       gamma", "Folder(s):  " + m_root + "/b", "File(s):    *.txt",
                "Find:       delta"});
    EXPECT_EQ(run.out,
              found("a/one.txt", 2) + "alpha\ngamma\n\n" + found("b/two.txt", 1) + "delta\n\n\n");
    EXPECT_EQ(run.err, "Searched 2 files:   Found 3 matches in 2 files\n");
    EXPECT_EQ(run.status, 0);
}

TEST_F(CliScriptTest, RootFolderIsReplacedOnceAndMustBeGiven) {
    const std::vector<std::string> lines{"Folder(s):  {RootFolder}/b|{RootFolder}/a",
                                         "File(s):    *.txt", "Find:       beta"};
    const CliRun run = script(lines, {"--root-folder", m_root});
    EXPECT_EQ(run.out, found("b/two.txt", 1) + "beta\n\n\n") << "the second token stays literal";

    const CliRun blank = script(lines, {"--root-folder", "  "});
    EXPECT_EQ(blank.status, 2);
    EXPECT_EQ(blank.err, "{RootFolder} is used in this script but specified \"Root Folder\" is "
                         "empty.\nEnter a value for \"Root Folder\" then run the sctipt again.\n");
}

TEST_F(CliScriptTest, AFailingItemKeepsWhatEarlierGroupsFound) {
    const CliRun run = script({"Folder(s):  " + m_root + "/a", "File(s):    *.txt",
                               "Find:       alpha", "Folder(s):  " + m_root + "/b",
                               "File(s):    *.txt", "Find:       delta", "Find:       (unclosed"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, found("a/one.txt", 1) + "alpha\n\n\n");
    EXPECT_NE(run.err.find("Error running script: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("missing closing parenthesis"), std::string::npos) << run.err;
}

TEST_F(CliScriptTest, ReplacingScriptsWriteAndNeedAConfirmation) {
    const std::vector<std::string> lines{"Folder(s):  " + m_root + "/b", "File(s):    *.txt|*.log",
                                         "Find:       beta ", "Replace:    ^$"};
    const CliRun refused = script(lines);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, "Replacing needs a confirmation: run on a terminal or add --yes\n");
    EXPECT_EQ(readFile(m_root + "/b/two.txt"), "beta delta\n");

    ASSERT_EQ(script(lines, {"--yes", "--in-situ"}).status, 0);
    EXPECT_EQ(readFile(m_root + "/b/two.txt"), "delta\n") << "^$ deletes the match";
    EXPECT_EQ(readFile(m_root + "/b/two.log"), "in a log\n");
}

TEST_F(CliScriptTest, HeaderNamesTheScriptAsGiven) {
    writeFile((m_scratch / "h.ksc").string(),
              "Folder(s):  " + m_root + "/a\r\nFile(s):    *.txt\r\n\r\nFind:       gamma\r\n");
    const CliRun run = cli({"script", (m_scratch / "h.ksc").string(), "--filenames-only"});
    EXPECT_EQ(run.out, "Script: " + (m_scratch / "h.ksc").string() + "\n\n" +
                           found("a/one.txt", 1) + "\n\n");
    const CliRun missing = cli({"script", "/nowhere/x.ksc"});
    EXPECT_EQ(
        missing.err,
        "Unable to load script file: /nowhere/x.ksc\nOpen Error: No such file or directory\n");
    EXPECT_EQ(missing.status, 2);
}

} // namespace
