// The search run: counters, records, items, progress and cancellation. Skipped files are proven
// with the other hostile files in the hardening tests.
#include "search_test_tree.h"
#include "util/file_text.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::search;
using kestrava::util::testing::searchTree;
using kestrava::util::testing::TempTree;
using ::testing::ElementsAre;

namespace {

// Every file is shown below fifty, then the first, every tenth and the last; the detail tells the
// files listed so far, then the bytes and matches so far with the file being read.
TEST(Progress, ShowsFilesDoneBytesAndMatchesSoFarAndTheFileRead) {
    for (const int files : {3, 305}) {
        TempTree tree;
        for (int i = 0; i < files; ++i)
            tree.write("f" + std::to_string(i) + ".txt", "text");
        std::vector<std::string> texts;
        std::vector<std::string> details;
        searchTree(tree.root(), "*.txt", "x", "", true, [&](const Progress& p) {
            texts.push_back(progressText(p));
            details.push_back(progressDetail(p));
        });
        const auto shown = [&](int n) {
            return "Processing file " + std::to_string(n) + " of " + std::to_string(files);
        };
        std::vector<std::string> expected;
        if (files == 3) {
            expected = {"Creating list of files to scan ..", shown(1), shown(2), shown(3)};
        } else {
            expected = {"Creating list of files to scan ..", "Creating list of files to scan ..",
                        shown(1)};
            for (int n = 10; n <= 300; n += 10)
                expected.push_back(shown(n));
            expected.push_back(shown(305));
            EXPECT_EQ(details.at(1), "256 files listed");
            EXPECT_THAT(details.back(), ::testing::StartsWith("1.2 KB searched, 305 matches, in " +
                                                              tree.root() + "/f"));
        }
        EXPECT_EQ(texts, expected);
        EXPECT_EQ(details[0], "");
    }

    // A long file tells how far it has come before it ends, on the thread that commits and from
    // the others; then, done, it is counted whole.
    TempTree longFile;
    std::string text;
    for (int line = 0; line < 100000; ++line)
        text += "a kestrel hovers over the field at dawn\n";
    longFile.write("long.txt", text);
    for (const int32_t threads : {1, 2}) {
        std::vector<Progress> told;
        searchTree(
            longFile.root(), "*.txt", "kestrel", "", true,
            [&](const Progress& p) { told.push_back(p); }, {}, threads);
        ASSERT_FALSE(told.empty());
        EXPECT_FALSE(told.back().partway);
        EXPECT_EQ(progressText(told.back()), "Processing file 1 of 1");
        EXPECT_EQ(told.back().bytesSearched, static_cast<int64_t>(text.size()));
        const auto partway =
            std::find_if(told.begin(), told.end(), [](const Progress& p) { return p.partway; });
        if (threads == 2 && partway == told.end())
            continue; // the other thread may read it before a tick of the committing one
        ASSERT_NE(partway, told.end()) << threads;
        EXPECT_EQ(progressText(*partway), "Processing file 1 of 1");
        EXPECT_GT(partway->bytesSearched, 0);
        EXPECT_LT(partway->bytesSearched, told.back().bytesSearched);
        EXPECT_GT(partway->matches, 0);
        EXPECT_EQ(partway->currentFile, longFile.path("long.txt"));
    }
}

// "(foo)?" also matches empty text everywhere: only the non-empty matches may count.
TEST(Run, RecordsFilesLinesFoldersAndCountersOfNonEmptyMatches) {
    TempTree tree;
    tree.write("a/x.txt", "one\nfoo two\nfoo\n");
    tree.write("b/y.txt", "nothing here");
    tree.write("b/z.txt", "FOO");
    const SearchResults r = searchTree(tree.path("a") + "|" + tree.path("b"), "*.txt", "(foo)?");
    EXPECT_EQ(r.filesScanned, 3);
    EXPECT_EQ(r.filesWithMatches, 2);
    EXPECT_EQ(r.totalMatches, 3);
    EXPECT_EQ(r.totalLines, 3);
    EXPECT_THAT(r.folders, ElementsAre(tree.path("a") + "/", tree.path("b") + "/"));
    ASSERT_EQ(r.files.size(), 2u); // the reusable record of a file without matches is gone
    EXPECT_EQ(r.files[0].fileName, "x.txt");
    EXPECT_EQ(r.files[0].numMatches, 2);
    EXPECT_EQ(r.files[0].lines.at(0).matchStart, 4);
    EXPECT_EQ(r.files[0].lines[0].matchEnd, 7);
    EXPECT_EQ(r.files[1].fileName, "z.txt");
    EXPECT_EQ(r.files[1].folderIndex, 1);
    EXPECT_EQ(r.files[1].lines.at(0).text(), "FOO");
}

// Files from the size on which they are mapped rather than read are searched and replaced alike.
TEST(Run, LargeFilesAreSearchedAndReplacedLikeSmallOnes) {
    TempTree tree;
    std::string text = "needle first\n";
    while (text.size() < util::FileText::kMapFrom)
        text += "hay hay hay hay hay hay hay hay hay hay hay hay hay hay hay\n";
    text += "last needle";
    tree.write("big.txt", text);
    const SearchResults found = searchTree(tree.root(), "*.txt", "needle");
    ASSERT_EQ(found.totalMatches, 2);
    EXPECT_EQ(found.files.at(0).lines.at(1).text(), "\nlast needle"); // from the line break on
    EXPECT_EQ(found.files[0].lines[1].matchStart, static_cast<int32_t>(text.size()) - 6);

    searchTree(tree.root(), "*.txt", "needle", "pin");
    std::string expected = text;
    expected.replace(0, 6, "pin");
    expected.replace(expected.size() - 6, 6, "pin");
    EXPECT_TRUE(tree.read("big.txt") == expected);
}

// Every item searches the file as read; each replacing item works on the previous one's output.
TEST(Run, AppliesEveryItemInOrder) {
    TempTree tree;
    tree.write("a.txt", "cat dog cat");
    CompiledRequest specs;
    int32_t dog = -1;
    int32_t cat = -1;
    regex::PatternStatus status;
    ASSERT_TRUE(specs.regEx.addPattern("dog", dog, status));
    ASSERT_TRUE(specs.regEx.addPattern("cat", cat, status));
    specs.items = {{dog, true, "cat"}, {cat, true, "bird"}};
    specs.replace = true;
    SearchResults r;
    EXPECT_EQ(scanFiles({{tree.root(), false, {}}}, {{"*", {}}}, specs, true, r), 3);
    ASSERT_EQ(r.files.at(0).lines.size(), 2u); // one line per item
    EXPECT_EQ(r.files[0].lines[0].matchStart, 4);
    EXPECT_EQ(r.files[0].lines[1].matchStart, 0);
    EXPECT_EQ(tree.read("a.txt"), "bird bird bird");
}

} // namespace
