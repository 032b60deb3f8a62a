// The script run over temporary trees: groups, tokens, failures, replacing, the question, the
// case setting and the reset of the find/replace items.
#include "script_test_support.h"

#include "script/script_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::script;
using kestrava::script::test::findItem;
using kestrava::script::test::folderItem;
using kestrava::script::test::makeScript;
using kestrava::script::test::TempTree;
using ::testing::ElementsAre;

namespace {

const std::string kOne = "alpha beta\ngamma alpha\n";
const std::string kTwo = "beta delta  \nALPHA\n";

// A tree of two folders, each with one text file, and results left from an earlier run.
class ScriptRun : public ::testing::Test {
  protected:
    void SetUp() override { reset(); }
    void reset() {
        m_tree.write("a/one.txt", kOne);
        m_tree.write("b/two.txt", kTwo);
        m_results = {};
        m_results.files = {{"stale.txt", 0, 1, {}}};
        m_results.totalMatches = 1;
    }
    ScriptRunResult run(const ScriptEntries& entries, ScriptRunSettings settings = {},
                        const ScriptRunEvents& events = {}, const std::stop_token& stop = {}) {
        settings.replaceInPlace = true;
        return runScript(makeScript(entries), settings, m_specs, m_results, events, stop);
    }
    // Names of the files with matches and their match counts, e.g. "one.txt:2".
    std::vector<std::string> found() const {
        std::vector<std::string> found;
        for (const search::FileMatches& file : m_results.files)
            found.push_back(file.fileName + ":" + std::to_string(file.numMatches));
        return found;
    }

