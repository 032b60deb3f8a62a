// Summary texts, export lines and the rich-text document.
#include "results/results.h"
#include "results_test_util.h"

#include <gtest/gtest.h>

namespace kestrava::results {
namespace {

using Lines = std::vector<std::string>;

Lines operator+(Lines first, const Lines& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(SummaryTexts, SingularExactlyForOne) {
    struct Case {
        int32_t scanned, matches, files, unique;
        View view;
        const char* expected;
    };
    const Case cases[] = {
        {12, 5, 3, 4, View::UniqueMatches,
         "Searched 12 files:   Found 5 matches in 3 files (4 Unique Matches)"},
        {1, 1, 1, 1, View::UniqueMatchesSorted,
         "Searched 1 file:   Found 1 match in 1 file (1 Unique Match)"},
        {0, 0, 0, 0, View::UniqueMatches,
         "Searched 0 files:   Found 0 matches in 0 files (0 Unique Match)"},
        {7, 2, 1, 9, View::LinesWithMatches, "Searched 7 files:   Found 2 matches in 1 file"},
        {7, 2, 2, 9, View::MatchesOnly, "Searched 7 files:   Found 2 matches in 2 files"},
    };
    for (const Case& c : cases) {
        search::SearchResults results;
        results.filesScanned = c.scanned;
        results.totalMatches = c.matches;
        results.filesWithMatches = c.files;
        EXPECT_EQ(summaryLine(summaryTexts(results, c.view, c.unique)), c.expected);
    }
    search::SearchResults results;
    results.totalMatches = 1;
    const SummaryTexts texts = summaryTexts(results, View::LinesWithMatches, 0);
    EXPECT_EQ(texts.matchesWord, " match");
    EXPECT_EQ(texts.uniqueMatches, "");
}

class ExportTest : public ::testing::Test {
  protected:
    Lines lines(View view, bool details, HeaderKind mode = HeaderKind::Find) {
        Rows rows;
        buildResultRows(m_results, view, rows);
        ExportHeader header{mode, "/src<+>", "*.txt", "a|b", "x", ""};
        return buildResultLines(m_results, rows, header, details);
    }
    search::SearchResults m_results = test::makeResults(
        {{"/src/", "a.txt", {"one [a] two->", "[b]c[a]->"}}, {"/src/d/", "b.txt", {"[A]"}}}, 4);
};

// "->" marks a cut line; ">" marks a cut match only where it is the last thing on its line (the
// first line is cut after its non-match tail, so its match gets none).
TEST_F(ExportTest, EachViewModeAndDetailGiveTheirLines) {
    const Lines head{"Folders:  /src<+>", "Files:    *.txt", "Find:     a|b", ""};
    const std::string a = "Found 3 matches in /src/a.txt";
    const std::string b = "Found 1 match in /src/d/b.txt";
    const struct {
        View view;
        bool details;
        HeaderKind mode;
        Lines expected;
    } cases[] = {
        {View::LinesWithMatches, true, HeaderKind::Find,
         head + Lines{a, "one a two->", "bca->", "", b, "A", "", ""}},
        {View::MatchesOnly, true, HeaderKind::Find,
         head + Lines{a, "a", "b", "a>", "", b, "A", "", ""}},
        {View::LinesWithMatches, false, HeaderKind::None, {a, "", b, "", ""}},
        {View::UniqueMatches, false, HeaderKind::None, {""}},
        {View::UniqueMatches,
         true,
         HeaderKind::Replace,
         {"Folders:      /src<+>", "Files:        *.txt", "Find:         a|b", "Replace with: x",
          "", "a", "b", ""}},
        {View::UniqueMatches,
         true,
         HeaderKind::Script,
         {"Script: New (unsaved) script", "", "a", "b", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << static_cast<int>(c.view) << c.details << static_cast<int>(c.mode));
        EXPECT_EQ(lines(c.view, c.details, c.mode), c.expected);
    }
    m_results = test::makeResults({}, 2);
    EXPECT_EQ(lines(View::LinesWithMatches, true), (Lines{"No matches found", "", ""}));
}

// Valid UTF-8 pastes as the characters it encodes, whatever the code page; each byte of an
// ill-formed sequence (and only those) stands for itself in code page 1252.
TEST(RichText, EscapesAndEndsEachLineWithPar) {
    const std::string header =
        R"({\rtf1\ansi\ansicpg1252\deff0\deflang1033{\fonttbl{\f0\fswiss\fcharset0 Arial;}}{\colortbl ;\red255\green0\blue0;;\red0\green128\blue0;\red0\green0\blue255;}{\*\generator Msftedit 5.41.21.2500;}\viewkind4\uc1\pard\f0\fs20 )";
    const struct {
        const char* line;
        const char* expected;
    } cases[] = {
        {"C:\\x {y}", R"(C:\\x \{y\})"},
        {"Caf\xC3\xA9", R"(Caf\u233?)"},
        {"\xEF\xBF\xBD\xE2\x82\xAC", R"(\u-3?\u8364?)"},
        {"a\xF0\x9F\x98\x80"
         "b",
         R"(a\u-10179?\u-8704?b)"},
        {"Caf\xE9 \xC3\xA9", R"(Caf\'e9 \u233?)"},
        {"\xE2\x82x\xC3", R"(\'e2\'82x\'c3)"},
        {"\xC0\xAF\xED\xA0\x80", R"(\'c0\'af\'ed\'a0\'80)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(buildRichText({c.line, ""}),
                  header + c.expected + "\\par\r\n\\par\r\n\\cf0\\par}")
            << c.line;
}

std::string written(const std::function<void(const std::function<void(std::string_view)>&)>& make) {
    std::string text;
    make([&text](std::string_view block) { text += block; });
    return text;
}

// Written file by file while a run records them (or rendered where each was searched, whole or a
// few lines at a time as it was searched), the text of every view is the one made from the
// finished results, as text or rich text, in every header mode and with or without details; and
// a run without matches says so.
TEST_F(ExportTest, TextWrittenWhileRunningEqualsTextMadeAfterwards) {
    for (const View view : {View::LinesWithMatches, View::MatchesOnly, View::UniqueMatches,
                            View::UniqueMatchesSorted})
        for (const auto& [detailsShown, richText] :
             {std::pair{true, false}, std::pair{false, false}, std::pair{true, true},
              std::pair{false, true}})
            for (const HeaderKind mode :
                 {HeaderKind::Find, HeaderKind::Replace, HeaderKind::Script, HeaderKind::None}) {
                const bool details = detailsShown; // lambdas take these, not the bindings
                const bool rich = richText;
                const ExportHeader header{mode, "/src<+>", "*.txt", "a|b", "x", ""};
                Rows rows;
                const int32_t unique = buildResultRows(m_results, view, rows);
                std::string expected;
                for (const std::string& line : buildResultLines(m_results, rows, header, details))
                    expected += line + '\n';
                EXPECT_EQ(
                    written([&](const auto& write) {
                        ExportWhileRunning running(header, view, details, write, rich);
                        // As searching threads do: the second file made where it was
                        // searched, the first line of the first while it was.
                        search::SearchResults results = m_results;
                        for (search::FileMatches& file : results.files) {
                            const std::string path = filePath(results, file);
                            const size_t index = static_cast<size_t>(&file - results.files.data());
                            std::string made;
                            std::shared_ptr<util::TextSpill> ahead;
                            if (index % 2 == 1 || !running.makesLinesAhead()) {
                                made = running.make({path, file, ""});
                                EXPECT_EQ(file.lines.size(), m_results.files[index].lines.size());
                            } else {
                                search::FileMatches first = file;
                                first.lines.resize(1);
                                ahead = std::make_shared<util::TextSpill>();
                                running.makeLines({path, first, ""}, [&](std::string_view text) {
                                    ahead->append(text);
                                });
                                file.lines.erase(file.lines.begin());
                            }
                            running.fileFound(results, {path, file, made, ahead.get()});
                        }
                        running.finish();
                        EXPECT_EQ(running.uniqueCount(), unique);
                    }),
                    rich ? buildRichText(buildResultLines(m_results, rows, header, details))
                         : expected)
                    << static_cast<int>(view) << details << rich << static_cast<int>(mode);
            }
    for (const bool rich : {false, true})
        EXPECT_EQ(written([&](const auto& write) {
                      ExportWhileRunning({}, View::LinesWithMatches, true, write, rich).finish();
                  }),
                  rich ? buildRichText({"No matches found", "", ""}) : "No matches found\n\n\n");
}

} // namespace
} // namespace kestrava::results
