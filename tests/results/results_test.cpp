// The row tables of the four views, the unique-match collation, the summary, the export lines,
// the rich text, and the export written while a run goes on. Records are built by hand:
// "ab[cd]e" is a line whose match is "cd"; a trailing "->" marks the line as cut at its end.
#include "results/collation.h"
#include "results/results.h"
#include "results/text_set.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace kestrava::results {
namespace {

using Lines = std::vector<std::string>;

search::MatchedLine makeLine(std::string spec) {
    search::MatchedLine line;
    if (spec.ends_with("->")) {
        line.setTruncated();
        spec.resize(spec.size() - 2);
    }
    std::string text;
    std::vector<search::MatchSpan> matches;
    for (const char c : spec) {
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

// Files given as folder, name and lines; the counts follow from them.
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
    // Unique views fold letter case and keep the first occurrence; accents still count.
    const std::pair<View, std::string> views[] = {
        {View::LinesWithMatches, "H0 L0 L1 _ H1 L0 L1 _ "},
        {View::MatchesOnly, "H0 Beta alpha beta _ H1 ALPHA gamma \xC3\xA9t\xC3\xA9 ete _ "},
        {View::UniqueMatches, "Beta alpha gamma \xC3\xA9t\xC3\xA9 ete "},
        {View::UniqueMatchesSorted, "alpha Beta ete \xC3\xA9t\xC3\xA9 gamma "},
    };
    for (const auto& [view, expected] : views) {
        Rows rows;
        const bool unique = view == View::UniqueMatches || view == View::UniqueMatchesSorted;
        EXPECT_EQ(buildResultRows(results, view, rows), unique ? 5 : 0);
        EXPECT_EQ(shape(results, rows), expected);
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
    const std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, View, const char*> cases[] = {
        // scanned, matches, files, unique, binary files skipped, view, the line
        {12, 5, 3, 4, 0, View::UniqueMatches,
         "Searched 12 files:   Found 5 matches in 3 files (4 Unique Matches)"},
        {1, 1, 1, 1, 1, View::UniqueMatchesSorted,
         "Searched 1 file:   Found 1 match in 1 file (1 Unique Match), 1 binary file skipped"},
        {0, 0, 0, 0, 0, View::UniqueMatches,
         "Searched 0 files:   Found 0 matches in 0 files (0 Unique Match)"},
        {7, 2, 1, 9, 2, View::LinesWithMatches,
         "Searched 7 files:   Found 2 matches in 1 file, 2 binary files skipped"},
        {7, 2, 2, 9, 0, View::MatchesOnly, "Searched 7 files:   Found 2 matches in 2 files"},
    };
    for (const auto& [scanned, matches, files, unique, binary, view, expected] : cases) {
        search::SearchResults results;
        results.filesScanned = scanned;
        results.totalMatches = matches;
        results.filesWithMatches = files;
        results.binarySkipped = binary;
        EXPECT_EQ(summaryLine(summaryTexts(results, view, unique)), expected);
    }
}

class ExportTest : public ::testing::Test {
  protected:
    Lines lines(View view, bool details, HeaderKind mode = HeaderKind::Find) {
        Rows rows;
        buildResultRows(m_results, view, rows);
        return buildResultLines(m_results, rows, header(mode), details);
    }
    static ExportHeader header(HeaderKind mode) {
        return makeExportHeader(mode, {"/src<+>", "*.txt", "a|b", "x", ""}, "");
    }
    search::SearchResults m_results = makeResults(
        {{"/src/", "a.txt", {"one [a] two->", "[b]c[a]->"}}, {"/src/d/", "b.txt", {"[A]"}}}, 4);
};

Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// "->" marks a cut line; ">" marks a cut match only where it is the last thing on its line (the
// first line is cut after its non-match tail, so its match gets none).
TEST_F(ExportTest, EachViewModeAndDetailGiveTheirLines) {
    const Lines head{"Folders:  /src<+>", "Files:    *.txt", "Find:     a|b", ""};
    const std::string a = "Found 3 matches in /src/a.txt";
    const std::string b = "Found 1 match in /src/d/b.txt";
    const std::tuple<View, bool, HeaderKind, Lines> cases[] = {
        {View::LinesWithMatches, true, HeaderKind::Find,
         head + Lines{a, "one a two->", "bca->", "", b, "A", "", ""}},
        {View::MatchesOnly, true, HeaderKind::Find,
         head + Lines{a, "a", "b", "a>", "", b, "A", "", ""}},
        {View::LinesWithMatches, false, HeaderKind::None, {a, "", b, "", ""}},
        {View::UniqueMatches, false, HeaderKind::None, {""}},
        {View::UniqueMatches, true, HeaderKind::Replace,
         Lines{"Folders:      /src<+>", "Files:        *.txt", "Find:         a|b",
               "Replace with: x", "", "a", "b", ""}},
        {View::UniqueMatches, true, HeaderKind::Script,
         Lines{"Script: New (unsaved) script", "", "a", "b", ""}},
    };
    for (const auto& [view, details, mode, expected] : cases) {
        SCOPED_TRACE(::testing::Message()
                     << static_cast<int>(view) << details << static_cast<int>(mode));
        EXPECT_EQ(lines(view, details, mode), expected);
    }
    m_results = makeResults({}, 2);
    EXPECT_EQ(lines(View::LinesWithMatches, true), (Lines{"No matches found", "", ""}));
}

// Valid UTF-8 pastes as the characters it encodes, whatever the code page; each byte of an
// ill-formed sequence (and only those) stands for itself in code page 1252.
TEST(RichText, EscapesAndEndsEachLineWithPar) {
    const std::string header =
        R"({\rtf1\ansi\ansicpg1252\deff0\deflang1033{\fonttbl{\f0\fswiss\fcharset0 Arial;}}{\colortbl ;\red255\green0\blue0;;\red0\green128\blue0;\red0\green0\blue255;}{\*\generator Msftedit 5.41.21.2500;}\viewkind4\uc1\pard\f0\fs20 )";
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\x {y}", R"(C:\\x \{y\})"},
        {"Caf\xC3\xA9", R"(Caf\u233?)"},
        {"\xEF\xBF\xBD\xE2\x82\xAC", R"(\u-3?\u8364?)"},
        {"a\U0001F600b", R"(a\u-10179?\u-8704?b)"},
        {"Caf\xE9 \xC3\xA9", R"(Caf\'e9 \u233?)"},
        {"\xE2\x82x\xC3", R"(\'e2\'82x\'c3)"},
        {"\xC0\xAF\xED\xA0\x80", R"(\'c0\'af\'ed\'a0\'80)"},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(buildRichText({line, ""}), header + expected + "\\par\r\n\\par\r\n\\cf0\\par}")
            << line;
}

// Written file by file while a run records them (or rendered where each was searched, whole or a
// few lines at a time as it was searched), the text of every view is the one made from the
// finished results, as text or rich text, in every header mode and with or without details; and
// a run without matches says so.
TEST_F(ExportTest, TextWrittenWhileRunningEqualsTextMadeAfterwards) {
    const auto written = [](View view, const ExportHeader& header, bool details, bool rich,
                            const search::SearchResults& finished) {
        std::string text;
        ExportWhileRunning running(
            header, view, details, [&text](std::string_view block) { text += block; }, rich);
        // As searching threads do: the second file made where it was searched, the first line
        // of the first while it was.
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
        return std::pair{text, running.uniqueCount()};
    };
    for (const View view : {View::LinesWithMatches, View::MatchesOnly, View::UniqueMatches,
                            View::UniqueMatchesSorted})
        for (const HeaderKind mode :
             {HeaderKind::Find, HeaderKind::Replace, HeaderKind::Script, HeaderKind::None})
            for (const bool details : {true, false})
                for (const bool rich : {false, true}) {
                    SCOPED_TRACE(::testing::Message() << static_cast<int>(view) << details << rich
                                                      << static_cast<int>(mode));
                    Rows rows;
                    const int32_t unique = buildResultRows(m_results, view, rows);
                    const Lines lines = buildResultLines(m_results, rows, header(mode), details);
                    std::string expected;
                    for (const std::string& line : lines)
                        expected += line + '\n';
                    EXPECT_EQ(written(view, header(mode), details, rich, m_results),
                              std::pair(rich ? buildRichText(lines) : expected, unique));
                }
    for (const bool rich : {false, true})
        EXPECT_EQ(written(View::LinesWithMatches, {}, true, rich, {}).first,
                  rich ? buildRichText({"No matches found", "", ""}) : "No matches found\n\n\n");
}

} // namespace
} // namespace kestrava::results
