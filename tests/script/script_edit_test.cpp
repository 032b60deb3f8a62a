// The item editor's rules without a window: where Insert puts a new item and when it starts a
// group, what Delete refuses, and how Up and Down keep groups whole.
#include "script/script_edit.h"

#include <gtest/gtest.h>

namespace kestrava::script {
namespace {

using Items = std::vector<std::string>;

ScriptEntry folderFile(const std::string& folders) {
    return ScriptEntry::folderFile(folders, "*");
}
ScriptEntry find(const std::string& text) {
    return ScriptEntry::findReplace(text);
}

Script makeScript(ScriptEntries entries, int32_t current) {
    Script script;
    script.entries = std::move(entries);
    script.currentEntry = current;
    numberScriptEntries(script);
    return script;
}

// The items as the grid numbers them with their first text: "1 /a", "1.1 x", ...
Items numbered(const Script& script) {
    Items items;
    for (const ScriptEntry& e : script.entries)
        items.push_back(scriptItemNumber(e) + " " + e.heading());
    return items;
}

TEST(ScriptEdit, InsertComparesWithTheGroupBeforeTheInsertionPoint) {
    const struct {
        const char* name;
        int32_t current;
        std::string folders;
        Items expected;
        int32_t newCurrent;
    } cases[] = {
        {"before the first find of a group joins the group",
         1,
         "/a",
         {"1 /a", "1.1 new", "1.2 x", "2 /b", "2.1 y"},
         1},
        {"at the very first item always starts a group",
         0,
         "/a",
         {"1 /a", "1.1 new", "2 /a", "2.1 x", "3 /b", "3.1 y"},
         1},
        {"before a group with other values copies them into a new group",
         2,
         "/b",
         {"1 /a", "1.1 x", "2 /b", "2.1 new", "3 /b", "3.1 y"},
         3},
        {"other folders start a group that takes the following items",
         3,
         "/c",
         {"1 /a", "1.1 x", "2 /b", "3 /c", "3.1 new", "3.2 y"},
         4},
    };
    for (const auto& c : cases) {
        Script script =
            makeScript({folderFile("/a"), find("x"), folderFile("/b"), find("y")}, c.current);
        EXPECT_EQ(acceptScriptItem(script, ItemEdit::Insert, {c.folders, "*", "new", "", ""}),
                  AcceptOutcome::Accepted)
            << c.name;
        EXPECT_EQ(numbered(script), c.expected) << c.name;
        EXPECT_EQ(script.currentEntry, c.newCurrent) << c.name;
    }
}

TEST(ScriptEdit, DeleteNeverLeavesAFindFirst) {
    Script script = makeScript({folderFile("/a"), find("x"), folderFile("/b"), find("y")}, 0);
    EXPECT_FALSE(deleteScriptItem(script));
    EXPECT_EQ(script.entries.size(), 4u);
    script.currentEntry = 1;
    EXPECT_TRUE(deleteScriptItem(script)); // 1.1 goes: now a Folder(s)/File(s) item follows
    script.currentEntry = 0;
    EXPECT_TRUE(deleteScriptItem(script));
    EXPECT_EQ(numbered(script), (Items{"1 /b", "1.1 y"}));
}

TEST(ScriptEdit, MovesKeepGroupsWhole) {
    const struct {
        const char* name;
        int32_t current;
        bool up;
        Items expected; // empty: the move is refused
        int32_t newCurrent;
    } cases[] = {
        {"find down within its group", 1, false, {"1 /a", "1.1 q", "1.2 p", "2 /b", "2.1 s"}, 2},
        {"last find down into the next group",
         2,
         false,
         {"1 /a", "1.1 p", "2 /b", "2.1 q", "2.2 s"},
         3},
        {"first find up into the group before",
         4,
         true,
         {"1 /a", "1.1 p", "1.2 q", "1.3 s", "2 /b"},
         3},
        {"first find of the first group cannot go up", 1, true, {}, 1},
        {"group up past the group before", 3, true, {"1 /b", "1.1 s", "2 /a", "2.1 p", "2.2 q"}, 0},
        {"group down past the next group",
         0,
         false,
         {"1 /b", "1.1 s", "2 /a", "2.1 p", "2.2 q"},
         2},
        {"last group cannot go down", 3, false, {}, 3},
        {"first group cannot go up", 0, true, {}, 0},
    };
    for (const auto& c : cases) {
        Script script = makeScript(
            {folderFile("/a"), find("p"), find("q"), folderFile("/b"), find("s")}, c.current);
        const Items before = numbered(script);
        EXPECT_EQ(canMoveScriptItem(script, c.up), !c.expected.empty()) << c.name;
        EXPECT_EQ(moveScriptItem(script, c.up), !c.expected.empty()) << c.name;
        EXPECT_EQ(numbered(script), c.expected.empty() ? before : c.expected) << c.name;
        EXPECT_EQ(script.currentEntry, c.newCurrent) << c.name;
        EXPECT_EQ(script.changed, !c.expected.empty()) << c.name;
    }
}

} // namespace
} // namespace kestrava::script
