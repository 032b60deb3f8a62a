// Reading and writing .ksc files: order rules, unknown lines, line ends, columns, trimming,
// the exact bytes written and the round trip.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

using namespace kes;
using kes::test::FindItem;
using kes::test::FolderItem;
using kes::test::MakeScript;
using kes::test::TScratch;

namespace {

const std::string kHead = "Folder(s):  /data\r\nFile(s):    *.txt\r\n\r\n";

// Loads the bytes from a file; returns the failure's message, or "" when it read.
std::string LoadText(const TScratch& scratch, const std::string& bytes, TkesScript& script) {
    const std::string path = scratch.Write("s.ksc", bytes);
    try {
        LoadScript(script, path);
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "";
}

struct TRejectCase {
    const char* Name;
    std::string Text;
    std::string Message; // after "Unable to load script file: " + path + CR LF
};

void PrintTo(const TRejectCase& c, std::ostream* os) {
    *os << c.Name;
}

class ScriptRejected : public ::testing::TestWithParam<TRejectCase> {};

TEST_P(ScriptRejected, FailsWithTheMessageAndLeavesTheScriptEmpty) {
    TScratch scratch;
    TkesScript script = MakeScript({FolderItem("old", "*")});
    script.FileName = "/old.ksc";
    const std::string message = LoadText(scratch, GetParam().Text, script);
    EXPECT_EQ(message,
              "Unable to load script file: " + scratch.Path("s.ksc") + "\r\n" + GetParam().Message);
    EXPECT_TRUE(script.Entries.empty() && script.Lines.empty() && script.FileName.empty());
    EXPECT_EQ(script.CurrentEntry, -1);
}

INSTANTIATE_TEST_SUITE_P(
    ScriptReading, ScriptRejected,
    ::testing::Values(
        TRejectCase{"FindFirst", "Find:       x\r\n",
                    "Folder(s) and File(s) must be defined before this line Find:       x"},
        TRejectCase{"FindAfterIncompleteGroup", "Folder(s):  a\r\nFind:       x\r\n",
                    "Invalid line type prior to: \"Find:       x\""},
        TRejectCase{"ReplaceAfterFolders", "Folder(s):  a\r\nReplace:    x\r\n",
                    "Invalid line type prior to: \"Replace:    x\""},
        TRejectCase{"FoldersAfterFind", kHead + "Find:       x\r\nFolder(s):  b\r\n",
                    "Invalid line type prior to: \"Folder(s):  b\""},
        TRejectCase{"TwoFilesLines", "Folder(s):  a\r\nFile(s):    b\r\nFile(s):    c\r\n",
                    "Invalid line type prior to: \"File(s):    c\""},
        TRejectCase{"FilesFirst", "File(s):    b\r\n",
                    "Invalid line type prior to: \"File(s):    b\""},
        TRejectCase{"ReplaceAfterOptions",
                    kHead + "Find:       x\r\nOptions:    o\r\nReplace:    y\r\n",
                    "Invalid line type prior to: \"Replace:    y\""},
        TRejectCase{"OptionsAfterBlank", kHead + "Options:    o\r\n",
                    "Invalid line type prior to: \"Options:    o\""},
        TRejectCase{"FindAlone", kHead + "Find:\r\n", "Unknown line in script: Find:"},
        TRejectCase{"OtherLetterCase", kHead + "find:       x\r\n",
                    "Unknown line in script: find:       x"},
        TRejectCase{"OneBlankAfterColon", "File(s): *.txt",
                    "Unknown line in script: File(s): *.txt"},
        TRejectCase{"BlanksOnly", kHead + "   \r\n", "Unknown line in script:    "}),
    [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(ScriptReading, MissingFileGivesTheSystemMessage) {
    TScratch scratch;
    TkesScript script;
    const std::string path = scratch.Path("none.ksc");
    try {
        LoadScript(script, path);
        FAIL() << "read a missing file";
    } catch (const std::runtime_error& failure) {
        EXPECT_EQ(std::string(failure.what()), "Unable to load script file: " + path +
                                                   "\r\nOpen Error: No such file or directory");
    }
}

TEST(ScriptReading, EmptyFileIsAnEmptyScriptWithItsName) {
    TScratch scratch;
    TkesScript script;
    EXPECT_EQ(LoadText(scratch, "", script), "");
    EXPECT_TRUE(script.Entries.empty());
    EXPECT_EQ(script.CurrentEntry, -1);
    EXPECT_EQ(script.FileName, scratch.Path("s.ksc"));
}

TEST(ScriptReading, EveryLineEndReadsTheSame) {
    const TkesScriptEntries expected{FolderItem("/d", "*.c"), FindItem("a", "b"), FindItem("c")};
    for (const char* end : {"\r\n", "\r", "\n"}) {
        TScratch scratch;
        TkesScript script;
        const std::string e = end;
        std::string text; // two blank lines before the last, which has no line end
        for (const char* line :
             {"Folder(s):  /d", "File(s):    *.c", "", "Find:       a", "Replace:    b", "", ""})
            text.append(line).append(e);
        text += "Find:       c";
        ASSERT_EQ(LoadText(scratch, text, script), "") << "line end " << e.size();
        EXPECT_EQ(script.Entries, MakeScript(expected).Entries) << "line end " << e.size();
    }
}

TEST(ScriptReading, NulEndsTheText) {
    TScratch scratch;
    TkesScript script;
    ASSERT_EQ(
        LoadText(scratch, kHead + "Find:       x\r\n" + std::string(1, '\0') + "junk", script), "");
    EXPECT_EQ(script.Entries.size(), 2u);
}

TEST(ScriptReading, ValuesStartInColumn13AndOnlyFindAndReplaceKeepTheirBlanks) {
    TScratch scratch;
    TkesScript script;
    ASSERT_EQ(LoadText(scratch,
                       "Folder(s):XY  /d \t\r\nFile(s):    *.c  \r\n\r\n"
                       "Find:         a b  \r\nReplace:    ^$ \r\nOptions:    x  \r\n\r\n"
                       "Find:     \r\n",
                       script),
              "");
    EXPECT_EQ(script.Entries,
              MakeScript({FolderItem("/d", "*.c"), FindItem("  a b  ", "^$ ", "x"), FindItem("")})
                  .Entries);
}

TEST(ScriptReading, NumbersTheItemsAndBuildsTheLineView) {
    TScratch scratch;
    TkesScript script;
    ASSERT_EQ(LoadText(scratch, kHead + "Find:       x\r\n\r\nFolder(s):  b\r\n\r\nFind:       y",
                       script),
              "");
    const TkesScript expected = MakeScript(
        {FolderItem("/data", "*.txt"), FindItem("x"), FolderItem("b", ""), FindItem("y")});
    EXPECT_EQ(script.Entries, expected.Entries);
    EXPECT_EQ(script.Entries[3].ItemNo, 2);
    EXPECT_EQ(script.Lines, expected.Lines);
    EXPECT_EQ(script.CurrentEntry, 0);
    EXPECT_FALSE(script.Changed);
}

TEST(ScriptWriting, ProducesTheExactBytes) {
    const TkesScript script = MakeScript({FolderItem("/t", "*.txt"), FindItem("colou?r", "color"),
                                          FindItem("[0-9]+", "", "opt"), FolderItem("/u", "")});
    EXPECT_EQ(ScriptText(script), "Folder(s):  /t\r\nFile(s):    *.txt\r\n\r\n"
                                  "Find:       colou?r\r\nReplace:    color\r\n\r\n"
                                  "Find:       [0-9]+\r\n\r\n"
                                  "Folder(s):  /u\r\nFile(s):    \r\n\r\n");
    EXPECT_EQ(ScriptText(MakeScript({})), "");
}

TEST(ScriptWriting, RoundTripKeepsEverythingButOptions) {
    TScratch scratch;
    TkesScript script = MakeScript({FolderItem("/a <+>", "*.c|*.h"), FindItem(" x ", "y", "o"),
                                    FindItem(""), FolderItem("/b", ""), FindItem("z", "^$")});
    script.Changed = true;
    const std::string path = scratch.Path("rt.ksc");
    WriteScript(script, path);
    EXPECT_EQ(script.FileName, path);
    EXPECT_FALSE(script.Changed);
    TkesScript back;
    LoadScript(back, path);
    script.Entries[1].Text3.clear();
    BuildScriptLines(script);
    EXPECT_EQ(back.Entries, script.Entries);
    EXPECT_EQ(back.Lines, script.Lines);
}

TEST(ScriptWriting, FailureNamesThePathAndChangesNothing) {
    TScratch scratch;
    TkesScript script = MakeScript({FolderItem("/a", "*")});
    script.FileName = "/before.ksc";
    script.Changed = true;
    const std::string path = scratch.Path("missing/s.ksc");
    try {
        WriteScript(script, path);
        FAIL() << "wrote into a missing folder";
    } catch (const std::runtime_error& failure) {
        EXPECT_EQ(std::string(failure.what()).rfind("Unable to save Script to " + path + ": ", 0),
                  0u)
            << failure.what();
    }
    EXPECT_EQ(script.FileName, "/before.ksc");
    EXPECT_TRUE(script.Changed);
}

TEST(ScriptWriting, RefusesAValueThatWouldReadBackAsOtherLines) {
    TScratch scratch;
    TkesScript script = MakeScript({FolderItem("/a", "*"), FindItem("x\r\nFind:       y")});
    const std::string path = scratch.Path("s.ksc");
    EXPECT_THROW(WriteScript(script, path), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
