// The script model: numbering and the line view in each editing state.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

using namespace kes;
using kes::test::FindItem;
using kes::test::FolderItem;
using kes::test::MakeScript;

namespace {

TEST(ScriptNumbering, GroupsCountFromOneAndMembersRestartInEachGroup) {
    const TkesScript script =
        MakeScript({FolderItem("a", "*"), FindItem("x"), FindItem("y"), FolderItem("b", "*"),
                    FolderItem("c", "*"), FindItem("z")});
    std::vector<std::string> numbers;
    for (const TkesScriptEntry& entry : script.Entries)
        numbers.push_back(ScriptItemNumber(entry));
    EXPECT_EQ(numbers, (std::vector<std::string>{"1", "1.1", "1.2", "2", "3", "3.1"}));
}

TkesScriptLines With(TkesScriptLines rows, size_t at, const TkesScriptLines& extra) {
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
    return rows;
}

TEST(ScriptLineView, HasTheRowsOfEachState) {
    // Items: 0 folders/files, 1 find with replace and options, 2 find only.
    const TkesScriptLines plain{{slkFolders, 0}, {slkFiles, 0},   {slkBlank, 0},
                                {slkFind, 1},    {slkReplace, 1}, {slkOptions, 1},
                                {slkBlank, 1},   {slkFind, 2},    {slkBlank, 2}};
    const std::tuple<const char*, TkesScriptState, int32_t, TkesScriptLines> cases[] = {
        {"Viewing", ssViewing, 1, plain},
        {"Change", ssChange, 2, plain},
        {"Results", ssResults, 0, plain},
        {"Append", ssAppend, 0, With(plain, 9, {{slkBlank, 2}, {slkNewItem, 2}, {slkBlank, 2}})},
        {"InsertBeforeSecond", ssInsert, 1, With(plain, 3, {{slkNewItem, 0}, {slkBlank, 0}})},
        {"InsertAtFirst", ssInsert, 0, With(plain, 0, {{slkNewItem, -1}, {slkBlank, -1}})},
    };
    for (const auto& [name, state, current, expected] : cases) {
        TkesScript script =
            MakeScript({FolderItem("a", ""), FindItem("f", "r", "o"), FindItem("g")}, state);
        script.CurrentEntry = current;
        BuildScriptLines(script);
        EXPECT_EQ(script.Lines, expected) << name;
    }
    // Appending to an empty script: the placeholder belongs to no item.
    EXPECT_EQ(MakeScript({}, ssAppend).Lines,
              (TkesScriptLines{{slkBlank, -1}, {slkNewItem, -1}, {slkBlank, -1}}));
}

} // namespace