    TempTree m_tree;
    search::CompiledRequest m_specs;
    search::SearchResults m_results;
};

TEST_F(ScriptRun, WalksTheGroupsAccumulatingResultsAndResettingTheItems) {
    const std::string a = m_tree.path("a");
    const std::string b = m_tree.path("b");
    struct {
        const char* name;
        ScriptEntries entries;
        std::vector<std::string> found;
        std::string failure = ""; // after "Error running script: "; "" when it completes
        std::string two = kTwo;   // b/two.txt afterwards
        bool caseSensitive = false;
    } const cases[] = {
        {"TwoGroupsAccumulateIgnoringCaseByDefault",
         {folderItem(a, "*.txt"), findItem("alpha"), findItem("beta"), folderItem(b, "*.txt"),
          findItem("alpha")},
         {"one.txt:3", "two.txt:1"}},
        {"StopRunsWhatPrecedesItInItsGroupAndNothingAfter",
         {folderItem(a, "*.txt"), findItem("gamma"), findItem("{Stop}"), findItem("alpha"),
          folderItem("", ""), findItem("(unclosed")},
         {"one.txt:1"}},
        // "{rootFolder}/b" stays literal: no such folder.
        {"OnlyTheFirstRootFolderTokenIsReplaced",
         {folderItem("{RootFolder}/a|{RootFolder}/b", "*.txt"), findItem("alpha")},
         {"one.txt:2"}},
        {"TwoFolderItemsInARowSearchOnlyTheSecond",
         {folderItem(a, "*.txt"), folderItem(b, "*.txt"), findItem("beta")},
         {"two.txt:1"}},
        {"OnlyFolderItemsSearchNothing", {folderItem(a, "*.txt"), folderItem(b, "*.txt")}, {}},
        {"CaretDollarDeletesAndAnEmptyReplaceOnlyFinds",
         {folderItem(b, "*.txt"), findItem("[ \\t]+(?=\\n)", "^$"), folderItem(a, "*.txt"),
          findItem("alpha", "")},
         {"two.txt:1", "one.txt:2"},
         "",
         "beta delta\nALPHA\n"},
        {"FindEndingWithABarIsRunUnchanged",
         {folderItem(a, "*.txt"), findItem("gamma|")},
         {"one.txt:1"}},
        {"CaseSensitiveKeepsDotMatchingLineEnds",
         {folderItem(b, "*.txt"), findItem("alpha"), findItem("delta.*ALPHA")},
         {"two.txt:1"},
         "",
         kTwo,
         true},
        {"InvalidFindInThirdItem",
         {folderItem(a, "*.txt"), findItem("gamma"), folderItem(b, "*.txt"), findItem("beta"),
          findItem("delta"), findItem("(unclosed")},
         {"one.txt:1"},
         "Invalid Find Expression: Error in Pattern: \"missing closing parenthesis\" at offset (9) "
         "on line 2.3"},
        {"EmptyFoldersBeforeAnotherGroup",
         {folderItem("", "*.txt"), folderItem(a, "*.txt"), findItem("alpha")},
         {},
         "No Folder(s) specified on line 1"},
        {"NeitherValue",
         {folderItem("", ""), findItem("alpha")},
         {},
         "No Folder(s) specified and No Files(s) specified on line 1"},
        {"EmptyFind",
         {folderItem(a, "*.txt"), findItem("alpha"), folderItem(b, "*.txt"), findItem("")},
         {"one.txt:2"},
         "Nothing to \"Find\" specified on line 2.1"},
        {"FindBeforeAnyFolders",
         {findItem("alpha")},
         {},
         "No Folder(s) specified and No Files(s) specified before trying to process line 0.1"},
    };
    for (const auto& c : cases) {
        reset();
        const auto outcome = run(c.entries, {m_tree.root(), c.caseSensitive});
        EXPECT_EQ(outcome.outcome,
                  c.failure.empty() ? ScriptRunOutcome::Completed : ScriptRunOutcome::Failed)
            << c.name;
        EXPECT_EQ(outcome.message, c.failure.empty() ? "" : "Error running script: " + c.failure)
            << c.name;
        EXPECT_EQ(found(), c.found) << c.name;
        EXPECT_EQ(m_results.filesWithMatches, static_cast<int32_t>(c.found.size())) << c.name;
        EXPECT_EQ(m_tree.read("a/one.txt"), kOne) << c.name;
        EXPECT_EQ(m_tree.read("b/two.txt"), c.two) << c.name;
        EXPECT_TRUE(m_specs.items.empty() && !m_specs.replace) << c.name;
        EXPECT_EQ(m_specs.regEx.slotsUsed(), 0) << c.name;
    }
}

// Only the first token, in its exact letter case, gives way to the Root Folder as typed.
TEST(ScriptRootFolder, ReplacesTheFirstExactTokenWithTheRootAsTyped) {
    EXPECT_EQ(substituteRootFolder("{RootFolder}x{RootFolder}|{rootfolder}", "/r "),
              "/r x{RootFolder}|{rootfolder}");
}

TEST_F(ScriptRun, ABlankRootFolderOrANoStopsBeforeAnythingChanges) {
    const std::string blank =
        "{RootFolder} is used in this script but specified \"Root Folder\" is empty.\r\n"
        "Enter a value for \"Root Folder\" then run the sctipt again.";
    const std::string find = "This script will find all matches to the \"Find\" expression(s) ";
    const std::string runNow = "\r\n\r\nRun script now ? ";
    struct {
        const char* root;
        const char* replace;
        ScriptRunOutcome outcome;
        std::string message, question;
    } const cases[] = {
        {"", "", ScriptRunOutcome::RootFolderEmpty, blank, ""},
        {" \t ", "omega", ScriptRunOutcome::RootFolderEmpty, blank, ""},
        {"/r", "", ScriptRunOutcome::Declined, "", find + "in the specified files" + runNow},
        {"/r", "omega", ScriptRunOutcome::Declined, "",
         find +
             "and where included, will replace matches with the corresponding \"ReplaceWith\" "
             "expressions in the specified files" +
             search::replaceNote(true) + runNow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "root '" << c.root << "', replace '" << c.replace);
        std::string question;
        ScriptRunEvents events;
        events.confirm = [&](const std::string& text) {
            question = text;
            return false;
        };
        events.starting = [] { ADD_FAILURE() << "started"; };
        const auto outcome =
            run({folderItem(m_tree.path("a"), "*.txt"), findItem("alpha", c.replace),
                 folderItem("{RootFolder}/b", "*.txt"), findItem("beta")},
                {c.root}, events);
        EXPECT_EQ(outcome.outcome, c.outcome);
        EXPECT_EQ(outcome.message, c.message);
        EXPECT_EQ(outcome.messageKind,
                  c.message.empty() ? MessageKind::None : MessageKind::Message);
        EXPECT_EQ(question, c.question);
        EXPECT_THAT(found(), ElementsAre("stale.txt:1"));
        EXPECT_EQ(m_tree.read("a/one.txt"), kOne);
    }
}

TEST_F(ScriptRun, AStopRequestEndsTheRunWithTheResultsSoFar) {
    std::stop_source source;
    ScriptRunEvents events;
    events.progress = [&](const search::Progress& progress) {
        if (progress.filesDone > 0)
            source.request_stop();
    };
    const auto outcome = run({folderItem(m_tree.path("a"), "*.txt"), findItem("alpha"),
                              folderItem(m_tree.path("b"), "*.txt"), findItem("beta")},
                             {}, events, source.get_token());
    EXPECT_EQ(outcome.outcome, ScriptRunOutcome::Cancelled);
    EXPECT_TRUE(m_results.cancelled);
    EXPECT_THAT(found(), ElementsAre("one.txt:2"));
}

} // namespace
