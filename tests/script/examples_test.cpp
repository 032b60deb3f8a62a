// The example scripts shipped in examples/: they load, are written the way the program writes
// them, and do what the README says they do on a small tree.
#include "script_test_support.h"

#include "script/script_run.h"

#include <gtest/gtest.h>

#include <array>

namespace kestrava::script::test {
namespace {

const std::string kExamples = KES_EXAMPLES_DIR;

TEST(ScriptExamples, EachLoadsIsWrittenAsTheProgramWouldWriteItAndDoesWhatItPromises) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kExamples)) {
        if (entry.path().extension() != ".ksc")
            continue;
        ++count;
        Script script;
        ASSERT_NO_THROW(loadScript(script, entry.path()));
        EXPECT_FALSE(script.entries.empty()) << entry.path();
        EXPECT_TRUE(scriptUsesRootFolder(script)) << entry.path();
        EXPECT_EQ(scriptText(script), kestest::readFile(entry.path())) << entry.path();
    }
    EXPECT_GE(count, 2);
    struct {
        const char* script;
        std::vector<std::array<std::string, 3>> files; // path, before, after ("": unchanged)
        int32_t matches;
    } const cases[] = {
        // Line ends are kept; the build folder is skipped.
        {"trailing-whitespace.ksc",
         {{"src/a.c", "int x;  \r\nint y;\t\n\tz; \n", "int x;\r\nint y;\n\tz;\n"},
          {"build/gen.c", "int x;  \n", ""}},
         3},
        // Whole words in their own letter case only.
        {"rename-identifier.ksc",
         {{"x.h", "#ifndef OLD_NAME_H\nOldName oldname OldNameX\n",
           "#ifndef NEW_NAME_H\nNewName oldname OldNameX\n"}},
         2},
        // Notes of both groups are listed; nothing changes.
        {"find-todo.ksc",
         {{"a.cpp", "f(); // TODO: tidy\n// todo lower case\n// FIXME now\n", ""},
          {"notes.md", "- TODO write docs\n", ""}},
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        TempTree tree;
        for (const auto& [path, before, after] : c.files)
            tree.write(path, before);
        Script script;
        loadScript(script, kExamples + "/" + c.script);
        search::CompiledRequest specs;
        search::SearchResults results;
        EXPECT_EQ(runScript(script, {tree.root(), false, true}, specs, results).outcome,
                  ScriptRunOutcome::Completed);
        EXPECT_EQ(results.totalMatches, c.matches);
        for (const auto& [path, before, after] : c.files)
            EXPECT_EQ(tree.read(path), after.empty() ? before : after) << path;
    }
}

} // namespace
} // namespace kestrava::script::test
