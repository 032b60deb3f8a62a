// kestrava.ini: the written layout, load order through the window's callbacks, round trips.
#include "config/history.h"

#include "../util/util_test_support.h"

#include <gtest/gtest.h>

namespace kestrava::config {
namespace {

using Strings = std::vector<std::string>;
using Indices = std::array<int32_t, kHistoryBoxCount>;
constexpr int32_t kNotSet = -9;
constexpr Indices kUntouched{kNotSet, kNotSet, kNotSet, kNotSet, kNotSet};

// Logs "check Folders X" and "add FoldersToSearch X", refusing entries that begin with "bad".
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

// A line break inside an entry cannot break the file; data/history-awkward.ini is loaded back
// by the table below.
TEST(HistorySave, NonEmptySectionsThenTheIndicesWithoutRootFolders) {
    EXPECT_EQ(historyToText({}), "[ItemIndex]\nFoldersToSearch=-1\nFilesToSearch=-1\n"
                                 "FindExpressions=-1\nReplaceExpressions=-1\n");
    HistoryBoxes awkward;
    awkward[HistoryBox::RootFolders] = {{"  /leading and trailing  ", "/tab\tinside\t"}, 1};
    awkward[HistoryBox::FoldersToSearch] = {
        {"\"/quoted/\"", "'/single'", "/a=b=c", "[/not a section]"}, 3};
    awkward[HistoryBox::FilesToSearch] = {{"*.txt ; *.md", "ünïcödé*.日本"}, 1};
    awkward[HistoryBox::FindExpressions] = {{"=", " ", "a\\b\\\\c", "\xFF\xFE raw bytes", "a\r\nb",
                                             "x\n[ItemIndex]\nFoldersToSearch=7"},
                                            0};
    awkward[HistoryBox::ReplaceExpressions] = {{"$1 & ${name} \"x\"", "^$"}, -1};
    EXPECT_EQ(historyToText(awkward), kestest::readFile(KES_CONFIG_DATA "history-awkward.ini"));
}

// Each data/*.expected holds the error, the indices, then the log.
TEST(HistoryLoad, BoxesAreFedInOrderUntilARejectedEntry) {
    auto cases = kestest::fileCases(KES_CONFIG_DATA, ".ini");
    ASSERT_GT(cases.size(), 7u);
    const std::string huge(10u << 20, 'h');
    cases.push_back(
        {"10 MB line",
         "[FindExpressions]\n1=" + huge + "\n2=b\n",
         {"(no error)", "-1 -1 -1 -1 -1", "add FindExpressions " + huge, "add FindExpressions b"}});
    cases.push_back(
        {"only noise", std::string(1u << 20, '\n') + "=x\n[", {"(no error)", "-1 -1 -1 -1 -1"}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        EXPECT_EQ(kestest::errorOf([&] { loadHistoryFromText(c.input, recorder.callbacks()); }),
                  c.expected.at(0));
        std::string index;
        for (const int32_t value : recorder.index)
            index += (index.empty() ? "" : " ") + std::to_string(value);
        EXPECT_EQ(index, c.expected.at(1));
        EXPECT_EQ(recorder.log, Strings(c.expected.begin() + 2, c.expected.end()));
    }
}

// A caller may take no indices nor checks; a folder cannot be read, not even by root.
TEST(HistoryLoad, FromAFileOrNone) {
    kestest::TempFolder folder;
    kestest::writeRaw(folder.path() + "kestrava.ini",
                      "[FoldersToSearch]\n1=/f\n[FilesToSearch]\n1=*.c\n[FindExpressions]\n1=x\n"
                      "[ItemIndex]\nFindExpressions=0\n");
    Recorder recorder;
    HistoryLoadCallbacks noIndices = recorder.callbacks();
    noIndices.setItemIndex = nullptr;
    noIndices.validateFolders = noIndices.validateFiles = nullptr;
    EXPECT_NO_THROW(loadHistory(folder.path() + "kestrava.ini", noIndices));
    EXPECT_EQ(recorder.index, kUntouched);
    loadHistory(folder.path() + "missing.ini", recorder.callbacks());
    EXPECT_EQ(recorder.log, (Strings{"add FoldersToSearch /f", "add FilesToSearch *.c",
                                     "add FindExpressions x"}));
    EXPECT_EQ(recorder.index, (Indices{-1, -1, -1, -1, -1}));
    EXPECT_EQ(kestest::errorOf([&] { loadHistory(folder.path(), recorder.callbacks()); }),
              "Error loading configuration: Cannot read " + folder.path() + ": not a regular file");
}

} // namespace
} // namespace kestrava::config
