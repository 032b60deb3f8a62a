// The script model: the line view in each editing state. Numbering is proven by the editor
// tests, whose expectations are numbered items.
#include "script_test_support.h"

#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::script;
using kestrava::script::test::findItem;
using kestrava::script::test::folderItem;
using kestrava::script::test::makeScript;

namespace {

ScriptLines with(ScriptLines rows, size_t at, const ScriptLines& extra) {
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
    return rows;
}

TEST(ScriptLineView, HasThePlaceholderRowsOfANewItem) {
    // Items: 0 folders/files, 1 find with replace and options, 2 find only.
    const ScriptLines plain{
        {ScriptLineKind::Folders, 0}, {ScriptLineKind::Files, 0},   {ScriptLineKind::Blank, 0},
        {ScriptLineKind::Find, 1},    {ScriptLineKind::Replace, 1}, {ScriptLineKind::Options, 1},
        {ScriptLineKind::Blank, 1},   {ScriptLineKind::Find, 2},    {ScriptLineKind::Blank, 2}};
    const std::tuple<const char*, ItemEdit, int32_t, ScriptLines> cases[] = {
        {"None", ItemEdit::None, 1, plain},
        {"Change", ItemEdit::Change, 2, plain},
        {"Append", ItemEdit::Append, 0,
         with(plain, 9,
              {{ScriptLineKind::Blank, 2},
               {ScriptLineKind::NewItem, 2},
               {ScriptLineKind::Blank, 2}})},
        {"InsertBeforeSecond", ItemEdit::Insert, 1,
         with(plain, 3, {{ScriptLineKind::NewItem, 0}, {ScriptLineKind::Blank, 0}})},
        {"InsertAtFirst", ItemEdit::Insert, 0,
         with(plain, 0, {{ScriptLineKind::NewItem, -1}, {ScriptLineKind::Blank, -1}})},
    };
    for (const auto& [name, edit, current, expected] : cases) {
        Script script =
            makeScript({folderItem("a", ""), findItem("f", "r", "o"), findItem("g")}, edit);
        script.currentEntry = current;
        buildScriptLines(script, edit);
        EXPECT_EQ(script.lines, expected) << name;
    }
    // Appending to an empty script: the placeholder belongs to no item.
    EXPECT_EQ(makeScript({}, ItemEdit::Append).lines, (ScriptLines{{ScriptLineKind::Blank, -1},
                                                                   {ScriptLineKind::NewItem, -1},
                                                                   {ScriptLineKind::Blank, -1}}));
}

} // namespace
