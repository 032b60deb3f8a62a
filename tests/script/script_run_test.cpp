// The script run over temporary trees.
#include "script_test_support.h"

#include "script/script_run.h"

#include <gtest/gtest.h>

namespace kestrava::script::test {
namespace {

const std::string kOne = "alpha beta\ngamma alpha\n";
const std::string kTwo = "beta delta  \nALPHA\n";

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
        return runScript(makeScript(entries), settings, m_request, m_results, events, stop);
    }
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
    search::CompiledRequest m_request;
    search::SearchResults m_results;
};

TEST_F(ScriptRun, WalksTheGroupsAccumulatingResultsAndResettingTheItems) {
    for (const golden::Row& c : cases("run")) {
        SCOPED_TRACE(c[0]);
        ScriptEntries entries;
        for (auto item = c.begin() + 5; item != c.end(); ++item)
            if (*item == "a" || *item == "b")
                entries.push_back(*item == "a" ? m_a : m_b);
            else
                entries.push_back(itemsOf(item, item + 1)[0]);
        reset();
        const auto outcome = run(entries, {m_tree.root(), c[4] == "1"});
        EXPECT_EQ(outcome.outcome,
                  c[2].empty() ? ScriptRunOutcome::Completed : ScriptRunOutcome::Failed);
        EXPECT_EQ(outcome.message, c[2].empty() ? "" : "Error running script: " + c[2]);
        EXPECT_EQ(found(), c[1]);
        EXPECT_EQ(m_results.filesWithMatches, static_cast<int32_t>(m_results.files.size()));
        EXPECT_EQ(m_tree.read("a/one.txt"), kOne);
        EXPECT_EQ(m_tree.read("b/two.txt"), c[3] == "-" ? kTwo : c[3]);
        EXPECT_TRUE(m_request.items.empty() && !m_request.replace);
        EXPECT_EQ(m_request.regEx.slotsUsed(), 0);
    }
}

// Only the first token, in its exact letter case, gives way to the Root Folder as typed; a blank
// Root Folder, or a No to the question, stops the run before anything changes.
TEST_F(ScriptRun, ARootFolderBlankOrANoStopsBeforeAnythingChanges) {
    EXPECT_EQ(substituteRootFolder("{RootFolder}x{RootFolder}|{rootfolder}", "/r "),
              "/r x{RootFolder}|{rootfolder}");
    for (const golden::Row& c : cases("root folder")) {
        SCOPED_TRACE("root '" + c[0] + "', replace '" + c[1] + "'");
        std::string question;
        ScriptRunEvents events;
        events.confirm = [&](const std::string& text) {
            question = text;
            return false;
        };
        events.starting = [] { ADD_FAILURE() << "started"; };
        const auto outcome = run(
            {m_a, findItem("alpha", c[1]), folderItem("{RootFolder}/b", "*.txt"), findItem("beta")},
            {c[0]}, events);
        EXPECT_EQ(outcome.outcome,
                  c[2].empty() ? ScriptRunOutcome::Declined : ScriptRunOutcome::RootFolderEmpty);
        EXPECT_EQ(outcome.message, c[2]);
        EXPECT_EQ(outcome.messageKind, c[2].empty() ? MessageKind::None : MessageKind::Message);
        EXPECT_EQ(question, c[3]);
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
