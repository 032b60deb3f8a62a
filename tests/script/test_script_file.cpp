// Reading and writing .ksc files: order rules, unknown lines, line ends, columns, trimming,
// the exact bytes written and the round trip.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

using namespace kes;
using kes::test::ErrorOf;
using kes::test::FindItem;
using kes::test::FolderItem;
using kes::test::MakeScript;
using kes::test::TempTree;

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
            text.empty() ? scratch.Path("none.ksc") : scratch.Write("s.ksc", text);
        TkesScript script = MakeScript({FolderItem("old", "*")}, ssAppend);
        script.FileName = "/old.ksc";
        script.Changed = true;
        EXPECT_EQ(ErrorOf([&] { LoadScript(script, path); }),
                  "Unable to load script file: " + path + "\r\n" + message);
        EXPECT_TRUE(script.Entries.empty() && script.Lines.empty() && script.FileName.empty())
            << message;
        EXPECT_TRUE(script.CurrentEntry == -1 && script.State == ssViewing && !script.Changed)
            << message;
    }
}

// Lines that end in CR LF, CR or LF, with a last line without an end and a NUL ending the text.
std::string Lines(const std::vector<std::string>& lines, const std::string& end) {
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
    const TkesScriptEntries twoGroupsItems{FolderItem("/d", "*.c"), FindItem("a", "b"),
                                           FolderItem("e", ""), FindItem("c")};
    const std::pair<std::string, TkesScriptEntries> cases[] = {
        {Lines(twoGroups, "\r\n"), twoGroupsItems},
        {Lines(twoGroups, "\r"), twoGroupsItems},
        {Lines(twoGroups, "\n"), twoGroupsItems},
        // Values start in column 13; only Find and Replace keep their blanks.
        {"Folder(s):XY  /d \t\r\nFile(s):    *.c  \r\n\r\n"
         "Find:         a b  \r\nReplace:    ^$ \r\nOptions:    x  \r\n\r\nFind:     \r\n",
         {FolderItem("/d", "*.c"), FindItem("  a b  ", "^$ ", "x"), FindItem("")}},
        {"", {}},
    };
    for (const auto& [text, entries] : cases) {
        TempTree scratch;
        TkesScript script;
        const std::string path = scratch.Write("s.ksc", text);
        ASSERT_EQ(ErrorOf([&] { LoadScript(script, path); }), "(no error)") << text;
        const TkesScript expected = MakeScript(entries);
        EXPECT_EQ(script.Entries, expected.Entries) << text;
        EXPECT_EQ(script.Lines, expected.Lines) << text;
        EXPECT_EQ(script.CurrentEntry, expected.CurrentEntry) << text;
        EXPECT_TRUE(script.FileName == path && !script.Changed) << text;
    }
}

TEST(ScriptWriting, WritesTheExactBytesAndReadsBackAllButOptions) {
    TempTree scratch;
    TkesScript script = MakeScript({FolderItem("/a <+>", "*.c|*.h"), FindItem(" x ", "y", "o"),
                                    FindItem(""), FolderItem("/b", ""), FindItem("z", "^$")});
    script.Changed = true;
    const std::string path = scratch.Path("rt.ksc");
    WriteScript(script, path);
    EXPECT_TRUE(script.FileName == path && !script.Changed);
    EXPECT_EQ(scratch.Read("rt.ksc"), "Folder(s):  /a <+>\r\nFile(s):    *.c|*.h\r\n\r\n"
                                      "Find:        x \r\nReplace:    y\r\n\r\n"
                                      "Find:       \r\n\r\n"
                                      "Folder(s):  /b\r\nFile(s):    \r\n\r\n"
                                      "Find:       z\r\nReplace:    ^$\r\n\r\n");
    EXPECT_EQ(ScriptText(MakeScript({})), "");
    TkesScript back;
    LoadScript(back, path);
    script.Entries[1].Text3.clear();
    BuildScriptLines(script);
    EXPECT_EQ(back.Entries, script.Entries);
    EXPECT_EQ(back.Lines, script.Lines);
}

TEST(ScriptWriting, FailureNamesThePathAndChangesNothing) {
    TempTree scratch;
    const std::pair<TkesScriptEntries, std::string> cases[] = {
        {{FolderItem("/a", "*")}, "missing/s.ksc"},
        // A value that would read back as other lines is refused.
        {{FolderItem("/a", "*"), FindItem("x\r\nFind:       y")}, "s.ksc"},
    };
    for (const auto& [entries, name] : cases) {
        TkesScript script = MakeScript(entries);
        script.FileName = "/before.ksc";
        script.Changed = true;
        const std::string path = scratch.Path(name);
        const std::string failure = ErrorOf([&] { WriteScript(script, path); });
        EXPECT_TRUE(failure.starts_with("Unable to save Script to " + path + ": ")) << failure;
        EXPECT_FALSE(std::filesystem::exists(path)) << name;
        EXPECT_TRUE(script.FileName == "/before.ksc" && script.Changed) << name;
    }
}

} // namespace
