// The search run: counters, records, items, progress, skipped files and cancellation.
#include "SearchTestTree.h"
#include "util/ldiFileText.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using namespace kes;
using kes::testing::Search;
using kes::testing::TempTree;
using ::testing::ElementsAre;

namespace {

TEST(Progress, ShowsEveryFileBelowFiftyThenTheFirstEveryTenthAndTheLast) {
    const std::pair<int, std::vector<int>> cases[] = {
        {3, {1, 2, 3}}, {120, {1, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}}};
    for (const auto& [files, shown] : cases) {
        TempTree tree;
        for (int i = 0; i < files; ++i)
            tree.Write("f" + std::to_string(i) + ".txt", "text");
        std::vector<std::string> texts;
        std::vector<std::string> expected{"Creating list of files to scan .."};
        for (const int n : shown)
            expected.push_back("Processing file " + std::to_string(n) + " of " +
                               std::to_string(files));
        Search(tree.Root(), "*.txt", "x", "", true,
               [&](const std::string& t) { texts.push_back(t); });
        EXPECT_EQ(texts, expected) << files << " files";
    }
}

// "(foo)?" also matches empty text everywhere: only the non-empty matches may count.
TEST(Run, RecordsFilesLinesFoldersAndCountersOfNonEmptyMatches) {
    TempTree tree;
    tree.Write("a/x.txt", "one\nfoo two\nfoo\n");
    tree.Write("b/y.txt", "nothing here");
    tree.Write("b/z.txt", "FOO");
    const TkesMatchResults r = Search(tree.Path("a") + "|" + tree.Path("b"), "*.txt", "(foo)?");
    EXPECT_EQ(r.FilesScanned, 3);
    EXPECT_EQ(r.FilesWithMatches, 2);
    EXPECT_EQ(r.TotalMatches, 3);
    EXPECT_EQ(r.TotalLines, 3);
    EXPECT_THAT(r.Folders, ElementsAre(tree.Path("a") + "/", tree.Path("b") + "/"));
    ASSERT_EQ(r.Files.size(), 2u); // the reusable record of a file without matches is gone
    EXPECT_EQ(r.Files[0].FileName, "x.txt");
    EXPECT_EQ(r.Files[0].NumMatches, 2);
    EXPECT_EQ(r.Files[0].Lines.at(0).MatchStart, 4);
    EXPECT_EQ(r.Files[0].Lines[0].MatchEnd, 7);
    EXPECT_EQ(r.Files[1].FileName, "z.txt");
    EXPECT_EQ(r.Files[1].FolderIndex, 1);
    EXPECT_EQ(r.Files[1].Lines.at(0).Text, "FOO");
}

// Files from the size on which they are mapped rather than read are searched and replaced alike.
TEST(Run, LargeFilesAreSearchedAndReplacedLikeSmallOnes) {
    TempTree tree;
    std::string text = "needle first\n";
    while (text.size() < TFileText::kMapFrom)
        text += "hay hay hay hay hay hay hay hay hay hay hay hay hay hay hay\n";
    text += "last needle";
    tree.Write("big.txt", text);
    const TkesMatchResults found = Search(tree.Root(), "*.txt", "needle");
    ASSERT_EQ(found.TotalMatches, 2);
    EXPECT_EQ(found.Files.at(0).Lines.at(1).Text, "\nlast needle"); // from the line break on
    EXPECT_EQ(found.Files[0].Lines[1].MatchStart, static_cast<int32_t>(text.size()) - 6);

    Search(tree.Root(), "*.txt", "needle", "pin");
    std::string expected = text;
    expected.replace(0, 6, "pin");
    expected.replace(expected.size() - 6, 6, "pin");
    EXPECT_TRUE(tree.Read("big.txt") == expected);
}

// Every item searches the file as read; each replacing item works on the previous one's output.
TEST(Run, AppliesEveryItemInOrder) {
    TempTree tree;
    tree.Write("a.txt", "cat dog cat");
    TFindReplaceSpecs specs;
    int32_t dog = -1;
    int32_t cat = -1;
    TPatternStatus status;
    ASSERT_TRUE(specs.RegEx.AddPattern("dog", dog, status));
    ASSERT_TRUE(specs.RegEx.AddPattern("cat", cat, status));
    specs.Items = {{dog, true, "cat"}, {cat, true, "bird"}};
    specs.Replace = true;
    TkesMatchResults r;
    EXPECT_EQ(ScanFiles({{tree.Root(), false, {}}}, {{"*", {}}}, specs, true, r), 3);
    ASSERT_EQ(r.Files.at(0).Lines.size(), 2u); // one line per item
    EXPECT_EQ(r.Files[0].Lines[0].MatchStart, 4);
    EXPECT_EQ(r.Files[0].Lines[1].MatchStart, 0);
    EXPECT_EQ(tree.Read("a.txt"), "bird bird bird");
}

// Root reads anything, so files are made unreadable in ways that hold for root too: a link to
// itself cannot be opened and a dangling link names a missing file. A FIFO must never be listed,
// as opening one may wait for a writer; the 2 GiB file is sparse.
TEST(SkippedFiles, AreCountedWithTheirReasonAndTheRunGoesOn) {
    TempTree tree;
    tree.Write("1/a.txt", "hit");
    tree.Write("1/empty.txt", "");
    tree.Write("5/d.txt", "hit");
    std::filesystem::create_directories(tree.Path("2"));
    std::filesystem::create_symlink("b.txt", tree.Path("2/b.txt"));
    std::filesystem::create_directories(tree.Path("3"));
    std::filesystem::create_symlink("gone.txt", tree.Path("3/c.txt"));
    std::filesystem::resize_file(tree.Write("4/big.txt", ""), uintmax_t{1} << 31);
    ASSERT_EQ(mkfifo(tree.Path("4/pipe.txt").c_str(), 0600), 0);
    std::string folders = tree.Path("1");
    for (const char* folder : {"2", "3", "4", "5"})
        folders += "|" + tree.Path(folder);
    std::string last;
    const TkesMatchResults r =
        Search(folders, "*.txt", "hit", "", true, [&](const std::string& text) { last = text; });
    EXPECT_EQ(last, "Processing file 2 of 6"); // the FIFO was never listed, so never opened
    EXPECT_EQ(r.FilesScanned, 2);              // the empty file is not counted either
    EXPECT_EQ(r.TotalMatches, 2);
    EXPECT_EQ(r.FilesSkipped, 4);
    std::map<std::string, TkesSkipReason> reasons;
    for (const TkesSkippedFile& skipped : r.Skipped)
        reasons[skipped.FileName.substr(tree.Root().size() + 1)] = skipped.Reason;
    EXPECT_EQ(reasons, (std::map<std::string, TkesSkipReason>{{"2/b.txt", srUnreadable},
                                                              {"3/c.txt", srMissing},
                                                              {"4/big.txt", srTooLarge},
                                                              {"4/pipe.txt", srNotRegular}}));
}

TEST(Cancellation, EndsAfterTheCurrentFileKeepingWhatWasFound) {
    TempTree tree;
    for (const char* folder : {"1", "2", "3"})
        tree.Write(std::string(folder) + "/a.txt", "hit");
    std::stop_source stop;
    auto progress = [&](const std::string& text) {
        if (text.starts_with("Processing file 1 "))
            stop.request_stop();
    };
    const TkesMatchResults r = Search(tree.Path("1") + "|" + tree.Path("2") + "|" + tree.Path("3"),
                                      "*", "hit", "", true, progress, stop.get_token());
    EXPECT_TRUE(r.Cancelled);
    EXPECT_EQ(r.FilesScanned, 1);
    EXPECT_EQ(r.TotalMatches, 1);
    EXPECT_EQ(r.Files.size(), 1u);
}

} // namespace
