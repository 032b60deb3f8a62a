// Summary texts, export lines and the rich-text document.
#include "results/kes_uResults.h"
#include "results_test_util.h"

#include <gtest/gtest.h>

namespace kes {
namespace {

using TLines = std::vector<std::string>;

TEST(SummaryTexts, SingularExactlyForOne) {
    struct Case {
        int32_t scanned, matches, files, unique;
        TResultView view;
        const char* expected;
    };
    const Case cases[] = {
        {12, 5, 3, 4, rvUniqueMatches,
         "Searched 12 files:   Found 5 matches in 3 files (4 Unique Matches)"},
        {1, 1, 1, 1, rvUniqueMatchesSorted,
         "Searched 1 file:   Found 1 match in 1 file (1 Unique Match)"},
        {0, 0, 0, 0, rvUniqueMatches,
         "Searched 0 files:   Found 0 matches in 0 files (0 Unique Match)"},
        {7, 2, 1, 9, rvLinesWithMatches, "Searched 7 files:   Found 2 matches in 1 file"},
        {7, 2, 2, 9, rvMatchesOnly, "Searched 7 files:   Found 2 matches in 2 files"},
    };
    for (const Case& c : cases) {
        TkesMatchResults results;
        results.FilesScanned = c.scanned;
        results.TotalMatches = c.matches;
        results.FilesWithMatches = c.files;
        EXPECT_EQ(SummaryLine(SummaryTexts(results, c.view, c.unique)), c.expected);
    }
    TkesMatchResults results;
    results.TotalMatches = 1;
    const TSummaryTexts texts = SummaryTexts(results, rvLinesWithMatches, 0);
    EXPECT_EQ(texts.Label2, " match");
    EXPECT_EQ(texts.Label4, "");
}

class ExportTest : public ::testing::Test {
  protected:
    TLines Lines(TResultView view, bool details, TkesMode mode = mdFind) {
        TResultRows rows;
        BuildResultRows(fResults, view, rows);
        TExportHeader header{mode, "/src<+>", "*.txt", "a|b", "x", ""};
        return BuildResultLines(fResults, rows, header, details);
    }
    TkesMatchResults fResults = test::MakeResults(
        {{"/src/", "a.txt", {"one [a] two->", "[b]c[a]->"}}, {"/src/d/", "b.txt", {"[A]"}}}, 4);
};

TEST_F(ExportTest, LinesWithMatchesMarkCutLines) {
    EXPECT_EQ(Lines(rvLinesWithMatches, true),
              (TLines{"Folders:  /src<+>", "Files:    *.txt", "Find:     a|b", "",
                      "Found 3 matches in /src/a.txt", "one a two->", "bca->", "",
                      "Found 1 match in /src/d/b.txt", "A", "", ""}));
}

TEST_F(ExportTest, MatchesOnlyMarkACutMatchOnlyWhenLastOnItsLine) {
    EXPECT_EQ(Lines(rvMatchesOnly, true),
              (TLines{"Folders:  /src<+>", "Files:    *.txt", "Find:     a|b", "",
                      "Found 3 matches in /src/a.txt", "a", "b", "a>", "",
                      "Found 1 match in /src/d/b.txt", "A", "", ""}))
        << "the first line is cut after its non-match tail, so its match gets no marker";
}

TEST_F(ExportTest, FilenamesOnly) {
    EXPECT_EQ(
        Lines(rvLinesWithMatches, false, mdViewFoldersFiles),
        (TLines{"Found 3 matches in /src/a.txt", "", "Found 1 match in /src/d/b.txt", "", ""}));
    EXPECT_EQ(Lines(rvUniqueMatches, false, mdViewFoldersFiles), (TLines{""}));
}

TEST_F(ExportTest, HeadersByMode) {
    const TLines replace = Lines(rvUniqueMatches, true, mdFindAndReplace);
    EXPECT_EQ(TLines(replace.begin(), replace.begin() + 5),
              (TLines{"Folders:      /src<+>", "Files:        *.txt", "Find:         a|b",
                      "Replace with: x", ""}));
    EXPECT_EQ(Lines(rvUniqueMatches, true, mdScript),
              (TLines{"Script: New (unsaved) script", "", "a", "b", ""}));
}

TEST_F(ExportTest, NoMatchesHasNoHeader) {
    fResults = test::MakeResults({}, 2);
    EXPECT_EQ(Lines(rvLinesWithMatches, true), (TLines{"No matches found", "", ""}));
}

TEST(RichText, EscapesAndEndsEachLineWithPar) {
    const std::string document = BuildRichText({"C:\\x {y}", ""});
    const std::string header =
        R"({\rtf1\ansi\ansicpg1252\deff0\deflang1033{\fonttbl{\f0\fswiss\fcharset0 Arial;}}{\colortbl ;\red255\green0\blue0;;\red0\green128\blue0;\red0\green0\blue255;}{\*\generator Msftedit 5.41.21.2500;}\viewkind4\uc1\pard\f0\fs20 )";
    EXPECT_EQ(document, header + "C:\\\\x \\{y\\}\\par\r\n\\par\r\n\\cf0\\par}");
}

} // namespace
} // namespace kes

namespace kes {
namespace {

std::string Written(const std::function<void(const std::function<void(std::string_view)>&)>& make) {
    std::string text;
    make([&text](std::string_view block) { text += block; });
    return text;
}

// Made file by file while a run records them, the text of the lines and matches views is the
// one made from the finished results, in every header mode and with or without details; and a
// run without matches says so.
TEST_F(ExportTest, TextMadeWhileRunningEqualsTextMadeAfterwards) {
    for (const TResultView view : {rvLinesWithMatches, rvMatchesOnly})
        for (const bool details : {true, false})
            for (const TkesMode mode : {mdFind, mdFindAndReplace, mdScript, mdViewFoldersFiles}) {
                const TExportHeader header{mode, "/src<+>", "*.txt", "a|b", "x", ""};
                TExportWhileRunning running(header, view, details);
                for (size_t f = 0; f < fResults.Files.size(); ++f)
                    running.FileRecorded(fResults, f);
                TResultRows rows;
                BuildResultRows(fResults, view, rows);
                EXPECT_EQ(Written([&](const auto& write) { running.Finish(write); }),
                          Written([&](const auto& write) {
                              WriteResultText(fResults, rows, header, details, write);
                          }))
                    << view << details << mode;
            }
    TExportWhileRunning nothing({}, rvLinesWithMatches, true);
    EXPECT_EQ(Written([&](const auto& write) { nothing.Finish(write); }), "No matches found\n\n\n");
    TExportWhileRunning small({}, rvLinesWithMatches, true, 300);
    small.FileRecorded(fResults, 0);
    EXPECT_TRUE(small.Complete()) << "the first file's text fits";
    small.FileRecorded(fResults, 1);
    EXPECT_FALSE(small.Complete()) << "past the limit, the text is left to be made at the end";
}

} // namespace
} // namespace kes
