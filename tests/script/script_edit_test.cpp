// The item editor's rules without a window: where Accept puts a new or changed item and when it
// starts a group, what Delete refuses, and how Up and Down keep groups whole.
#include "script_test_support.h"

#include "script/script_edit.h"

#include <gtest/gtest.h>

namespace kestrava::script::test {
namespace {

Script fourItems(int32_t current) {
    return makeScript({folderItem("/a", "*"), findItem("x"), folderItem("/b", "*"), findItem("y")},
                      ItemEdit::None, current);
}

// A refused item changes nothing; an accepted one becomes current and marks the script changed.
TEST(ScriptEdit, AcceptStartsAGroupWhereTheValuesDifferFromTheGroupBefore) {
    using enum ItemEdit;
    const AcceptOutcome ok = AcceptOutcome::Accepted;
    const AcceptOutcome noFolders = AcceptOutcome::NeedFoldersFiles;
    const AcceptOutcome noFind = AcceptOutcome::NeedFind;
    const std::string before = "1 /a, 1.1 x, 2 /b, 2.1 y";
    const std::tuple<ItemEdit, int32_t, const char*, const char*, AcceptOutcome, std::string,
                     int32_t>
        cases[] = {
            // edit, current, typed folders and find, outcome, items afterwards, current then
            {Insert, 1, "/a", "new", ok, "1 /a, 1.1 new, 1.2 x, 2 /b, 2.1 y", 1},
            {Insert, 0, "/a", "new", ok, "1 /a, 1.1 new, 2 /a, 2.1 x, 3 /b, 3.1 y", 1},
            {Insert, 2, "/b", "new", ok, "1 /a, 1.1 x, 2 /b, 2.1 new, 3 /b, 3.1 y", 3},
            {Insert, 3, "/c", "new", ok, "1 /a, 1.1 x, 2 /b, 3 /c, 3.1 new, 3.2 y", 4},
            {Insert, 1, "", "new", noFolders, before, 1},
            {Append, 0, "/b", "new", ok, before + ", 2.2 new", 4},
            {Append, 0, "/c", "", ok, before + ", 3 /c", 4},
            {Append, 0, "/b", "", noFind, before, 0},
            {Change, 1, "", "z", ok, "1 /a, 1.1 z, 2 /b, 2.1 y", 1},
            {Change, 2, "/q", "", ok, "1 /a, 1.1 x, 2 /q, 2.1 y", 2},
            {Change, 2, "", "z", noFolders, before, 2},
            {Change, 1, "/a", "", noFind, before, 1},
            {None, 1, "/q", "z", ok, before, 1},
        };
    for (const auto& [edit, current, folders, find, outcome, items, newCurrent] : cases) {
        SCOPED_TRACE(::testing::Message() << static_cast<int>(edit) << " at " << current << ": "
                                          << folders << " " << find);
        Script script = fourItems(current);
        EXPECT_EQ(acceptScriptItem(script, edit, {folders, "*", find, "", ""}), outcome);
        EXPECT_EQ(numbered(script), items);
        EXPECT_EQ(script.currentEntry, newCurrent);
        EXPECT_EQ(script.changed, items != before);
    }
}

TEST(ScriptEdit, DeleteNeverLeavesAFindFirst) {
    Script script = fourItems(0);
    EXPECT_FALSE(deleteScriptItem(script));
    EXPECT_EQ(script.entries.size(), 4u);
    script.currentEntry = 1;
    EXPECT_TRUE(deleteScriptItem(script)); // 1.1 goes: now a Folder(s)/File(s) item follows
    script.currentEntry = 0;
    EXPECT_TRUE(deleteScriptItem(script));
    EXPECT_EQ(numbered(script), "1 /b, 1.1 y");
    script.currentEntry = 1;
    EXPECT_TRUE(deleteScriptItem(script)); // the last item: the one before becomes current
    EXPECT_EQ(script.currentEntry, 0);
}

TEST(ScriptEdit, MovesKeepGroupsWhole) {
    const std::string before = "1 /a, 1.1 p, 1.2 q, 2 /b, 2.1 s";
    // what, current, up, items afterwards (unchanged: the move is refused), current then
    const std::tuple<const char*, int32_t, bool, std::string, int32_t> cases[] = {
        {"find down within its group", 1, false, "1 /a, 1.1 q, 1.2 p, 2 /b, 2.1 s", 2},
        {"last find down into the next group", 2, false, "1 /a, 1.1 p, 2 /b, 2.1 q, 2.2 s", 3},
        {"first find up into the group before", 4, true, "1 /a, 1.1 p, 1.2 q, 1.3 s, 2 /b", 3},
        {"first find of the first group cannot go up", 1, true, before, 1},
        {"group up past the group before", 3, true, "1 /b, 1.1 s, 2 /a, 2.1 p, 2.2 q", 0},
        {"group down past the next group", 0, false, "1 /b, 1.1 s, 2 /a, 2.1 p, 2.2 q", 2},
        {"last group cannot go down", 3, false, before, 3},
        {"first group cannot go up", 0, true, before, 0},
    };
    for (const auto& [what, current, up, items, newCurrent] : cases) {
        SCOPED_TRACE(what);
        Script script = makeScript({folderItem("/a", "*"), findItem("p"), findItem("q"),
                                    folderItem("/b", "*"), findItem("s")},
                                   ItemEdit::None, current);
        EXPECT_EQ(canMoveScriptItem(script, up), items != before);
        EXPECT_EQ(moveScriptItem(script, up), items != before);
        EXPECT_EQ(numbered(script), items);
        EXPECT_EQ(script.currentEntry, newCurrent);
        EXPECT_EQ(script.changed, items != before);
    }
}

} // namespace
} // namespace kestrava::script::test
