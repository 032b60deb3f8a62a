// The row tables of the four views, the unique-match collation, the summary, the export lines,
// the rich text, and the export written while a run goes on. Records are built by hand:
// "ab[cd]e" is a line whose match is "cd"; a trailing "->" marks the line as cut at its end.
#include "results/collation.h"
#include "results/results.h"
#include "results/text_set.h"

#include "../case_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace kestrava::results {
namespace {

using Lines = std::vector<std::string>;

std::vector<golden::Row> cases(const std::string& name) {
    return golden::caseTable(KES_RESULTS_CASES, name);
}

const char* const kViews[] = {"LinesWithMatches", "MatchesOnly", "UniqueMatches",
                              "UniqueMatchesSorted"};
const char* const kHeaders[] = {"Find", "Replace", "Script", "None"};

search::MatchedLine makeLine(std::string marked) {
    search::MatchedLine line;
    if (marked.ends_with("->")) {
        line.setTruncated();
        marked.resize(marked.size() - 2);
    }
    std::string text;
    std::vector<search::MatchSpan> matches;
    for (const char c : marked) {
        if (c == '[')
            matches.push_back({static_cast<int32_t>(text.size()) + 1, 0});
        else if (c == ']')
            matches.back().length = static_cast<int32_t>(text.size()) + 1 - matches.back().start;
        else
            text += c;
    }
    line.assign(text, matches);
    return line;
}

search::SearchResults
makeResults(const std::vector<std::tuple<std::string, std::string, Lines>>& files,
            int32_t scanned) {
    search::SearchResults results;
    results.filesScanned = scanned;
    for (const auto& [folder, name, lines] : files) {
        search::FileMatches& file = results.files.emplace_back();
        file.fileName = name;
        const auto known = std::ranges::find(results.folders, folder);
        file.folderIndex = static_cast<int32_t>(known - results.folders.begin());
        if (known == results.folders.end())
            results.folders.push_back(folder);
        for (const std::string& spec : lines) {
            file.lines.push_back(makeLine(spec));
            file.numMatches += static_cast<int32_t>(file.lines.back().matchCount());
        }
        results.totalMatches += file.numMatches;
        results.totalLines += static_cast<int32_t>(file.lines.size());
    }
    results.filesWithMatches = static_cast<int32_t>(results.files.size());
    return results;
}

// The rows as words: "H1" the header of file 1, "L0" its line 0, "_" a blank, a match its text.
std::string shape(const search::SearchResults& results, const Rows& rows) {
    std::string shape;
    for (const Row& row : rows) {
        const auto& lines = results.files[static_cast<size_t>(row.fileIndex)].lines;
        if (row.kind == RowKind::FileHeader)
            shape += "H" + std::to_string(row.fileIndex);
        else if (row.kind == RowKind::Line)
            shape += "L" + std::to_string(row.lineIndex);
        else if (row.kind == RowKind::Match)
            shape += matchText(lines[static_cast<size_t>(row.lineIndex)],
                               static_cast<size_t>(row.matchIndex));
        else
            shape += "_";
        shape += " ";
    }
    return shape;
}

TEST(ResultRows, EachViewHasItsShapeAndNoMatchesGiveNoRows) {
    // Collation follows the environment; pin it so the test means the same everywhere.
    const char* old = std::getenv("LC_ALL");
    const std::optional<std::string> saved = old != nullptr ? std::optional(old) : std::nullopt;
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    const search::SearchResults results =
        makeResults({{"/src/", "a.txt", {"x [Beta] y [alpha]", "[beta]"}},
                     {"/src/sub/", "b.txt", {"[ALPHA][gamma]->", "[\xC3\xA9t\xC3\xA9] [ete]"}}},
                    5);
    for (const golden::Row& c : cases("views")) {
        const View view = golden::named<View>(c[0], kViews);
        Rows rows;
        const bool unique = view == View::UniqueMatches || view == View::UniqueMatchesSorted;
        EXPECT_EQ(buildResultRows(results, view, rows), unique ? 5 : 0);
        EXPECT_EQ(shape(results, rows), c[1] + " ");
        EXPECT_EQ(buildResultRows(makeResults({}, 3), view, rows), 0);
        EXPECT_TRUE(rows.empty());
    }
    saved ? ::setenv("LC_ALL", saved->c_str(), 1) : ::unsetenv("LC_ALL");
}

// Root collation for C and POSIX; in every locale letter case folds and accents do not, and
// bytes that are not UTF-8 read as Latin-1.
TEST(MatchCollation, FoldsLetterCaseButNotAccentsInEveryLocale) {
    EXPECT_EQ(icuLocaleName("C"), "");
    EXPECT_EQ(icuLocaleName("POSIX"), "");
    EXPECT_EQ(icuLocaleName("de_DE.UTF-8@euro"), "de_DE");
    for (const char* locale : {"C", "POSIX", "", "de_DE.UTF-8", "xx_YY", "en_US"}) {
        SCOPED_TRACE(locale);
        MatchCollator collator(locale);
        EXPECT_EQ(collator.sortKey("Stra\u00DFe"), collator.sortKey("STRA\u00DFE"));
        EXPECT_NE(collator.sortKey("abc"), collator.sortKey("abd"));
        EXPECT_LT(collator.sortKey("apple"), collator.sortKey("Banana"));
        EXPECT_EQ(collator.sortKey("caf\xE9"), collator.sortKey("CAF\xC9"));
        EXPECT_EQ(collator.sortKey("caf\xE9"), collator.sortKey("caf\xC3\xA9")) << "same character";
        EXPECT_NE(collator.sortKey("cafe"), collator.sortKey("caf\xE9"));
    }
}

TEST(TextSet, KeepsTheFirstOfEqualTextsInOrderThroughGrowth) {
    for (const bool copy : {false, true}) {
        std::vector<std::string> texts(5000);
        for (size_t i = 0; i < texts.size(); ++i)
            texts[i] = "t" + std::to_string(i % 2500); // every text twice
        TextSet set(4, copy);
        size_t added = 0;
        for (const std::string& text : texts)
            added += set.insert(text);
        EXPECT_EQ(added, 2500u);
        ASSERT_EQ(set.size(), 2500u);
        EXPECT_TRUE(set.text(0) == "t0" && set.text(2499) == "t2499");
        EXPECT_FALSE(set.insert(std::string("t17")));
        EXPECT_TRUE(set.insert(std::string_view("t1\0", 3))) << "bytes after a NUL count";
    }
}

TEST(SummaryTexts, SingularExactlyForOne) {
    for (const golden::Row& c : cases("summary")) {
        search::SearchResults results;
        results.filesScanned = std::stoi(c[0]);
        results.totalMatches = std::stoi(c[1]);
        results.filesWithMatches = std::stoi(c[2]);
        results.binarySkipped = std::stoi(c[4]);
        const View view = golden::named<View>(c[5], kViews);
        EXPECT_EQ(summaryLine(summaryTexts(results, view, std::stoi(c[3]))), c[6]);
    }
}

TEST(RichText, EscapesAndEndsEachLineWithPar) {
    const std::string header =
        R"({\rtf1\ansi\ansicpg1252\deff0\deflang1033{\fonttbl{\f0\fswiss\fcharset0 Arial;}}{\colortbl ;\red255\green0\blue0;;\red0\green128\blue0;\red0\green0\blue255;}{\*\generator Msftedit 5.41.21.2500;}\viewkind4\uc1\pard\f0\fs20 )";
    for (const golden::Row& c : cases("rich text"))
        EXPECT_EQ(buildRichText({c[0], ""}), header + c[1] + "\\par\r\n\\par\r\n\\cf0\\par}")
            << c[0];
}

ExportHeader exportHeader(HeaderKind mode) {
    return makeExportHeader(mode, {"/src<+>", "*.txt", "a|b", "x", ""}, "");
}

// Written file by file as a run records them (some rendered where searched, whole or in part),
// the text is the one made from the finished results.
std::pair<std::string, int32_t> writtenWhileRunning(View view, const ExportHeader& header,
                                                    bool details, bool rich,
                                                    const search::SearchResults& finished) {
    std::string text;
    ExportWhileRunning running(
        header, view, details, [&text](std::string_view block) { text += block; }, rich);
    // The second file made where it was searched, the first line of the first while it was.
    search::SearchResults results = finished;
    for (size_t index = 0; index < results.files.size(); ++index) {
        search::FileMatches& file = results.files[index];
        const std::string path = filePath(results, file);
        std::string made;
        std::shared_ptr<util::TextSpill> ahead;
        if (index % 2 == 1 || !running.makesLinesAhead()) {
            made = running.make({path, file, ""});
            EXPECT_EQ(file.lines.size(), finished.files[index].lines.size());
        } else {
            search::FileMatches first = file;
            first.lines.resize(1);
            ahead = std::make_shared<util::TextSpill>();
            running.makeLines({path, first, ""},
                              [&ahead](std::string_view part) { ahead->append(part); });
            file.lines.erase(file.lines.begin());
        }
        running.fileFound(results, {path, file, made, ahead.get()});
    }
    running.finish();
    return {text, running.uniqueCount()};
}

TEST(ExportTest, EachViewModeAndDetailGiveTheirLinesAlsoWhenWrittenWhileRunning) {
    const search::SearchResults results = makeResults(
        {{"/src/", "a.txt", {"one [a] two->", "[b]c[a]->"}}, {"/src/d/", "b.txt", {"[A]"}}}, 4);
    for (const golden::Row& c : cases("export")) {
        SCOPED_TRACE(c[0] + " " + c[1] + " " + c[2]);
        const View view = golden::named<View>(c[0], kViews);
        const ExportHeader header = exportHeader(golden::named<HeaderKind>(c[2], kHeaders));
        const Lines expected(c.begin() + 3, c.end());
        Rows rows;
        const int32_t unique = buildResultRows(results, view, rows);
        EXPECT_EQ(buildResultLines(results, rows, header, c[1] == "1"), expected);
        std::string text;
        for (const std::string& line : expected)
            text += line + '\n';
        for (const bool rich : {false, true})
            EXPECT_EQ(writtenWhileRunning(view, header, c[1] == "1", rich, results),
                      std::pair(rich ? buildRichText(expected) : text, unique));
    }
    const Lines none = {"No matches found", "", ""};
    EXPECT_EQ(buildResultLines(makeResults({}, 2), {}, exportHeader(HeaderKind::Find), true), none);
    for (const bool rich : {false, true})
        EXPECT_EQ(writtenWhileRunning(View::LinesWithMatches, {}, true, rich, {}).first,
                  rich ? buildRichText(none) : "No matches found\n\n\n");
}

} // namespace
} // namespace kestrava::results
