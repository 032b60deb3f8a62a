// kestrava-cli script end to end: script files run over trees the tests create.
#include "cli_test_util.h"

#include <gtest/gtest.h>

namespace {

using namespace kes::test;

class CliScriptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrava-script-XXXXXX";
        fScratch = mkdtemp(pattern);
        fRoot = (fScratch / "tree").string();
        WriteFile(fRoot + "/a/one.txt", "alpha beta\ngamma\n");
        WriteFile(fRoot + "/b/two.txt", "beta delta\n");
        WriteFile(fRoot + "/b/two.log", "beta in a log\n");
    }
    void TearDown() override { fs::remove_all(fScratch); }

    // Writes the script (CR LF lines, each block after an empty line) and runs it with the
    // extra arguments.
    TRun Script(const std::vector<std::string>& lines, std::vector<std::string> extra = {}) {
        std::string text;
        for (const std::string& line : lines) {
            const bool opensBlock = line.starts_with("Folder(s):") || line.starts_with("Find:");
            text += (opensBlock && !text.empty() ? "\r\n" : "") + line + "\r\n";
        }
        const std::string file = (fScratch / "job.ksc").string();
        WriteFile(file, text);
        std::vector<std::string> args{"script", file, "--no-header", "--view", "matches"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args, fScratch);
    }
    std::string Found(const std::string& file, int count) const {
        return "Found " + std::to_string(count) + (count == 1 ? " match in " : " matches in ") +
               fRoot + "/" + file + "\n";
    }

    fs::path fScratch;
    std::string fRoot;
};

TEST_F(CliScriptTest, GroupsAccumulateTheirResults) {
    const TRun run =
        Script({"Folder(s):  " + fRoot + "/a", "File(s):    *.txt", "Find:       alpha",
                "Find:       gamma", "Folder(s):  " + fRoot + "/b", "File(s):    *.txt",
                "Find:       delta"});
    EXPECT_EQ(run.Out,
              Found("a/one.txt", 2) + "alpha\ngamma\n\n" + Found("b/two.txt", 1) + "delta\n\n\n");
    EXPECT_EQ(run.Err, "Searched 2 files:   Found 3 matches in 2 files\n");
    EXPECT_EQ(run.Status, 0);
}

TEST_F(CliScriptTest, StopEndsTheScriptAfterWhatPrecedesIt) {
    const TRun run =
        Script({"Folder(s):  " + fRoot + "/a", "File(s):    *.txt", "Find:       gamma",
                "Find:       {Stop}", "Find:       alpha", "Folder(s):  " + fRoot + "/b",
                "File(s):    *.txt", "Find:       delta"});
    EXPECT_EQ(run.Out, Found("a/one.txt", 1) + "gamma\n\n\n");
}

TEST_F(CliScriptTest, RootFolderIsReplacedOnceAndMustBeGiven) {
    const std::vector<std::string> lines{"Folder(s):  {RootFolder}/b|{RootFolder}/a",
                                         "File(s):    *.txt", "Find:       beta"};
    const TRun run = Script(lines, {"--root-folder", fRoot});
    EXPECT_EQ(run.Out, Found("b/two.txt", 1) + "beta\n\n\n") << "the second token stays literal";

    const TRun blank = Script(lines, {"--root-folder", "  "});
    EXPECT_EQ(blank.Status, 2);
    EXPECT_EQ(blank.Err, "{RootFolder} is used in this script but specified \"Root Folder\" is "
                         "empty.\nEnter a value for \"Root Folder\" then run the sctipt again.\n");
}

TEST_F(CliScriptTest, AFailingItemKeepsWhatEarlierGroupsFound) {
    const TRun run = Script({"Folder(s):  " + fRoot + "/a", "File(s):    *.txt",
                             "Find:       alpha", "Folder(s):  " + fRoot + "/b",
                             "File(s):    *.txt", "Find:       delta", "Find:       (unclosed"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Out, Found("a/one.txt", 1) + "alpha\n\n\n");
    EXPECT_NE(run.Err.find("Error running script: "), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("missing )"), std::string::npos) << run.Err;
}

TEST_F(CliScriptTest, ReplacingScriptsWriteAndNeedAConfirmation) {
    const std::vector<std::string> lines{"Folder(s):  " + fRoot + "/b", "File(s):    *.txt|*.log",
                                         "Find:       beta ", "Replace:    ^$"};
    const TRun refused = Script(lines);
    EXPECT_EQ(refused.Status, 2);
    EXPECT_EQ(refused.Err, "Replacing needs a confirmation: run on a terminal or add --yes\n");
    EXPECT_EQ(ReadFile(fRoot + "/b/two.txt"), "beta delta\n");

    ASSERT_EQ(Script(lines, {"--yes", "--in-situ"}).Status, 0);
    EXPECT_EQ(ReadFile(fRoot + "/b/two.txt"), "delta\n") << "^$ deletes the match";
    EXPECT_EQ(ReadFile(fRoot + "/b/two.log"), "in a log\n");
}

TEST_F(CliScriptTest, FolderItemsWithoutFindsSearchNothing) {
    const TRun run = Script({"Folder(s):  " + fRoot + "/a", "File(s):    *.txt",
                             "Folder(s):  " + fRoot + "/b", "File(s):    *.txt"});
    EXPECT_EQ(run.Out, "No matches found\n\n\n");
    EXPECT_EQ(run.Status, 1);
}

TEST_F(CliScriptTest, HeaderNamesTheScriptAsGiven) {
    WriteFile((fScratch / "h.ksc").string(),
              "Folder(s):  " + fRoot + "/a\r\nFile(s):    *.txt\r\n\r\nFind:       gamma\r\n");
    const TRun run =
        RunCli({"script", (fScratch / "h.ksc").string(), "--filenames-only"}, fScratch);
    EXPECT_EQ(run.Out,
              "Script: " + (fScratch / "h.ksc").string() + "\n\n" + Found("a/one.txt", 1) + "\n\n");
    const TRun missing = RunCli({"script", "/nowhere/x.ksc"}, fScratch);
    EXPECT_EQ(
        missing.Err,
        "Unable to load script file: /nowhere/x.ksc\nOpen Error: No such file or directory\n");
    EXPECT_EQ(missing.Status, 2);
}

} // namespace
