// The shipped examples load, are written as the program writes them and do what the README says.
#include "script_test_support.h"

#include "script/script_run.h"

#include <gtest/gtest.h>

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
    for (const golden::Row& c : cases("examples")) {
        SCOPED_TRACE(c[0]);
        TempTree tree;
        for (size_t file = 2; file + 2 < c.size(); file += 3)
            tree.write(c[file], c[file + 1]);
        Script script;
        loadScript(script, kExamples + "/" + c[0]);
        search::CompiledRequest specs;
        search::SearchResults results;
        EXPECT_EQ(runScript(script, {tree.root(), false, true}, specs, results).outcome,
                  ScriptRunOutcome::Completed);
        EXPECT_EQ(results.totalMatches, std::stoi(c[1]));
        for (size_t file = 2; file + 2 < c.size(); file += 3)
            EXPECT_EQ(tree.read(c[file]), c[file + 2] == "-" ? c[file + 1] : c[file + 2])
                << c[file];
    }
}

} // namespace
} // namespace kestrava::script::test
