// Reading and writing .ksc files: order rules, unknown lines, line ends, columns, trimming,
// the exact bytes written and the round trip.
#include "script_test_support.h"

#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::script;
using namespace kestrava::script::test;

namespace {

const std::string kHead = "Folder(s):  /data\r\nFile(s):    *.txt\r\n\r\n";

TEST(ScriptReading, RefusedTextFailsWithItsMessageAndLeavesTheScriptEmpty) {
    const std::pair<std::string, std::string> cases[] = {
        // text, message
        {"Find:       x\r\n",
         "Folder(s) and File(s) must be defined before this line Find:       x"},
        {"Folder(s):  a\r\nFind:       x\r\n", "Invalid line type prior to: \"Find:       x\""},
        {"Folder(s):  a\r\nReplace:    x\r\n", "Invalid line type prior to: \"Replace:    x\""},
        {kHead + "Find:       x\r\nFolder(s):  b\r\n",
         "Invalid line type prior to: \"Folder(s):  b\""},
        {"Folder(s):  a\r\nFile(s):    b\r\nFile(s):    c\r\n",
         "Invalid line type prior to: \"File(s):    c\""},
        {"File(s):    b\r\n", "Invalid line type prior to: \"File(s):    b\""},
        {kHead + "Find:       x\r\nOptions:    o\r\nReplace:    y\r\n",
         "Invalid line type prior to: \"Replace:    y\""},
        {kHead + "Options:    o\r\n", "Invalid line type prior to: \"Options:    o\""},
        {kHead + "Find:\r\n", "Unknown line in script: Find:"},
        {kHead + "find:       x\r\n", "Unknown line in script: find:       x"},
        {"File(s): *.txt", "Unknown line in script: File(s): *.txt"},
        {kHead + "   \r\n", "Unknown line in script:    "},
        {"", "Open Error: No such file or directory"}, // no file at all
    };
    for (const auto& [text, message] : cases) {
        TempTree scratch;
        const std::string path =
            text.empty() ? scratch.path("none.ksc") : scratch.write("s.ksc", text);
        Script script = makeScript({folderItem("old", "*")}, ItemEdit::Append);
        script.fileName = "/old.ksc";
        script.changed = true;
        EXPECT_EQ(errorOf([&] { loadScript(script, path); }),
                  "Unable to load script file: " + path + "\r\n" + message);
        EXPECT_TRUE(script.entries.empty() && script.lines.empty() && script.fileName.empty())
            << message;
        EXPECT_TRUE(script.currentEntry == -1 && !script.changed) << message;
    }
}

// Lines that end in CR LF, CR or LF, with a last line without an end and a NUL ending the text.
std::string lines(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines)
        text += line + end;
    return text + "Find:       c" + std::string(1, '\0') + "Find:       junk";
}

TEST(ScriptReading, AcceptedTextGivesItsItemsNumberedWithTheLineView) {
    const std::vector<std::string> twoGroups{"Folder(s):  /d",
                                             "File(s):    *.c",
                                             "",
                                             "Find:       a",
                                             "Replace:    b",
                                             "",
                                             "",
                                             "Folder(s):  e",
                                             "",
                                             ""};
    const ScriptEntries twoGroupsItems{folderItem("/d", "*.c"), findItem("a", "b"),
                                       folderItem("e", ""), findItem("c")};
    const std::pair<std::string, ScriptEntries> cases[] = {
        {lines(twoGroups, "\r\n"), twoGroupsItems},
        {lines(twoGroups, "\r"), twoGroupsItems},
        {lines(twoGroups, "\n"), twoGroupsItems},
        // Values start in column 13; only Find and Replace keep their blanks.
        {"Folder(s):XY  /d \t\r\nFile(s):    *.c  \r\n\r\n"
         "Find:         a b  \r\nReplace:    ^$ \r\nOptions:    x  \r\n\r\nFind:     \r\n",
         {folderItem("/d", "*.c"), findItem("  a b  ", "^$ ", "x"), findItem("")}},
        {"", {}},
    };
    for (const auto& [text, entries] : cases) {
        TempTree scratch;
        Script script;
        const std::string path = scratch.write("s.ksc", text);
        ASSERT_EQ(errorOf([&] { loadScript(script, path); }), "(no error)") << text;
        const Script expected = makeScript(entries);
        EXPECT_EQ(script.entries, expected.entries) << text;
        EXPECT_EQ(script.lines, expected.lines) << text;
        EXPECT_EQ(script.currentEntry, expected.currentEntry) << text;
        EXPECT_TRUE(script.fileName == path && !script.changed) << text;
    }
}

TEST(ScriptWriting, WritesTheExactBytesAndReadsBackAllButOptions) {
    TempTree scratch;
    Script script = makeScript({folderItem("/a <+>", "*.c|*.h"), findItem(" x ", "y", "o"),
                                findItem(""), folderItem("/b", ""), findItem("z", "^$")});
    script.changed = true;
    const std::string path = scratch.path("rt.ksc");
    writeScript(script, path);
    EXPECT_TRUE(script.fileName == path && !script.changed);
    EXPECT_EQ(scratch.read("rt.ksc"), "Folder(s):  /a <+>\r\nFile(s):    *.c|*.h\r\n\r\n"
                                      "Find:        x \r\nReplace:    y\r\n\r\n"
                                      "Find:       \r\n\r\n"
                                      "Folder(s):  /b\r\nFile(s):    \r\n\r\n"
                                      "Find:       z\r\nReplace:    ^$\r\n\r\n");
    EXPECT_EQ(scriptText(makeScript({})), "");
    Script back;
    loadScript(back, path);
    script.entries[1].options.clear();
    buildScriptLines(script);
    EXPECT_EQ(back.entries, script.entries);
    EXPECT_EQ(back.lines, script.lines);
}

TEST(ScriptWriting, FailureNamesThePathAndChangesNothing) {
    TempTree scratch;
    const std::pair<ScriptEntries, std::string> cases[] = {
        {{folderItem("/a", "*")}, "missing/s.ksc"},
        // A value that would read back as other lines is refused.
        {{folderItem("/a", "*"), findItem("x\r\nFind:       y")}, "s.ksc"},
    };
    for (const auto& [entries, name] : cases) {
        Script script = makeScript(entries);
        script.fileName = "/before.ksc";
        script.changed = true;
        const std::string path = scratch.path(name);
        const std::string failure = errorOf([&] { writeScript(script, path); });
        EXPECT_TRUE(failure.starts_with("Unable to save Script to " + path + ": ")) << failure;
        EXPECT_FALSE(std::filesystem::exists(path)) << name;
        EXPECT_TRUE(script.fileName == "/before.ksc" && script.changed) << name;
    }
}

} // namespace
