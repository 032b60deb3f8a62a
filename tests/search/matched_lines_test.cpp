// Matched lines and segments built around the matches of one item in one file.
#include "../case_table.h"
#include "search/search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

using namespace kestrava;
using namespace kestrava::search;

namespace {

// The lines of every match of pattern in file, as the run builds them.
MatchedLineArray build(const std::string& file, const std::string& pattern) {
    regex::PatternSet regEx;
    int32_t id = -1;
    regex::PatternStatus status;
    MatchedLineArray lines;
    if (regEx.addPattern(pattern, id, status))
        findMatchedLines(regEx, id, file, lines);
    return lines;
}

// As the "matched lines" table in data/search_cases.txt shows a line.
std::string render(const MatchedLine& line) {
    const LineSegments segments = line.segments();
    int32_t next = segments.begin() == segments.end() ? 1 : (*segments.begin()).start;
    std::string out = next > 1 ? "<" + std::string(line.text().substr(0, next - 1)) + ">" : "";
    std::string shown;
    for (const MatchedSegment s : segments) {
        const char* marks = s.isMatch ? "[]" : "{}";
        const std::string_view text = line.text().substr(s.start - 1, s.length);
        out += (s.start == next ? "" : "#") + (marks[0] + std::string(text)) + marks[1];
        shown += text;
        next = s.start + s.length;
    }
    out += next == static_cast<int32_t>(line.text().size()) + 1 ? "" : "#";
    out += shown == line.shownText() ? "" : "!";
    return out + (line.truncated() ? "->" : "") + " @" + std::to_string(line.matchStart) + "," +
           std::to_string(line.matchEnd) + " L" + std::to_string(line.lineNumber);
}

TEST(MatchedLines, SplitTheFileAroundEachMatch) {
    std::vector<golden::Row> cases = golden::caseTable(KES_SEARCH_CASES, "matched lines");
    cases.push_back({"TwentyMillionLineFeeds", std::string(20'000'000, '\n') + "x", "x",
                     "<\n>{}[x] @20000000,20000001 L20000001"});
    for (const golden::Row& c : cases) {
        std::vector<std::string> rendered;
        for (const MatchedLine& line : build(c.at(1), c.at(2)))
            rendered.push_back(render(line));
        EXPECT_EQ(rendered, golden::Row(c.begin() + 3, c.end())) << c[0];
    }
}

// Long lines and long runs without control bytes, where the line ends are looked for sixteen
// bytes at a time, at every alignment: each line holding a match runs from the control byte
// before it (or the file's start) to the next one, and is numbered one more than the line feeds
// before its first match. 0x7f is no control byte.
TEST(MatchedLines, LongLinesEndAtTheSameControlBytes) {
    std::mt19937 random(5);
    const std::string alphabet = "aaaaaaaaaaaaaaab \t\n\r\x01\x1f\x7f";
    const auto isControl = [](char c) { return static_cast<unsigned char>(c) < 32; };
    for (int round = 0; round < 200; ++round) {
        std::string file(static_cast<size_t>(random() % 1200), 'a');
        for (char& c : file)
            c = random() % 8 == 0 ? alphabet[random() % alphabet.size()] : 'a';
        std::vector<std::string> expected;
        for (size_t start = 0, end; start < file.size(); start = end) {
            end = static_cast<size_t>(
                std::find_if(file.begin() + static_cast<long>(start) + 1, file.end(), isControl) -
                file.begin());
            if (const size_t match = file.find('b', start); match < end)
                expected.push_back(
                    file.substr(start, end - start) + " L" +
                    std::to_string(1 + std::count(file.begin(),
                                                  file.begin() + static_cast<long>(match), '\n')));
        }
        std::vector<std::string> lines; // matches of word bytes only, so none holds a control byte
        for (const MatchedLine& line : build(file, "b+[^\\W]?"))
            lines.push_back(std::string(line.text()) + " L" + std::to_string(line.lineNumber));
        EXPECT_EQ(lines, expected) << round;
    }
}

// Lines share the blocks their bytes come from, and a thread writes over a block once no line
// holds any of it: lines kept (on this thread, copied, or let go on another thread) while
// thousands of others come and go keep their texts and matches, short and long alike.
TEST(MatchedLines, KeepTheirBytesWhileOthersComeAndGo) {
    const auto textOf = [](int i) {
        return std::string(static_cast<size_t>(i % 7 == 0 ? 20000 : 10 + i % 90),
                           static_cast<char>('a' + i % 26));
    };
    std::vector<std::pair<int, MatchedLine>> kept;
    std::vector<MatchedLine> handedOff;
    for (int i = 0; i < 20000; ++i) {
        std::vector<MatchSpan> matches;
        for (int m = 0; m <= i % 3; ++m)
            matches.push_back({m * 3 + 1, 2});
        MatchedLine line;
        line.assign(textOf(i), matches);
        if (i % 101 == 0)
            kept.emplace_back(i, line); // a copy; the line itself goes
        else if (i % 103 == 0)
            handedOff.push_back(std::move(line));
    }
    std::thread([lines = std::move(handedOff)]() mutable { lines.clear(); }).join();
    for (int i = 0; i < 20000; ++i) { // more lines after the hand-off, over the same blocks
        MatchedLine line;
        line.assign(textOf(i + 1), {{1, 1}});
    }
    for (const auto& [i, line] : kept) {
        ASSERT_EQ(line.text(), textOf(i)) << i;
        ASSERT_EQ(line.matchCount(), static_cast<size_t>(1 + i % 3)) << i;
        for (size_t m = 0; m < line.matchCount(); ++m)
            ASSERT_EQ(line.match(m).start, static_cast<int32_t>(m * 3 + 1)) << i;
    }
}

} // namespace
