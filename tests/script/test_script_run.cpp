// The script run over temporary trees: groups, tokens, failures, replacing, the question, the
// case setting and the reset of the find/replace items.
#include "ScriptTestSupport.h"

#include "script/kes_uScriptRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kes;
using kes::test::FindItem;
using kes::test::FolderItem;
using kes::test::MakeScript;
using kes::test::TempTree;
using ::testing::ElementsAre;

namespace {

const std::string kOne = "alpha beta\ngamma alpha\n";
const std::string kTwo = "beta delta  \nALPHA\n";

// A tree of two folders, each with one text file, and results left from an earlier run.
class ScriptRun : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void Reset() {
        fTree.Write("a/one.txt", kOne);
        fTree.Write("b/two.txt", kTwo);
        fResults = {};
        fResults.Files = {{"stale.txt", 0, 1, {}}};
        fResults.TotalMatches = 1;
    }
    TkesScriptRunResult Run(const TkesScriptEntries& entries, TkesScriptRunSettings settings = {},
                            const TkesScriptRunEvents& events = {},
                            const std::stop_token& stop = {}) {
        settings.ReplaceInPlace = true;
        return RunScript(MakeScript(entries), settings, fSpecs, fResults, events, stop);
    }
    // Names of the files with matches and their match counts, e.g. "one.txt:2".
    std::vector<std::string> Found() const {
        std::vector<std::string> found;
        for (const TkesFile& file : fResults.Files)
            found.push_back(file.FileName + ":" + std::to_string(file.NumMatches));
        return found;
    }

    TempTree fTree;
    TFindReplaceSpecs fSpecs;
    TkesMatchResults fResults;
};

TEST_F(ScriptRun, WalksTheGroupsAccumulatingResultsAndResettingTheItems) {
    const std::string a = fTree.Path("a");
    const std::string b = fTree.Path("b");
    struct {
        const char* Name;
        TkesScriptEntries Entries;
        std::vector<std::string> Found;
        std::string Failure = ""; // after "Error running script: "; "" when it completes
        std::string Two = kTwo;   // b/two.txt afterwards
        bool CaseSensitive = false;
    } const cases[] = {
        {"TwoGroupsAccumulateIgnoringCaseByDefault",
         {FolderItem(a, "*.txt"), FindItem("alpha"), FindItem("beta"), FolderItem(b, "*.txt"),
          FindItem("alpha")},
         {"one.txt:3", "two.txt:1"}},
        {"StopRunsWhatPrecedesItInItsGroupAndNothingAfter",
         {FolderItem(a, "*.txt"), FindItem("gamma"), FindItem("{Stop}"), FindItem("alpha"),
          FolderItem("", ""), FindItem("(unclosed")},
         {"one.txt:1"}},
        // "{RootFolder}/b" stays literal: no such folder.
        {"OnlyTheFirstRootFolderTokenIsReplaced",
         {FolderItem("{RootFolder}/a|{RootFolder}/b", "*.txt"), FindItem("alpha")},
         {"one.txt:2"}},
        {"TwoFolderItemsInARowSearchOnlyTheSecond",
         {FolderItem(a, "*.txt"), FolderItem(b, "*.txt"), FindItem("beta")},
         {"two.txt:1"}},
        {"OnlyFolderItemsSearchNothing", {FolderItem(a, "*.txt"), FolderItem(b, "*.txt")}, {}},
        {"CaretDollarDeletesAndAnEmptyReplaceOnlyFinds",
         {FolderItem(b, "*.txt"), FindItem("[ \\t]+(?=\\n)", "^$"), FolderItem(a, "*.txt"),
          FindItem("alpha", "")},
         {"two.txt:1", "one.txt:2"},
         "",
         "beta delta\nALPHA\n"},
        {"FindEndingWithABarIsRunUnchanged",
         {FolderItem(a, "*.txt"), FindItem("gamma|")},
         {"one.txt:1"}},
        {"CaseSensitiveKeepsDotMatchingLineEnds",
         {FolderItem(b, "*.txt"), FindItem("alpha"), FindItem("delta.*ALPHA")},
         {"two.txt:1"},
         "",
         kTwo,
         true},
        {"InvalidFindInThirdItem",
         {FolderItem(a, "*.txt"), FindItem("gamma"), FolderItem(b, "*.txt"), FindItem("beta"),
          FindItem("delta"), FindItem("(unclosed")},
         {"one.txt:1"},
         "Invalid Find Expression: Error in Pattern: \"missing )\" at offset (9) on line 2.3"},
        {"EmptyFoldersBeforeAnotherGroup",
         {FolderItem("", "*.txt"), FolderItem(a, "*.txt"), FindItem("alpha")},
         {},
         "No Folder(s) specified on line 1"},
        {"NeitherValue",
         {FolderItem("", ""), FindItem("alpha")},
         {},
         "No Folder(s) specified and No Files(s) specified on line 1"},
        {"EmptyFind",
         {FolderItem(a, "*.txt"), FindItem("alpha"), FolderItem(b, "*.txt"), FindItem("")},
         {"one.txt:2"},
         "Nothing to \"Find\" specified on line 2.1"},
        {"FindBeforeAnyFolders",
         {FindItem("alpha")},
         {},
         "No Folder(s) specified and No Files(s) specified before trying to process line 0.1"},
    };
    for (const auto& c : cases) {
        Reset();
        const auto outcome = Run(c.Entries, {fTree.Root(), c.CaseSensitive});
        EXPECT_EQ(outcome.Outcome, c.Failure.empty() ? roCompleted : roFailed) << c.Name;
        EXPECT_EQ(outcome.Message, c.Failure.empty() ? "" : "Error running script: " + c.Failure)
            << c.Name;
        EXPECT_EQ(Found(), c.Found) << c.Name;
        EXPECT_EQ(fResults.FilesWithMatches, static_cast<int32_t>(c.Found.size())) << c.Name;
        EXPECT_EQ(fTree.Read("a/one.txt"), kOne) << c.Name;
        EXPECT_EQ(fTree.Read("b/two.txt"), c.Two) << c.Name;
        EXPECT_TRUE(fSpecs.Items.empty() && !fSpecs.Replace) << c.Name;
        EXPECT_EQ(fSpecs.RegEx.SlotsUsed(), 0) << c.Name;
    }
}

