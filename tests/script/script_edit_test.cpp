// The item editor's rules without a window: Accept, Delete, Up and Down.
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
    const std::string before = numbered(fourItems(0));
    for (const golden::Row& c : cases("accept")) {
        SCOPED_TRACE(c[0] + " at " + c[1] + ": " + c[2] + " " + c[3]);
        Script script = fourItems(std::stoi(c[1]));
        const AcceptOutcome outcome = acceptScriptItem(
            script, golden::named<ItemEdit>(c[0], kEdits), {c[2], "*", c[3], "", ""});
        EXPECT_EQ(outcome, golden::named<AcceptOutcome>(c[4], {"ok", "noFolders", "noFind"}));
        EXPECT_EQ(numbered(script), c[5]);
        EXPECT_EQ(script.currentEntry, std::stoi(c[6]));
        EXPECT_EQ(script.changed, c[5] != before);
    }
}

// Deletes never leave a Find/Replace item first; a Folder(s)/File(s) item may go when another
// follows.
TEST(ScriptEdit, MovesAndDeletesKeepGroupsWhole) {
    for (const golden::Row& c : cases("moves")) {
        SCOPED_TRACE(c[0]);
        Script script = makeScript({folderItem("/a", "*"), findItem("p"), findItem("q"),
                                    folderItem("/b", "*"), findItem("s")},
                                   ItemEdit::None, std::stoi(c[1]));
        const std::string before = numbered(script);
        const bool up = c[2] == "1";
        const bool moves = c[3] != before;
        if (c[2] == "delete") {
            EXPECT_EQ(deleteScriptItem(script), moves);
        } else {
            EXPECT_EQ(canMoveScriptItem(script, up), moves);
            EXPECT_EQ(moveScriptItem(script, up), moves);
        }
        EXPECT_EQ(numbered(script), c[3]);
        EXPECT_EQ(script.currentEntry, std::stoi(c[4]));
        EXPECT_EQ(script.changed, moves);
    }
    Script folders = makeScript({folderItem("/a", "*"), folderItem("/b", "*")});
    EXPECT_TRUE(deleteScriptItem(folders));
}

} // namespace
} // namespace kestrava::script::test
