// The search run: counters, records, progress, skipped files and cancellation.
#include "SearchTestTree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kes;
using kes::testing::Search;
using kes::testing::TempTree;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

namespace {

std::vector<std::string> ProgressOf(const TempTree& tree, int files) {
    for (int i = 0; i < files; ++i)
        tree.Write("f" + std::to_string(i) + ".txt", "text");
    std::vector<std::string> texts;
    Search(tree.Root(), "*.txt", "x", "", true, [&](const std::string& t) { texts.push_back(t); });
    return texts;
}

TEST(Progress, ShowsEveryFileBelowFifty) {
    TempTree tree;
    EXPECT_THAT(ProgressOf(tree, 3),
                ElementsAre("Creating list of files to scan ..", "Processing file 1 of 3",
                            "Processing file 2 of 3", "Processing file 3 of 3"));
}

TEST(Progress, ShowsTheFirstEveryTenthAndTheLastFrom50On) {
    TempTree tree;
    std::vector<std::string> expected{"Creating list of files to scan ..",
                                      "Processing file 1 of 120"};
    for (int n = 10; n <= 120; n += 10)
        expected.push_back("Processing file " + std::to_string(n) + " of 120");
    EXPECT_EQ(ProgressOf(tree, 120), expected);
}

TEST(Run, RecordsFilesLinesFoldersAndCounters) {
    TempTree tree;
    tree.Write("a/x.txt", "one\nfoo two\nfoo\n");
    tree.Write("b/y.txt", "nothing here");
    tree.Write("b/z.txt", "FOO");
    const TkesMatchResults r = Search(tree.Path("a") + "|" + tree.Path("b"), "*.txt", "foo");
    EXPECT_EQ(r.FilesScanned, 3);
    EXPECT_EQ(r.FilesWithMatches, 2);
    EXPECT_EQ(r.TotalMatches, 3);
    EXPECT_EQ(r.TotalLines, 3);
    EXPECT_THAT(r.Folders, ElementsAre(tree.Path("a") + "/", tree.Path("b") + "/"));
    ASSERT_EQ(r.Files.size(), 2u); // the reusable record of a file without matches is gone
    EXPECT_EQ(r.Files[0].FileName, "x.txt");
    EXPECT_EQ(r.Files[0].NumMatches, 2);
    EXPECT_EQ(r.Files[1].FileName, "z.txt");
    EXPECT_EQ(r.Files[1].FolderIndex, 1);
    EXPECT_EQ(r.Files[1].Lines.at(0).Text, "FOO");
}

TEST(Run, CountsOnlyNonEmptyMatches) {
    TempTree tree;
    tree.Write("a.txt", "abxxc");
    const TkesMatchResults r = Search(tree.Root(), "*.txt", "x*");
    EXPECT_EQ(r.TotalMatches, 1);
    ASSERT_EQ(r.Files.size(), 1u);
    ASSERT_EQ(r.Files[0].Lines.size(), 1u);
    EXPECT_EQ(r.Files[0].Lines[0].MatchStart, 2);
    EXPECT_EQ(r.Files[0].Lines[0].MatchEnd, 4);
}

TEST(Run, AppliesEveryItemInOrderAndSumsTheirMatches) {
    TempTree tree;
    tree.Write("a.txt", "cat dog cat");
    TFindReplaceSpecs specs;
    int32_t dog = -1;
    int32_t cat = -1;
    TPatternStatus status;
    ASSERT_TRUE(specs.RegEx.AddPattern("dog", dog, status));
    ASSERT_TRUE(specs.RegEx.AddPattern("cat", cat, status));
    specs.Items = {{dog, false, ""}, {cat, false, ""}};
    TkesMatchResults r;
    EXPECT_EQ(ScanFiles({{tree.Root(), false, {}}}, {{"*", {}}}, specs, true, r), 3);
    ASSERT_EQ(r.Files.at(0).Lines.size(), 2u); // one line per item
    EXPECT_EQ(r.Files[0].Lines[0].MatchStart, 4);
    EXPECT_EQ(r.Files[0].Lines[1].MatchStart, 0);
}

// Root reads anything, so the file is made unreadable in a way that holds for root too: after
// the first file is read it becomes a link to itself (open fails) or disappears.
TEST(SkippedFiles, AreCountedWithTheirReasonAndTheRunGoesOn) {
    TempTree tree;
    tree.Write("1/a.txt", "hit");
    tree.Write("1/empty.txt", "");
    tree.Write("2/b.txt", "hit");
    tree.Write("3/c.txt", "hit");
    tree.Write("4/d.txt", "hit");
    auto sabotage = [&](const std::string& text) {
        if (text != "Processing file 1 of 5")
            return;
        std::filesystem::remove(tree.Path("2/b.txt"));
        std::filesystem::create_symlink("b.txt", tree.Path("2/b.txt"));
        std::filesystem::remove(tree.Path("3/c.txt"));
    };
    const std::string folders =
        tree.Path("1") + "|" + tree.Path("2") + "|" + tree.Path("3") + "|" + tree.Path("4");
    const TkesMatchResults r = Search(folders, "*.txt", "hit", "", true, sabotage);
    EXPECT_EQ(r.FilesScanned, 2); // the empty file is not counted either
    EXPECT_EQ(r.TotalMatches, 2);
    ASSERT_EQ(r.FilesSkipped, 2);
    EXPECT_EQ(r.Skipped[0].FileName, tree.Path("2/b.txt"));
    EXPECT_EQ(r.Skipped[0].Reason, srUnreadable);
    EXPECT_EQ(r.Skipped[1].Reason, srMissing);
}

TEST(SkippedFiles, IncludeFilesWithoutReadPermission) {
    if (kes::testing::RunningAsRoot())
        GTEST_SKIP() << "root reads files regardless of their permission bits";
    TempTree tree;
    tree.Write("a.txt", "hit");
    chmod(tree.Write("b.txt", "hit").c_str(), 0);
    const TkesMatchResults r = Search(tree.Root(), "*.txt", "hit");
    EXPECT_EQ(r.TotalMatches, 1);
    ASSERT_EQ(r.FilesSkipped, 1);
    EXPECT_EQ(r.Skipped[0].Reason, srUnreadable);
}

TEST(ReadWholeFile, RefusesFilesOf2GiBWithoutReadingThem) {
    TempTree tree;
    const std::string path = tree.Write("big.txt", "");
    std::filesystem::resize_file(path, uintmax_t{1} << 31); // sparse: no disk used
    std::string buffer;
    std::string error;
    EXPECT_EQ(ReadWholeFile(path, buffer, error), rsTooLarge);
    EXPECT_TRUE(buffer.empty());
    const TkesMatchResults r = Search(tree.Root(), "*.txt", "x");
    EXPECT_EQ(r.FilesScanned, 0);
    ASSERT_EQ(r.FilesSkipped, 1);
    EXPECT_EQ(r.Skipped[0].Reason, srTooLarge);
}

TEST(ReadWholeFile, ReadsTheExactBytes) {
    TempTree tree;
    const std::string content("a\0b\r\n\xff", 6);
    std::string buffer;
    std::string error;
    EXPECT_EQ(ReadWholeFile(tree.Write("a.bin", content), buffer, error), rsRead);
    EXPECT_EQ(buffer, content);
    EXPECT_EQ(ReadWholeFile(tree.Path("none"), buffer, error), rsMissing);
    EXPECT_EQ(error, "File does not exist");
    EXPECT_EQ(ReadWholeFile(tree.Root(), buffer, error), rsNotRegular);
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

TEST(Run, NeverOpensAFifo) {
    TempTree tree;
    tree.Write("a.txt", "hit");
    ASSERT_EQ(mkfifo(tree.Path("pipe.txt").c_str(), 0600), 0);
    // Opening the FIFO for reading would block here forever: no writer ever comes.
    const TkesMatchResults r = Search(tree.Root() + "<+>", "*.*", "hit");
    EXPECT_EQ(r.TotalMatches, 1);
    EXPECT_EQ(r.FilesSkipped, 1);
}

} // namespace
