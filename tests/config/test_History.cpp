// kestrava.ini: load order through the window's callbacks, re-validation of stored entries, the
// written layout, and exact round trips of awkward entries.
#include "config/kes_uHistory.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kes {
namespace {

// Records every callback as one line, e.g. "add FoldersToSearch c:\temp" or "index Find... 0".
struct TRecorder {
    std::vector<std::string> Log;
    std::string RejectedEntry = "\x01"; // the fake parser refuses only this entry

    THistoryLoadCallbacks Callbacks() {
        THistoryLoadCallbacks cb;
        cb.ValidateFolders = [this](const std::string& entry) {
            Log.push_back("check folders " + entry);
            if (entry == RejectedEntry)
                throw std::runtime_error("Invalid Syntax for Folders To Search: " + entry);
        };
        cb.ValidateFiles = [this](const std::string& entry) {
            Log.push_back("check files " + entry);
            if (entry == RejectedEntry)
                throw std::runtime_error("Invalid Syntax for Files To Search: " + entry);
        };
        cb.AddItem = [this](THistoryBox box, const std::string& entry) {
            Log.push_back("add " + std::string(kHistorySections[box]) + " " + entry);
        };
        cb.SetItemIndex = [this](THistoryBox box, int32_t index) {
            Log.push_back("index " + std::string(kHistorySections[box]) + " " +
                          std::to_string(index));
        };
        return cb;
    }

    // Only the "add ..." lines.
    std::vector<std::string> Added() const {
        std::vector<std::string> added;
        for (const auto& line : Log) {
            if (line.starts_with("add "))
                added.push_back(line);
        }
        return added;
    }
};

const char* const kExampleText = "[RootFolders]\n"
                                 "1=c:\\projects\n"
                                 "[FoldersToSearch]\n"
                                 "1=c:\\temp<+>\n"
                                 "2=d:\\src<+><excluding obj,bin>\n"
                                 "[FilesToSearch]\n"
                                 "1=*.pas | *.dfm\n"
                                 "[FindExpressions]\n"
                                 "1=\\bTODO\\b\n"
                                 "[ItemIndex]\n"
                                 "FoldersToSearch=1\n"
                                 "FilesToSearch=0\n"
                                 "FindExpressions=0\n"
                                 "ReplaceExpressions=-1\n";

THistoryBoxes ExampleBoxes() {
    THistoryBoxes boxes;
    boxes[hbRootFolders].Items = {"c:\\projects"};
    boxes[hbFoldersToSearch] = {{"c:\\temp<+>", "d:\\src<+><excluding obj,bin>"}, 1};
    boxes[hbFilesToSearch] = {{"*.pas | *.dfm"}, 0};
    boxes[hbFindExpressions] = {{"\\bTODO\\b"}, 0};
    return boxes;
}

std::string LoadError(std::string_view text, TRecorder& recorder) {
    try {
        LoadHistoryFromText(text, recorder.Callbacks());
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no error)";
}

// ---- Writing ----

TEST(HistorySave, ExampleLayout) {
    EXPECT_EQ(HistoryToText(ExampleBoxes()), kExampleText);
}

TEST(HistorySave, AllEmptyWritesOnlyTheIndices) {
    EXPECT_EQ(HistoryToText(THistoryBoxes{}), "[ItemIndex]\nFoldersToSearch=-1\nFilesToSearch=-1\n"
                                              "FindExpressions=-1\nReplaceExpressions=-1\n");
}

TEST(HistorySave, LineBreaksInsideAnEntryCannotBreakTheFile) {
    THistoryBoxes boxes;
    boxes[hbFindExpressions].Items = {"a\r\nb", "x\n[ItemIndex]\nFoldersToSearch=7"};
    const std::string start =
        "[FindExpressions]\n1=a  b\n2=x [ItemIndex] FoldersToSearch=7\n[ItemIndex]\n";
    EXPECT_EQ(HistoryToText(boxes).substr(0, start.size()), start);
    TRecorder recorder;
    LoadHistoryFromText(HistoryToText(boxes), recorder.Callbacks());
    EXPECT_EQ(recorder.Log.back(), "index ReplaceExpressions -1");
    EXPECT_EQ(recorder.Log[3], "index FoldersToSearch -1");
}

TEST(HistorySave, CreatesTheFolderAndReportsFailure) {
    test::TTempFolder folder;
    const std::string fileName = folder.Path() + "a/b/kestrava.ini";
    SaveHistory(fileName, ExampleBoxes());
    EXPECT_EQ(test::ReadFileBytes(fileName), kExampleText);
    test::WriteFileBytes(folder.Path() + "plain", "x");
    try {
        SaveHistory(folder.Path() + "plain/kestrava.ini", ExampleBoxes());
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(folder.Path() + "plain"), std::string::npos)
            << e.what();
    }
}

