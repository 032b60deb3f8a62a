// Matched lines and segments built around the matches of one item in one file.
#include "search/kes_uFind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace kes;

namespace {

// The lines of every match of pattern in file, as the run builds them.
TMatchedLineArray Build(const std::string& file, const std::string& pattern) {
    TldiRegExMulti regEx;
    int32_t id = -1;
    TPatternStatus status;
    TMatchedLineArray lines;
    if (regEx.AddPattern(pattern, id, status))
        FindMatchedLines(regEx, id, file, lines);
    return lines;
}

// "<text before the first segment>{gap}[match]", "->" when truncated, " @start,end". A "#"
// marks a hole or overlap between segments, or segments that stop short of the Text's end.
std::string Render(const TMatchedLines& line) {
    const TLineSegments segments = line.Segments();
    int32_t next = segments.begin() == segments.end() ? 1 : (*segments.begin()).Start;
    std::string out = next > 1 ? "<" + line.Text.substr(0, next - 1) + ">" : "";
    for (const TMatchedSegment s : segments) {
        const char* marks = s.IsMatch ? "[]" : "{}";
        out += (s.Start == next ? "" : "#") + (marks[0] + line.Text.substr(s.Start - 1, s.Length)) +
               marks[1];
        next = s.Start + s.Length;
    }
    out += next == static_cast<int32_t>(line.Text.size()) + 1 ? "" : "#";
    return out + (line.Truncated ? "->" : "") + " @" + std::to_string(line.MatchStart) + "," +
           std::to_string(line.MatchEnd);
}

TEST(MatchedLines, SplitTheFileAroundEachMatch) {
    struct {
        const char* Name;
        std::string File;
        std::string Pattern;
        std::vector<std::string> Lines;
    } const cases[] = {
        {"MatchSpanningCrLf", "abc\r\ndef", "c\\r\\nd", {"{ab}[c\r\nd]{ef} @2,6"}},
        {"MatchEndingInCrLfIsCut", "abc\r\ndef", "c\\r\\n", {"{ab}[c\r]-> @2,5"}},
        {"SecondLineStartsAtTheLineEnd",
         "abc\r\ndef\r\nxyz",
         "c\\r\\nd|y",
         {"{ab}[c\r\nd]{ef} @2,6", "<\n>{x}[y]{z} @11,12"}},
        {"TwoMatchesOnOneLine", "xx ab yy ab zz", "ab", {"{xx }[ab]{ yy }[ab]{ zz} @3,5"}},
        {"AdjacentMatchesHaveAnEmptyGap", "xabab y", "ab", {"{x}[ab]{}[ab]{ y} @1,3"}},
        {"TabEndsALine", "a1\tb1", "1", {"{a}[1] @1,2", "<\t>{b}[1] @4,5"}},
        {"MatchAtOffsetZero", "abc def", "abc", {"{}[abc]{ def} @0,3"}},
        {"ControlByteBeforeFirstMatch",
         "\x01"
         "ab",
         "ab",
         {"<\x01>{}[ab] @1,3"}},
        {"MatchBeginningWithLineEnd", "ab\ncd", "\\nc", {"[\nc]{d} @2,4"}},
        {"OneLinePerLine", "one\ntwo\n", "o", {"{}[o]{ne} @0,1", "<\n>{tw}[o] @6,7"}},
        {"LaterMatchPastTheLineEnd", "ab\ncd", "a|b\\nc", {"{}[a]{}[b]-> @0,1"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> rendered;
        for (const TMatchedLines& line : Build(c.File, c.Pattern))
            rendered.push_back(Render(line));
        EXPECT_EQ(rendered, c.Lines) << c.Name;
    }
}

} // namespace

// Long lines and long runs without control bytes, where the line ends are looked for sixteen
// bytes at a time: each line must be what a plain byte-by-byte reading gives. A line starts at
// the control byte before its first match (or where the previous line or the file ends) and
// ends at the first control byte at or after that match's last byte.
TEST(MatchedLines, LongLinesEndAtTheSameControlBytes) {
    std::mt19937 random(5);
    const std::string alphabet = "aaaaaaaaaaaaaaab \t\n\r\x01\x1f\x7f";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 200; ++round) {
        std::string file(static_cast<size_t>(random() % 400), 'a');
        for (char& c : file)
            c = random() % 8 == 0 ? alphabet[pick(random)] : 'a';
        const auto isControl = [&](int32_t i) { return static_cast<unsigned char>(file[i]) < 32; };
        int32_t previousEnd = 0;
        int32_t lineEnd = 0;
        std::vector<std::string> expected;
        for (const TMatchedLines& line : Build(file, "b+\\W?b*|\\n\\x01")) {
            int32_t start = line.MatchStart;
            while (start > previousEnd && !isControl(start))
                --start;
            ASSERT_GE(start, lineEnd) << "each built line holds its first match";
            int32_t end = std::max(line.MatchEnd - 1, 0);
            while (end < static_cast<int32_t>(file.size()) && !isControl(end))
                ++end;
            EXPECT_EQ(line.Text, file.substr(static_cast<size_t>(start),
                                             static_cast<size_t>(end - start)));
            lineEnd = end;
            previousEnd = line.MatchStart; // a later line starts after this line's matches
            for (size_t m = 0; m < line.MatchCount(); ++m)
                previousEnd = std::max(previousEnd, start + line.Match(m).Start - 1 +
                                                        line.Match(m).Length);
        }
    }
}
