// kestrava.ini: the written layout, load order through the window's callbacks, re-validation of
// stored entries, and exact round trips of awkward entries.
#include "config/history.h"

#include "../util/util_test_support.h"

#include <gtest/gtest.h>

namespace kestrava::config {
namespace {

using namespace std::string_literals;
using Strings = std::vector<std::string>;
using Indices = std::array<int32_t, kHistoryBoxCount>;
constexpr int32_t kNotSet = -9;
constexpr Indices kUntouched{kNotSet, kNotSet, kNotSet, kNotSet, kNotSet};

// Records the checks ("check Folders X") and additions ("add FoldersToSearch X") in order, and
// the index each box was given. Its fake parsers refuse every entry that begins with "bad".
struct Recorder {
    Strings log;
    Indices index = kUntouched;

    HistoryLoadCallbacks callbacks() {
        const auto validator = [this](const std::string& kind) {
            return [this, kind](const std::string& entry) {
                log.push_back("check " + kind + " " + entry);
                if (entry.starts_with("bad"))
                    throw std::runtime_error("Invalid Syntax for " + kind + " To Search: " + entry);
            };
        };
        return {validator("Folders"), validator("Files"),
                [this](HistoryBox box, const std::string& entry) {
                    log.push_back("add " + std::string(historySection(box)) + " " + entry);
                },
                [this](HistoryBox box, int32_t value) { index[static_cast<size_t>(box)] = value; }};
    }
};

const std::string kNoIndices = "[ItemIndex]\nFoldersToSearch=-1\nFilesToSearch=-1\n"
                               "FindExpressions=-1\nReplaceExpressions=-1\n";

// Only the boxes with entries get a section; the indices follow, without the root folders'. A
// line break inside an entry cannot break the file.
TEST(HistorySave, NonEmptySectionsThenTheIndicesWithoutRootFolders) {
    HistoryBoxes boxes;
    EXPECT_EQ(historyToText(boxes), kNoIndices);
    boxes[HistoryBox::RootFolders] = {{"c:\\projects"}, 0};
    boxes[HistoryBox::FoldersToSearch] = {{"c:\\temp<+>", "d:\\src<+><excluding obj,bin>"}, 1};
    boxes[HistoryBox::FilesToSearch] = {{"*.pas | *.dfm"}, 0};
    boxes[HistoryBox::FindExpressions] = {
        {"\\bTODO\\b", "a\r\nb", "x\n[ItemIndex]\nFoldersToSearch=7"}, 0};
    EXPECT_EQ(historyToText(boxes),
              "[RootFolders]\n1=c:\\projects\n"
              "[FoldersToSearch]\n1=c:\\temp<+>\n2=d:\\src<+><excluding obj,bin>\n"
              "[FilesToSearch]\n1=*.pas | *.dfm\n"
              "[FindExpressions]\n1=\\bTODO\\b\n2=a  b\n3=x [ItemIndex] FoldersToSearch=7\n"
              "[ItemIndex]\nFoldersToSearch=1\nFilesToSearch=0\nFindExpressions=0\n"
              "ReplaceExpressions=-1\n");
}

// Hostile files (huge lines, NUL bytes, duplicates, noise) load what they can.
TEST(HistoryLoad, BoxesAreFedInOrderUntilARejectedEntry) {
    const std::string huge(10u << 20, 'h');
    const struct {
        const char* label;
        std::string text;
        Strings log;
        Indices index{-1, -1, -1, -1, -1};
        std::string error = "(no error)";
    } cases[] = {
        {"sections in box order, entries in file order, keys not interpreted",
         "[ItemIndex]\nFindExpressions=3\nfoldersTOsearch=+2\nRootFolders=1\n"
         "[ReplaceExpressions]\n9=r1\n1=r2\n[FoldersToSearch]\nb=/b\na=/a\n[RootFolders]\n1=/r\n",
         {"check Folders /r", "add RootFolders /r", "check Folders /b", "add FoldersToSearch /b",
          "check Folders /a", "add FoldersToSearch /a", "add ReplaceExpressions r1",
          "add ReplaceExpressions r2"},
         {-1, 2, -1, 3, -1}},
        {"CR LF lines and a byte order mark",
         "\xEF\xBB\xBF[FilesToSearch]\r\n1=*.c\r\n[ItemIndex]\r\nFilesToSearch=0\r\n",
         {"check Files *.c", "add FilesToSearch *.c"},
         {-1, -1, 0, -1, -1}},
        {"empty entries and stray lines are skipped, unreadable indices are none",
         "1=before any section\n[FilesToSearch]\n1=\n; note\nno equals sign\n\n2=*.c\n"
         "[ItemIndex]\nFoldersToSearch=abc\nFilesToSearch=\nFindExpressions=99999999999\n"
         "ReplaceExpressions= 4 \n",
         {"check Files *.c", "add FilesToSearch *.c"},
         {-1, -1, -1, -1, 4}},
        {"rejected folder",
         "[FoldersToSearch]\n1=/good\n2=bad<+\n3=/never\n[FindExpressions]\n1=x\n",
         {"check Folders /good", "add FoldersToSearch /good", "check Folders bad<+"},
         kUntouched,
         "Error loading configuration: Invalid Syntax for Folders To Search: bad<+"},
        {"rejected root folder",
         "[RootFolders]\n1=bad?\n[FoldersToSearch]\n1=/a\n",
         {"check Folders bad?"},
         kUntouched,
         "Error loading configuration: Invalid Syntax for Folders To Search: bad?"},
        {"rejected file entry",
         "[FoldersToSearch]\n1=/a\n[FilesToSearch]\n1=bad<<\n[FindExpressions]\n1=x\n",
         {"check Folders /a", "add FoldersToSearch /a", "check Files bad<<"},
         kUntouched,
         "Error loading configuration: Invalid Syntax for Files To Search: bad<<"},
        {"10 MB line",
         "[FindExpressions]\n1=" + huge + "\n2=b\n",
         {"add FindExpressions " + huge, "add FindExpressions b"}},
        {"NUL bytes",
         "[FindExpressions]\n1=a\0b\n2=c\n"s,
         {"add FindExpressions a\0b"s, "add FindExpressions c"}},
        {"duplicate keys and sections",
         "[FindExpressions]\n1=a\n1=b\n[FindExpressions]\n1=c\n",
         {"add FindExpressions a", "add FindExpressions b", "add FindExpressions c"}},
        {"no sections, only noise", std::string(1u << 20, '\n') + "=x\n[", {}},
    };
    for (const auto& c : cases) {
        Recorder recorder;
        const std::string error =
            kestest::errorOf([&] { loadHistoryFromText(c.text, recorder.callbacks()); });
        EXPECT_EQ(error, c.error) << c.label;
        EXPECT_EQ(recorder.log, c.log) << c.label;
        EXPECT_EQ(recorder.index, c.index) << c.label;
    }
}

// Awkward entries saved come back unchanged. A missing file loads empty; one that cannot be read
// (a folder, not even by root) is an error.
TEST(HistoryRoundTrip, AwkwardEntriesComeBackUnchanged) {
    HistoryBoxes saved;
    saved[HistoryBox::RootFolders] = {{"  /leading and trailing  ", "/tab\tinside\t"}, 1};
    saved[HistoryBox::FoldersToSearch] = {
        {"\"/quoted/\"", "'/single'", "/a=b=c", "[/not a section]"}, 3};
    saved[HistoryBox::FilesToSearch] = {{"*.txt ; *.md", "ünïcödé*.日本"}, 1};
    saved[HistoryBox::FindExpressions] = {{"=", " ", "a\\b\\\\c", "\xFF\xFE raw bytes"}, 0};
    saved[HistoryBox::ReplaceExpressions] = {{"$1 & ${name} \"x\"", "^$"}, -1};

    kestest::TempFolder folder;
    saveHistory(folder.path() + "kestrava.ini", saved);
    HistoryBoxes loaded;
    HistoryLoadCallbacks cb;
    cb.addItem = [&](HistoryBox box, const std::string& entry) {
        loaded[box].items.push_back(entry);
    };
    cb.setItemIndex = [&](HistoryBox box, int32_t index) { loaded[box].itemIndex = index; };
    loadHistory(folder.path() + "kestrava.ini", cb);
    saved[HistoryBox::RootFolders].itemIndex = -1; // never saved
    for (size_t box = 0; box < kHistoryBoxCount; ++box) {
        EXPECT_EQ(loaded[box].items, saved[box].items) << kHistorySections[box];
        EXPECT_EQ(loaded[box].itemIndex, saved[box].itemIndex) << kHistorySections[box];
    }
    cb.setItemIndex = nullptr; // a caller may take no indices
    EXPECT_NO_THROW(loadHistory(folder.path() + "kestrava.ini", cb));
    Recorder recorder;
    loadHistory(folder.path() + "missing.ini", recorder.callbacks());
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_EQ(recorder.index, (Indices{-1, -1, -1, -1, -1}));
    EXPECT_EQ(kestest::errorOf([&] { loadHistory(folder.path(), recorder.callbacks()); }),
              "Error loading configuration: Cannot read " + folder.path() + ": not a regular file");
}

} // namespace
} // namespace kestrava::config
