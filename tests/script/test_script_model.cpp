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

TEST(ScriptNumbering, ClearScriptForgetsEverything) {
    TkesScript script = MakeScript({FolderItem("a", "*")}, ssAppend);
    script.FileName = "/x.ksc";
    script.Changed = true;
    ClearScript(script);
    EXPECT_EQ(script.State, ssViewing);
    EXPECT_TRUE(script.FileName.empty() && script.Entries.empty() && script.Lines.empty());
    EXPECT_FALSE(script.Changed);
    EXPECT_EQ(script.CurrentEntry, -1);
}

struct TLineViewCase {
    const char* Name;
    TkesScriptState State;
    int32_t Current;
    TkesScriptLines Expected;
};

void PrintTo(const TLineViewCase& c, std::ostream* os) {
    *os << c.Name;
}

// Items: 0 folders/files, 1 find with replace and options, 2 find only.
const TkesScriptLines kPlainRows{{slkFolders, 0}, {slkFiles, 0},   {slkBlank, 0},
                                 {slkFind, 1},    {slkReplace, 1}, {slkOptions, 1},
                                 {slkBlank, 1},   {slkFind, 2},    {slkBlank, 2}};

TkesScriptLines With(TkesScriptLines rows, size_t at, const TkesScriptLines& extra) {
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
    return rows;
}

class ScriptLineView : public ::testing::TestWithParam<TLineViewCase> {};

TEST_P(ScriptLineView, HasTheRowsOfTheState) {
    TkesScript script =
        MakeScript({FolderItem("a", ""), FindItem("f", "r", "o"), FindItem("g")}, GetParam().State);
    script.CurrentEntry = GetParam().Current;
    BuildScriptLines(script);
    EXPECT_EQ(script.Lines, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    ScriptStates, ScriptLineView,
    ::testing::Values(TLineViewCase{"Viewing", ssViewing, 1, kPlainRows},
                      TLineViewCase{"Change", ssChange, 2, kPlainRows},
                      TLineViewCase{"Results", ssResults, 0, kPlainRows},
                      TLineViewCase{
                          "Append", ssAppend, 0,
                          With(kPlainRows, 9, {{slkBlank, 2}, {slkNewItem, 2}, {slkBlank, 2}})},
                      TLineViewCase{"InsertBeforeSecond", ssInsert, 1,
                                    With(kPlainRows, 3, {{slkNewItem, 0}, {slkBlank, 0}})},
                      TLineViewCase{"InsertAtFirst", ssInsert, 0,
                                    With(kPlainRows, 0, {{slkNewItem, -1}, {slkBlank, -1}})}),
    [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(ScriptLineView, AppendToAnEmptyScriptBelongsToNoItem) {
    const TkesScript script = MakeScript({}, ssAppend);
    EXPECT_EQ(script.Lines, (TkesScriptLines{{slkBlank, -1}, {slkNewItem, -1}, {slkBlank, -1}}));
}

} // namespace
