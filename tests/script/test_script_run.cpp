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
using kes::test::TScratch;
using ::testing::ElementsAre;

namespace {

// A tree of two folders, each with one text file, and the machinery of one run.
class ScriptRun : public ::testing::Test {
  protected:
    void SetUp() override {
        fScratch.Write("a/one.txt", "alpha beta\ngamma alpha\n");
        fScratch.Write("b/two.txt", "beta delta  \nALPHA\n");
    }
    std::string Dir(const std::string& name) const { return fScratch.Path(name); }
    TkesScriptRunResult Run(const TkesScriptEntries& entries, TkesScriptRunSettings settings = {}) {
        settings.ReplaceInPlace = true;
        fSettings = settings;
        return RunScript(MakeScript(entries), settings, fSpecs, fResults, fEvents);
    }
    // Names of the files with matches and their match counts, e.g. "one.txt:2".
    std::vector<std::string> Found() const {
        std::vector<std::string> found;
        for (const TkesFile& file : fResults.Files)
            found.push_back(file.FileName + ":" + std::to_string(file.NumMatches));
        return found;
    }

    TScratch fScratch;
    TkesScriptRunSettings fSettings;
    TFindReplaceSpecs fSpecs;
    TkesMatchResults fResults;
    TkesScriptRunEvents fEvents;
};

TEST_F(ScriptRun, ResultsAccumulateOverTheGroups) {
    const auto outcome = Run({FolderItem(Dir("a"), "*.txt"), FindItem("alpha"), FindItem("beta"),
                              FolderItem(Dir("b"), "*.txt"), FindItem("delta")});
    EXPECT_EQ(outcome.Outcome, roCompleted);
    EXPECT_THAT(Found(), ElementsAre("one.txt:3", "two.txt:1"));
    EXPECT_EQ(fResults.FilesScanned, 2);
    EXPECT_EQ(fResults.TotalMatches, 4);
}

TEST_F(ScriptRun, StopRunsWhatPrecedesItInItsGroupAndNothingAfter) {
    const auto outcome = Run({FolderItem(Dir("a"), "*.txt"), FindItem("gamma"), FindItem("{Stop}"),
                              FindItem("alpha"), FolderItem("", ""), FindItem("(unclosed")});
    EXPECT_EQ(outcome.Outcome, roCompleted) << outcome.Message;
    EXPECT_THAT(Found(), ElementsAre("one.txt:1"));
}

TEST_F(ScriptRun, OnlyTheFirstRootFolderTokenIsReplaced) {
    TkesScriptRunSettings settings;
    settings.RootFolder = fScratch.Root();
    const auto outcome =
        Run({FolderItem("{RootFolder}/a|{RootFolder}/b", "*.txt"), FindItem("alpha")}, settings);
    EXPECT_EQ(outcome.Outcome, roCompleted) << outcome.Message;
    EXPECT_THAT(Found(),
                ElementsAre("one.txt:2")); // "{RootFolder}/b" stays literal: no such folder
    EXPECT_EQ(SubstituteRootFolder("{RootFolder}x{RootFolder}|{rootfolder}", "/r "),
              "/r x{RootFolder}|{rootfolder}");
}

TEST_F(ScriptRun, ABlankRootFolderStopsBeforeAnythingChanges) {
    for (const char* root : {"", " \t "}) {
        fResults.TotalMatches = 7; // left from an earlier run
        bool asked = false;
        fEvents.Confirm = [&](const std::string&) { return asked = true; };
        TkesScriptRunSettings settings;
        settings.RootFolder = root;
        const auto outcome = Run({FolderItem(Dir("a"), "*.txt"), FindItem("alpha"),
                                  FolderItem("{RootFolder}", "*.txt"), FindItem("beta")},
                                 settings);
        EXPECT_EQ(outcome.Outcome, roRootFolderEmpty);
        EXPECT_EQ(outcome.Message,
                  "{RootFolder} is used in this script but specified \"Root Folder\" is empty.\r\n"
                  "Enter a value for \"Root Folder\" then run the sctipt again.");
        EXPECT_EQ(outcome.MessageKind, mkMessage);
        EXPECT_FALSE(asked);
        EXPECT_EQ(fResults.TotalMatches, 7);
    }
}

struct TFailureCase {
    const char* Name;
    TkesScriptEntries Entries; // "@a"/"@b" stand for the two folders of the tree
    std::string Message;       // after "Error running script: "
    std::vector<std::string> Kept;
};

void PrintTo(const TFailureCase& c, std::ostream* os) {
    *os << c.Name;
}

class ScriptRunFailure : public ScriptRun, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(ScriptRunFailure, EndsTheWalkKeepingEarlierGroups) {
    TkesScriptEntries entries = GetParam().Entries;
    for (TkesScriptEntry& entry : entries)
        if (entry.Text1.starts_with("@"))
            entry.Text1 = Dir(entry.Text1.substr(1));
    const auto outcome = Run(entries);
    EXPECT_EQ(outcome.Outcome, roFailed);
    EXPECT_EQ(outcome.Message, "Error running script: " + GetParam().Message);
    EXPECT_EQ(Found(), GetParam().Kept);
    EXPECT_TRUE(fSpecs.Items.empty());
    EXPECT_FALSE(fSpecs.Replace);
    EXPECT_EQ(fSpecs.RegEx.SlotsUsed(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    ScriptFailures, ScriptRunFailure,
    ::testing::Values(
        TFailureCase{
            "InvalidFindInThirdItem",
            {FolderItem("@a", "*.txt"), FindItem("gamma"), FolderItem("@b", "*.txt"),
             FindItem("beta"), FindItem("delta"), FindItem("(unclosed")},
            "Invalid Find Expression: Error in Pattern: \"missing )\" at offset (9) on line 2.3",
            {"one.txt:1"}},
        TFailureCase{"EmptyFoldersBeforeAnotherGroup",
                     {FolderItem("", "*.txt"), FolderItem("@a", "*.txt"), FindItem("alpha")},
                     "No Folder(s) specified on line 1",
                     {}},
        TFailureCase{"NeitherValue",
                     {FolderItem("", ""), FindItem("alpha")},
                     "No Folder(s) specified and No Files(s) specified on line 1",
                     {}},
        TFailureCase{
            "EmptyFind",
            {FolderItem("@a", "*.txt"), FindItem("alpha"), FolderItem("@b", "*.txt"), FindItem("")},
            "Nothing to \"Find\" specified on line 2.1",
            {"one.txt:2"}},
        TFailureCase{"FindBeforeAnyFolders",
                     {FindItem("alpha")},
                     "No Folder(s) specified and No Files(s) specified before trying to process "
                     "line 0.1",
                     {}}),
    [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST_F(ScriptRun, TwoFolderItemsInARowSearchOnlyTheSecond) {
    const auto outcome =
        Run({FolderItem(Dir("a"), "*.txt"), FolderItem(Dir("b"), "*.txt"), FindItem("beta")});
    EXPECT_EQ(outcome.Outcome, roCompleted);
    EXPECT_THAT(Found(), ElementsAre("two.txt:1"));
}

TEST_F(ScriptRun, OnlyFolderItemsSearchNothing) {
    fResults.TotalMatches = 7;
    const auto outcome = Run({FolderItem(Dir("a"), "*.txt"), FolderItem(Dir("b"), "*.txt")});
    EXPECT_EQ(outcome.Outcome, roCompleted);
    EXPECT_EQ(fResults.FilesScanned, 0);
    EXPECT_EQ(fResults.TotalMatches, 0);
}

TEST_F(ScriptRun, CaretDollarDeletesAndAnEmptyReplaceOnlyFinds) {
    const auto outcome = Run({FolderItem(Dir("b"), "*.txt"), FindItem("[ \\t]+(?=\\n)", "^$"),
                              FolderItem(Dir("a"), "*.txt"), FindItem("alpha", "")});
    EXPECT_EQ(outcome.Outcome, roCompleted);
    EXPECT_EQ(fScratch.Read("b/two.txt"), "beta delta\nALPHA\n");
    EXPECT_EQ(fScratch.Read("a/one.txt"), "alpha beta\ngamma alpha\n");
    EXPECT_TRUE(fSpecs.Items.empty()); // reset after success too
}

TEST_F(ScriptRun, FindEndingWithABarIsRunUnchanged) {
    EXPECT_EQ(Run({FolderItem(Dir("a"), "*.txt"), FindItem("gamma|")}).Outcome, roCompleted);
    EXPECT_THAT(Found(), ElementsAre("one.txt:1"));
}

TEST_F(ScriptRun, TheCaseSettingAppliesBeforeCompiling) {
    for (const bool sensitive : {false, true}) {
        TkesScriptRunSettings settings;
        settings.CaseSensitive = sensitive;
        Run({FolderItem(Dir("b"), "*.txt"), FindItem("alpha")}, settings);
        EXPECT_EQ(fResults.TotalMatches, sensitive ? 0 : 1) << sensitive;
        EXPECT_EQ(fSpecs.RegEx.DefaultPatternOptions().Contains(coIgnoreCase), !sensitive);
        EXPECT_TRUE(fSpecs.RegEx.DefaultPatternOptions().Contains(coDotMatchesAll));
    }
}

TEST_F(ScriptRun, TheQuestionNamesReplacingAndANoChangesNothing) {
    std::string question;
    std::vector<std::string> events;
    fEvents.Confirm = [&](const std::string& text) {
        question = text;
        return false;
    };
    fEvents.Starting = [&] { events.push_back("starting"); };
    fResults.TotalMatches = 7;
    const auto outcome = Run({FolderItem(Dir("a"), "*.txt"), FindItem("alpha", "omega")});
    EXPECT_EQ(outcome.Outcome, roDeclined);
    EXPECT_EQ(question, ScriptConfirmText(true, true));
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(fResults.TotalMatches, 7);
    EXPECT_EQ(fScratch.Read("a/one.txt"), "alpha beta\ngamma alpha\n");
}

TEST(ScriptConfirmText, HasTheReplacePartsOnlyWhenReplacing) {
    EXPECT_EQ(ScriptConfirmText(false, true),
              "This script will find all matches to the \"Find\" expression(s) in the specified "
              "files\r\n\r\nRun script now ? ");
    EXPECT_EQ(ScriptConfirmText(true, false),
              "This script will find all matches to the \"Find\" expression(s) and where "
              "included, will replace matches with the corresponding \"ReplaceWith\" expressions "
              "in the specified files" +
                  ReplaceNote(false) + "\r\n\r\nRun script now ? ");
    EXPECT_TRUE(
        ScriptReplaces(MakeScript({FolderItem("a", "b"), FindItem("x"), FindItem("y", "z")})));
    EXPECT_FALSE(ScriptReplaces(MakeScript({FolderItem("a", "b"), FindItem("x")})));
}

TEST_F(ScriptRun, AStopRequestEndsTheRunWithTheResultsSoFar) {
    std::stop_source source;
    fEvents.Progress = [&](const std::string& text) {
        if (text.starts_with("Processing"))
            source.request_stop();
    };
    const TkesScript script = MakeScript({FolderItem(Dir("a"), "*.txt"), FindItem("alpha"),
                                          FolderItem(Dir("b"), "*.txt"), FindItem("beta")});
    const auto outcome = RunScript(script, {}, fSpecs, fResults, fEvents, source.get_token());
    EXPECT_EQ(outcome.Outcome, roCancelled);
    EXPECT_TRUE(fResults.Cancelled);
    EXPECT_THAT(Found(), ElementsAre("one.txt:2"));
}

} // namespace