// ---- Loading ----

TEST(HistoryLoad, SectionsInBoxOrderEntriesInFileOrderThenIndices) {
    // Sections deliberately out of order in the file; keys are not interpreted.
    const std::string text = "[ItemIndex]\nFindExpressions=3\nfoldersTOsearch=+2\n"
                             "[ReplaceExpressions]\n9=r1\n1=r2\n"
                             "[FoldersToSearch]\nb=/b\na=/a\n"
                             "[RootFolders]\n1=/root\n";
    TRecorder recorder;
    LoadHistoryFromText(text, recorder.Callbacks());
    const std::vector<std::string> expected = {
        "check folders /root",        "add RootFolders /root",     "check folders /b",
        "add FoldersToSearch /b",     "check folders /a",          "add FoldersToSearch /a",
        "add ReplaceExpressions r1",  "add ReplaceExpressions r2", "index RootFolders -1",
        "index FoldersToSearch 2",    "index FilesToSearch -1",    "index FindExpressions 3",
        "index ReplaceExpressions -1"};
    EXPECT_EQ(recorder.Log, expected);
}

TEST(HistoryLoad, ExampleFileWithCrLfLinesAndAByteOrderMark) {
    std::string text = "\xEF\xBB\xBF";
    for (const char* p = kExampleText; *p; ++p)
        text += *p == '\n' ? std::string("\r\n") : std::string(1, *p);
    TRecorder recorder;
    LoadHistoryFromText(text, recorder.Callbacks());
    const std::vector<std::string> added = {
        "add RootFolders c:\\projects", "add FoldersToSearch c:\\temp<+>",
        "add FoldersToSearch d:\\src<+><excluding obj,bin>", "add FilesToSearch *.pas | *.dfm",
        "add FindExpressions \\bTODO\\b"};
    EXPECT_EQ(recorder.Added(), added);
    EXPECT_EQ(recorder.Log.back(), "index ReplaceExpressions -1");
}

TEST(HistoryLoad, EmptyEntriesAndStrayLinesAreSkipped) {
    TRecorder recorder;
    LoadHistoryFromText("1=before any section\n[FilesToSearch]\n1=\n; note\nno equals sign\n\n"
                        "2=*.txt\n",
                        recorder.Callbacks());
    EXPECT_EQ(recorder.Added(), std::vector<std::string>{"add FilesToSearch *.txt"});
    EXPECT_EQ(recorder.Log.front(), "check files *.txt"); // the empty entry is not even checked
}

TEST(HistoryLoad, UnreadableIndicesFallBackToNone) {
    TRecorder recorder;
    LoadHistoryFromText("[ItemIndex]\nFoldersToSearch=abc\nFilesToSearch=\n"
                        "FindExpressions=99999999999\nReplaceExpressions= 4 \n",
                        recorder.Callbacks());
    const std::vector<std::string> expected = {"index RootFolders -1", "index FoldersToSearch -1",
                                               "index FilesToSearch -1", "index FindExpressions -1",
                                               "index ReplaceExpressions 4"};
    EXPECT_EQ(recorder.Log, expected);
}

