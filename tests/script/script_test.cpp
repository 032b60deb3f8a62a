// The script model: numbering and the line view in each editing state.
#include "script_test_support.h"

#include <gtest/gtest.h>

using namespace kes;
using kes::test::findItem;
using kes::test::folderItem;
using kes::test::makeScript;

namespace {

TEST(ScriptNumbering, GroupsCountFromOneAndMembersRestartInEachGroup) {
    const Script script = makeScript({folderItem("a", "*"), findItem("x"), findItem("y"),
                                      folderItem("b", "*"), folderItem("c", "*"), findItem("z")});
    std::vector<std::string> numbers;
    for (const ScriptEntry& entry : script.entries)
        numbers.push_back(scriptItemNumber(entry));
    EXPECT_EQ(numbers, (std::vector<std::string>{"1", "1.1", "1.2", "2", "3", "3.1"}));
}

ScriptLines with(ScriptLines rows, size_t at, const ScriptLines& extra) {
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
    return rows;
}

TEST(ScriptLineView, HasTheRowsOfEachState) {
    // Items: 0 folders/files, 1 find with replace and options, 2 find only.
    const ScriptLines plain{{slkFolders, 0}, {slkFiles, 0},   {slkBlank, 0},
                            {slkFind, 1},    {slkReplace, 1}, {slkOptions, 1},
                            {slkBlank, 1},   {slkFind, 2},    {slkBlank, 2}};
    const std::tuple<const char*, ScriptEditState, int32_t, ScriptLines> cases[] = {
        {"Viewing", ssViewing, 1, plain},
        {"Change", ssChange, 2, plain},
        {"Results", ssResults, 0, plain},
        {"Append", ssAppend, 0, with(plain, 9, {{slkBlank, 2}, {slkNewItem, 2}, {slkBlank, 2}})},
        {"InsertBeforeSecond", ssInsert, 1, with(plain, 3, {{slkNewItem, 0}, {slkBlank, 0}})},
        {"InsertAtFirst", ssInsert, 0, with(plain, 0, {{slkNewItem, -1}, {slkBlank, -1}})},
    };
    for (const auto& [name, state, current, expected] : cases) {
        Script script =
            makeScript({folderItem("a", ""), findItem("f", "r", "o"), findItem("g")}, state);
        script.currentEntry = current;
        buildScriptLines(script);
        EXPECT_EQ(script.lines, expected) << name;
    }
    // Appending to an empty script: the placeholder belongs to no item.
    EXPECT_EQ(makeScript({}, ssAppend).lines,
              (ScriptLines{{slkBlank, -1}, {slkNewItem, -1}, {slkBlank, -1}}));
}

} // namespace
