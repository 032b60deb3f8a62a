// Matched lines and segments built around the matches of one item in one file.
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

// "<text before the first segment>{gap}[match]", "->" when truncated, " @start,end Lnumber". A
// "#" marks a hole or overlap between segments, or segments that stop short of the Text's end; a
// "!" segments that do not make up the text shown.
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
    std::string lineFeeds;
    lineFeeds.resize(20'000'000, '\n');
    struct {
        const char* name;
        std::string file;
        std::string pattern;
        std::vector<std::string> lines;
    } const cases[] = {
        {"MatchSpanningCrLf", "abc\r\ndef", "c\\r\\nd", {"{ab}[c\r\nd]{ef} @2,6 L1"}},
        {"MatchEndingInCrLfIsCut", "abc\r\ndef", "c\\r\\n", {"{ab}[c\r]-> @2,5 L1"}},
        // A match over a line end is numbered where it starts; the next line counts its feeds.
        {"SecondLineStartsAtTheLineEnd",
         "abc\r\ndef\r\nxyz",
         "c\\r\\nd|y",
         {"{ab}[c\r\nd]{ef} @2,6 L1", "<\n>{x}[y]{z} @11,12 L3"}},
        {"TwoMatchesOnOneLine", "xx ab yy ab zz", "ab", {"{xx }[ab]{ yy }[ab]{ zz} @3,5 L1"}},
        {"AdjacentMatchesHaveAnEmptyGap", "xabab y", "ab", {"{x}[ab]{}[ab]{ y} @1,3 L1"}},
        {"TabEndsALine", "a1\tb1", "1", {"{a}[1] @1,2 L1", "<\t>{b}[1] @4,5 L1"}},
        {"MatchAtOffsetZero", "abc def", "abc", {"{}[abc]{ def} @0,3 L1"}},
        {"ControlByteBeforeFirstMatch",
         "\x01"
         "ab",
         "ab",
         {"<\x01>{}[ab] @1,3 L1"}},
        {"MatchBeginningWithLineEnd", "ab\ncd", "\\nc", {"[\nc]{d} @2,4 L1"}},
        {"LaterMatchPastTheLineEndTakesItsLines",
         "ab\ncd",
         "a|b\\nc",
         {"{}[a]{}[b\nc]{d} @0,1 L1"}},
        {"LaterMatchEndingInALineEndIsCut", "ab\ncd", "a|b\\n", {"{}[a]{}[b]-> @0,1 L1"}},
        {"ChainedLineSpanningMatchesStayWhole",
         "a;\n\nb;\n\nc\n",
         ";\\n\\n\\w",
         {"{a}[;\n\nb]{}[;\n\nc] @1,5 L1"}},
        // A line's number counts the line feeds before its first match: CR alone ends no line.
        {"Numbers",
         "a\nb x\r\nc x\rd x\n\nfoo x",
         "x",
         {"<\n>{b }[x] @4,5 L2", "<\n>{c }[x] @9,10 L3", "<\r>{d }[x] @13,14 L3",
          "<\n>{foo }[x] @20,21 L5"}},
        {"TwentyMillionLineFeeds",
         lineFeeds + "x",
         "x",
         {"<\n>{}[x] @20000000,20000001 L20000001"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> rendered;
        for (const MatchedLine& line : build(c.file, c.pattern))
            rendered.push_back(render(line));
        EXPECT_EQ(rendered, c.lines) << c.name;
    }
}

// Long lines and long runs without control bytes, where the line ends are looked for sixteen
// bytes at a time: each line must be what a plain byte-by-byte reading gives. A line starts at
// the control byte before its first match (or where the previous line or the file ends) and
// ends at the first control byte at or after that match's last byte, or a later match's that
// runs past it; its number is one more than the line feeds before its first match.
TEST(MatchedLines, LongLinesEndAtTheSameControlBytes) {
    std::mt19937 random(5);
    const std::string alphabet = "aaaaaaaaaaaaaaab \t\n\r\x01\x1f\x7f";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 200; ++round) {
        std::string file(static_cast<size_t>(random() % 1200), 'a');
        for (char& c : file)
            c = random() % 8 == 0 ? alphabet[pick(random)] : 'a';
        const auto isControl = [&](int32_t i) { return static_cast<unsigned char>(file[i]) < 32; };
        int32_t previousEnd = 0;
        int32_t lineEnd = 0;
        std::vector<std::string> expected;
        for (const MatchedLine& line : build(file, "b+\\W?b*|\\n\\x01")) {
            int32_t start = line.matchStart;
            while (start > previousEnd && !isControl(start))
                --start;
            ASSERT_GE(start, lineEnd) << "each built line holds its first match";
            const auto lineEndFrom = [&](int32_t end) {
                while (end < static_cast<int32_t>(file.size()) && !isControl(end))
                    ++end;
                return end;
            };
            int32_t end = lineEndFrom(std::max(line.matchEnd - 1, 0));
            for (size_t m = 1; m < line.matchCount(); ++m)
                if (const int32_t matchEnd = start + line.match(m).start - 1 + line.match(m).length;
                    matchEnd >= end)
                    end = lineEndFrom(matchEnd);
            EXPECT_EQ(line.text(),
                      file.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
            EXPECT_EQ(line.lineNumber,
                      1 + std::count(file.begin(), file.begin() + line.matchStart, '\n'));
            lineEnd = end;
            previousEnd = line.matchStart; // a later line starts after this line's matches
            for (size_t m = 0; m < line.matchCount(); ++m)
                previousEnd =
                    std::max(previousEnd, start + line.match(m).start - 1 + line.match(m).length);
        }
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
