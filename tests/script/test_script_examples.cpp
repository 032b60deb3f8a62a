// The example scripts shipped in examples/: they load, are written the way the program writes
// them, and do what the README says they do on a small tree.
#include "ScriptTestSupport.h"

#include "script/kes_uScriptRun.h"

#include <array>
#include <gtest/gtest.h>

using namespace kes;
using kes::test::TempTree;

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
        EXPECT_EQ(ScriptText(script), kestest::ReadFile(entry.path())) << entry.path();
    }
    EXPECT_GE(count, 2);
}

TEST(ScriptExamples, DoWhatTheyPromiseInPlace) {
    struct {
        const char* Script;
        std::vector<std::array<std::string, 3>> Files; // path, before, after
        int32_t Matches;
    } const cases[] = {
        // Line ends are kept; the build folder is skipped.
        {"trailing-whitespace.ksc",
         {{"src/a.c", "int x;  \r\nint y;\t\n\tz; \n", "int x;\r\nint y;\n\tz;\n"},
          {"build/gen.c", "int x;  \n", "int x;  \n"}},
         3},
        // Whole words in their own letter case only.
        {"rename-identifier.ksc",
         {{"x.h", "#ifndef OLD_NAME_H\nOldName oldname OldNameX\n",
           "#ifndef NEW_NAME_H\nNewName oldname OldNameX\n"}},
         2},
        // Notes of both groups are listed; nothing changes.
        {"find-todo.ksc",
         {{"a.cpp", "f(); // TODO: tidy\n// todo lower case\n// FIXME now\n",
           "f(); // TODO: tidy\n// todo lower case\n// FIXME now\n"},
          {"notes.md", "- TODO write docs\n", "- TODO write docs\n"}},
         3},
    };
    for (const auto& c : cases) {
        TempTree tree;
        for (const auto& [path, before, after] : c.Files)
            tree.Write(path, before);
        TkesScript script;
        LoadScript(script, kExamples + "/" + c.Script);
        TFindReplaceSpecs specs;
        TkesMatchResults results;
        EXPECT_EQ(RunScript(script, {tree.Root(), false, true}, specs, results).Outcome,
                  roCompleted)
            << c.Script;
        EXPECT_EQ(results.TotalMatches, c.Matches) << c.Script;
        for (const auto& [path, before, after] : c.Files)
            EXPECT_EQ(tree.Read(path), after) << c.Script << " " << path;
    }
}

} // namespace