// Only the first token, in its exact letter case, gives way to the Root Folder as typed.
TEST(ScriptRootFolder, ReplacesTheFirstExactTokenWithTheRootAsTyped) {
    EXPECT_EQ(SubstituteRootFolder("{RootFolder}x{RootFolder}|{rootfolder}", "/r "),
              "/r x{RootFolder}|{rootfolder}");
}

TEST_F(ScriptRun, ABlankRootFolderOrANoStopsBeforeAnythingChanges) {
    const std::string blank =
        "{RootFolder} is used in this script but specified \"Root Folder\" is empty.\r\n"
        "Enter a value for \"Root Folder\" then run the sctipt again.";
    const std::string find = "This script will find all matches to the \"Find\" expression(s) ";
    const std::string run = "\r\n\r\nRun script now ? ";
    struct {
        const char* Root;
        const char* Replace;
        TkesScriptRunOutcome Outcome;
        std::string Message, Question;
    } const cases[] = {
        {"", "", roRootFolderEmpty, blank, ""},
        {" \t ", "omega", roRootFolderEmpty, blank, ""},
        {"/r", "", roDeclined, "", find + "in the specified files" + run},
        {"/r", "omega", roDeclined, "",
         find +
             "and where included, will replace matches with the corresponding \"ReplaceWith\" "
             "expressions in the specified files" +
             ReplaceNote(true) + run},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "root '" << c.Root << "', replace '" << c.Replace);
        std::string question;
        TkesScriptRunEvents events;
        events.Confirm = [&](const std::string& text) {
            question = text;
            return false;
        };
        events.Starting = [] { ADD_FAILURE() << "started"; };
        const auto outcome =
            Run({FolderItem(fTree.Path("a"), "*.txt"), FindItem("alpha", c.Replace),
                 FolderItem("{RootFolder}/b", "*.txt"), FindItem("beta")},
                {c.Root}, events);
        EXPECT_EQ(outcome.Outcome, c.Outcome);
        EXPECT_EQ(outcome.Message, c.Message);
        EXPECT_EQ(outcome.MessageKind, c.Message.empty() ? mkNone : mkMessage);
        EXPECT_EQ(question, c.Question);
        EXPECT_THAT(Found(), ElementsAre("stale.txt:1"));
        EXPECT_EQ(fTree.Read("a/one.txt"), kOne);
    }
}

TEST_F(ScriptRun, AStopRequestEndsTheRunWithTheResultsSoFar) {
    std::stop_source source;
    TkesScriptRunEvents events;
    events.Progress = [&](const std::string& text) {
        if (text.starts_with("Processing"))
            source.request_stop();
    };
    const auto outcome = Run({FolderItem(fTree.Path("a"), "*.txt"), FindItem("alpha"),
                              FolderItem(fTree.Path("b"), "*.txt"), FindItem("beta")},
                             {}, events, source.get_token());
    EXPECT_EQ(outcome.Outcome, roCancelled);
    EXPECT_TRUE(fResults.Cancelled);
    EXPECT_THAT(Found(), ElementsAre("one.txt:2"));
}

} // namespace