TEST(HistoryLoad, RejectedFolderStopsTheLoadThere) {
    TRecorder recorder;
    recorder.RejectedEntry = "bad<+";
    const std::string text = "[FoldersToSearch]\n1=/good\n2=bad<+\n3=/never\n"
                             "[FilesToSearch]\n1=*.c\n[FindExpressions]\n1=x\n"
                             "[ItemIndex]\nFoldersToSearch=0\n";
    EXPECT_EQ(LoadError(text, recorder),
              "Error loading configuration: Invalid Syntax for Folders To Search: bad<+");
    const std::vector<std::string> expected = {"check folders /good", "add FoldersToSearch /good",
                                               "check folders bad<+"};
    EXPECT_EQ(recorder.Log, expected); // no later entry, no index
}

TEST(HistoryLoad, RejectedRootFolderOrFileEntryStopsTheLoadToo) {
    TRecorder roots;
    roots.RejectedEntry = "?";
    EXPECT_EQ(LoadError("[RootFolders]\n1=?\n[FoldersToSearch]\n1=/a\n", roots),
              "Error loading configuration: Invalid Syntax for Folders To Search: ?");
    EXPECT_TRUE(roots.Added().empty());

    TRecorder files;
    files.RejectedEntry = "<<";
    EXPECT_EQ(LoadError("[FoldersToSearch]\n1=/a\n[FilesToSearch]\n1=<<\n[FindExpressions]\n1=x\n",
                        files),
              "Error loading configuration: Invalid Syntax for Files To Search: <<");
    EXPECT_EQ(files.Added(), std::vector<std::string>{"add FoldersToSearch /a"});
}

TEST(HistoryLoad, MissingFileLoadsNothingButTheIndices) {
    test::TTempFolder folder;
    TRecorder recorder;
    LoadHistory(folder.Path() + "kestrava.ini", recorder.Callbacks());
    EXPECT_TRUE(recorder.Added().empty());
    EXPECT_EQ(recorder.Log.size(), kHistoryBoxCount);
}

TEST(HistoryLoad, UnreadableFileIsAnError) {
    test::TTempFolder folder; // a folder cannot be read as a file, not even by root
    TRecorder recorder;
    EXPECT_EQ(LoadError("", recorder), "(no error)");
    try {
        LoadHistory(folder.Path(), recorder.Callbacks());
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Error loading configuration: Cannot read " + folder.Path() + ": not a regular file");
    }
}

// ---- Round trip ----

TEST(HistoryRoundTrip, AwkwardEntriesComeBackUnchanged) {
    THistoryBoxes saved;
    saved[hbRootFolders].Items = {"  /leading and trailing  ", "/tab\tinside\t"};
    saved[hbFoldersToSearch] = {{"\"/quoted/\"", "'/single'", "/a=b=c", "[/not a section]"}, 3};
    saved[hbFilesToSearch] = {{"*.txt ; *.md", "ünïcödé*.日本"}, 1};
    saved[hbFindExpressions] = {{"=", " ", "a\\b\\\\c", "\xFF\xFE raw bytes"}, 0};
    saved[hbReplaceExpressions] = {{"$1 & ${name} \"x\"", "^$"}, -1};

    test::TTempFolder folder;
    const std::string fileName = folder.Path() + "kestrava.ini";
    SaveHistory(fileName, saved);

    THistoryBoxes loaded;
    THistoryLoadCallbacks cb;
    cb.AddItem = [&](THistoryBox box, const std::string& entry) {
        loaded[box].Items.push_back(entry);
    };
    cb.SetItemIndex = [&](THistoryBox box, int32_t index) { loaded[box].ItemIndex = index; };
    LoadHistory(fileName, cb);
    for (size_t box = 0; box < kHistoryBoxCount; ++box) {
        EXPECT_EQ(loaded[box].Items, saved[box].Items) << kHistorySections[box];
        EXPECT_EQ(loaded[box].ItemIndex, box == hbRootFolders ? -1 : saved[box].ItemIndex);
    }
}

} // namespace
} // namespace kes
