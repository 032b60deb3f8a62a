// The script run over temporary trees: groups, tokens, failures, replacing, the question, the
// case setting, a stop request and the reset of the find/replace items.
#include "script_test_support.h"

#include "script/script_run.h"

#include <gtest/gtest.h>

namespace kestrava::script::test {
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
    // The files with matches and their match counts: "one.txt:2 two.txt:1".
    std::string found() const {
        std::string found;
        for (const search::FileMatches& file : m_results.files)
            found +=
                (found.empty() ? "" : " ") + file.fileName + ":" + std::to_string(file.numMatches);
        return found;
    }

    TempTree m_tree;
    const ScriptEntry m_a = folderItem(m_tree.path("a"), "*.txt");
    const ScriptEntry m_b = folderItem(m_tree.path("b"), "*.txt");
    search::CompiledRequest m_specs;
    search::SearchResults m_results;
};

TEST_F(ScriptRun, WalksTheGroupsAccumulatingResultsAndResettingTheItems) {
    const ScriptEntry &a = m_a, &b = m_b;
    const auto find = [](const char* text, const char* replace = "") {
        return findItem(text, replace);
    };
    const std::string none = "No Folder(s) specified";
    const std::string neither = none + " and No Files(s) specified";
    struct {
        const char* what;
        ScriptEntries entries;
        std::string found;
        std::string failure = ""; // after "Error running script: "; "" when it completes
        std::string two = kTwo;   // b/two.txt afterwards
        bool caseSensitive = false;
    } const cases[] = {
        {"groups accumulate", Items{a, find("alpha"), find("beta"), b, find("alpha")},
         "one.txt:3 two.txt:1"},
        {"{Stop} ends the run",
         Items{a, find("gamma"), find("{Stop}"), find("alpha"), folderItem("", ""), find("(")},
         "one.txt:1"},
        // "{RootFolder}/b" stays literal: no such folder.
        {"one token replaced",
         Items{folderItem("{RootFolder}/a|{RootFolder}/b", "*.txt"), find("alpha")}, "one.txt:2"},
        {"groups without finds search nothing", Items{a, b, find("beta"), a}, "two.txt:1"},
        {"^$ deletes, no Replace finds",
         Items{b, find("[ \\t]+(?=\\n)", "^$"), a, find("alpha", "")}, "two.txt:1 one.txt:2", "",
         "beta delta\nALPHA\n"},
        {"a bar ending a Find stays", Items{a, find("gamma|")}, "one.txt:1"},
        {"case sensitive, dot matches LF", Items{b, find("alpha"), find("delta.*ALPHA")},
         "two.txt:1", "", kTwo, true},
        {"invalid Find", Items{a, find("gamma"), b, find("beta"), find("delta"), find("(unclosed")},
         "one.txt:1",
         "Invalid Find Expression: Error in Pattern: \"missing closing parenthesis\" at offset (9) "
         "on line 2.3"},
        {"no Folder(s)", Items{folderItem("", "*.txt"), a, find("alpha")}, "", none + " on line 1"},
        {"neither value", Items{folderItem("", ""), find("alpha")}, "", neither + " on line 1"},
        {"empty Find", Items{a, find("alpha"), b, find("")}, "one.txt:2",
         "Nothing to \"Find\" specified on line 2.1"},
        {"a Find first", Items{find("alpha")}, "", neither + " before trying to process line 0.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        const auto outcome = run(c.entries, {m_tree.root(), c.caseSensitive});
        EXPECT_EQ(outcome.outcome,
                  c.failure.empty() ? ScriptRunOutcome::Completed : ScriptRunOutcome::Failed);
        EXPECT_EQ(outcome.message, c.failure.empty() ? "" : "Error running script: " + c.failure);
        EXPECT_EQ(found(), c.found);
        EXPECT_EQ(m_results.filesWithMatches, static_cast<int32_t>(m_results.files.size()));
        EXPECT_EQ(m_tree.read("a/one.txt"), kOne);
        EXPECT_EQ(m_tree.read("b/two.txt"), c.two);
        EXPECT_TRUE(m_specs.items.empty() && !m_specs.replace);
        EXPECT_EQ(m_specs.regEx.slotsUsed(), 0);
    }
}

// Only the first token, in its exact letter case, gives way to the Root Folder as typed; a blank
// Root Folder, or a No to the question, stops the run before anything changes.
TEST_F(ScriptRun, ARootFolderBlankOrANoStopsBeforeAnythingChanges) {
    EXPECT_EQ(substituteRootFolder("{RootFolder}x{RootFolder}|{rootfolder}", "/r "),
              "/r x{RootFolder}|{rootfolder}");
    const std::string blank =
        "{RootFolder} is used in this script but specified \"Root Folder\" is empty.\r\n"
        "Enter a value for \"Root Folder\" then run the sctipt again.";
    const std::string find = "This script will find all matches to the \"Find\" expression(s) ";
    const std::string runNow = "\r\n\r\nRun script now ? ";
    // Root Folder, Replace With, outcome, message, question asked.
    const std::tuple<const char*, const char*, ScriptRunOutcome, std::string, std::string> cases[] =
        {
            {"", "", ScriptRunOutcome::RootFolderEmpty, blank, ""},
            {" \t ", "omega", ScriptRunOutcome::RootFolderEmpty, blank, ""},
            {"/r", "", ScriptRunOutcome::Declined, "", find + "in the specified files" + runNow},
            {"/r", "omega", ScriptRunOutcome::Declined, "",
             find +
                 "and where included, will replace matches with the corresponding \"ReplaceWith\" "
                 "expressions in the specified files" +
                 search::replaceNote(true) + runNow},
        };
    for (const auto& [root, replace, expected, message, asked] : cases) {
        SCOPED_TRACE(::testing::Message() << "root '" << root << "', replace '" << replace);
        std::string question;
        ScriptRunEvents events;
        events.confirm = [&](const std::string& text) {
            question = text;
            return false;
        };
        events.starting = [] { ADD_FAILURE() << "started"; };
        const auto outcome = run({m_a, findItem("alpha", replace),
                                  folderItem("{RootFolder}/b", "*.txt"), findItem("beta")},
                                 {root}, events);
        EXPECT_EQ(outcome.outcome, expected);
        EXPECT_EQ(outcome.message, message);
        EXPECT_EQ(outcome.messageKind, message.empty() ? MessageKind::None : MessageKind::Message);
        EXPECT_EQ(question, asked);
        EXPECT_EQ(found(), "stale.txt:1");
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
    const auto outcome =
        run({m_a, findItem("alpha"), m_b, findItem("beta")}, {}, events, source.get_token());
    EXPECT_EQ(outcome.outcome, ScriptRunOutcome::Cancelled);
    EXPECT_TRUE(m_results.cancelled);
    EXPECT_EQ(found(), "one.txt:2");
}

} // namespace
} // namespace kestrava::script::test
