// The example scripts shipped in examples/: they load, are written the way the program writes
// them, and do what their description promises on a small tree.
#include "ScriptTestSupport.h"

#include "script/kes_uScriptRun.h"

#include <gtest/gtest.h>

using namespace kes;
using kes::test::TScratch;

namespace {

const std::string kExamples = KES_EXAMPLES_DIR;

TEST(ScriptExamples, EachLoadsAndIsWrittenAsTheProgramWouldWriteIt) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kExamples)) {
        if (entry.path().extension() != ".ksc")
            continue;
        ++count;
        TkesScript script;
        ASSERT_NO_THROW(LoadScript(script, entry.path()));
        EXPECT_FALSE(script.Entries.empty()) << entry.path();
        EXPECT_TRUE(ScriptUsesRootFolder(script)) << entry.path();
        EXPECT_EQ(ScriptText(script), TScratch::ReadBytes(entry.path())) << entry.path();
    }
    EXPECT_GE(count, 2);
}

// Runs an example in place over the scratch tree; returns the run's outcome.
TkesScriptRunResult RunExample(const std::string& name, const TScratch& tree,
                               TkesMatchResults& results) {
    TkesScript script;
    LoadScript(script, kExamples + "/" + name);
    TFindReplaceSpecs specs;
    return RunScript(script, {tree.Root(), false, true}, specs, results);
}

TEST(ScriptExamples, TrailingWhitespaceKeepsLineEndsAndSkipsTheBuildFolder) {
    TScratch tree;
    tree.Write("src/a.c", "int x;  \r\nint y;\t\n\tz; \n");
    tree.Write("build/gen.c", "int x;  \n");
    TkesMatchResults results;
    EXPECT_EQ(RunExample("trailing-whitespace.ksc", tree, results).Outcome, roCompleted);
    EXPECT_EQ(tree.Read("src/a.c"), "int x;\r\nint y;\n\tz;\n");
    EXPECT_EQ(tree.Read("build/gen.c"), "int x;  \n");
}

TEST(ScriptExamples, RenameTouchesWholeWordsInTheirOwnLetterCaseOnly) {
    TScratch tree;
    tree.Write("x.h", "#ifndef OLD_NAME_H\nOldName oldname OldNameX\n");
    TkesMatchResults results;
    EXPECT_EQ(RunExample("rename-identifier.ksc", tree, results).Outcome, roCompleted);
    EXPECT_EQ(tree.Read("x.h"), "#ifndef NEW_NAME_H\nNewName oldname OldNameX\n");
}

TEST(ScriptExamples, FindTodoListsNotesOfBothGroupsAndChangesNothing) {
    TScratch tree;
    tree.Write("a.cpp", "f(); // TODO: tidy\n// todo lower case\n// FIXME now\n");
    tree.Write("notes.md", "- TODO write docs\n");
    TkesMatchResults results;
    EXPECT_EQ(RunExample("find-todo.ksc", tree, results).Outcome, roCompleted);
    EXPECT_EQ(results.TotalMatches, 3);
    EXPECT_EQ(results.Files.at(0).Lines.at(0).Text, "f(); // TODO: tidy");
    EXPECT_EQ(tree.Read("a.cpp"), "f(); // TODO: tidy\n// todo lower case\n// FIXME now\n");
}

} // namespace
