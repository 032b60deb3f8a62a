// The shipped examples load, are written as the program writes them and do what the README says.
#include "script_test_support.h"

#include "script/script_run.h"

#include <gtest/gtest.h>

namespace kestrava::script::test {
namespace {

const std::string kExamples = KES_EXAMPLES_DIR;

TEST(ScriptExamples, EachLoadsIsWrittenAsTheProgramWouldWriteItAndDoesWhatItPromises) {
    const std::vector<golden::Row> rows = cases("examples");
    EXPECT_EQ(
        std::ranges::count_if(std::filesystem::directory_iterator(kExamples),
                              [](const auto& entry) { return entry.path().extension() == ".ksc"; }),
        std::ssize(rows))
        << "every example has its row";
    for (const golden::Row& c : rows) {
        SCOPED_TRACE(c[0]);
        const std::string path = kExamples + "/" + c[0];
        Script script;
        ASSERT_NO_THROW(loadScript(script, path));
        EXPECT_TRUE(scriptUsesRootFolder(script));
        EXPECT_EQ(scriptText(script), kestest::readFile(path));
        TempTree tree;
        for (size_t file = 2; file + 2 < c.size(); file += 3)
            tree.write(c[file], c[file + 1]);
        search::CompiledRequest request;
        search::SearchResults results;
        EXPECT_EQ(runScript(script, {tree.root(), false, true}, request, results).outcome,
                  ScriptRunOutcome::Completed);
        EXPECT_EQ(results.totalMatches, std::stoi(c[1]));
        for (size_t file = 2; file + 2 < c.size(); file += 3)
            EXPECT_EQ(tree.read(c[file]), c[file + 2] == "-" ? c[file + 1] : c[file + 2])
                << c[file];
    }
}

} // namespace
} // namespace kestrava::script::test
