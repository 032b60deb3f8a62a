// Matched lines and segments built around the matches of one item in one file.
#include "search/kes_uFind.h"

#include <gtest/gtest.h>

using namespace kes;

namespace {

struct LineCase {
    const char* Name;
    std::string File;
    std::vector<std::pair<int32_t, int32_t>> Matches; // start, end (exclusive)
    std::vector<std::string> Lines; // "{gap}[match]", "->" when truncated, " @start,end"
};

void PrintTo(const LineCase& c, std::ostream* out) {
    *out << c.Name;
}

TMatchedLineArray Build(const std::string& file, const LineCase& c) {
    TMatchCollection matches;
    for (auto [start, end] : c.Matches) {
        TMatchResult m;
        m.Matched = true;
        m.Target = file.data();
        m.TargetLength = static_cast<uint32_t>(file.size());
        m.GroupCount = 1;
        m.GroupStartEnd = {start, end};
        matches.push_back(m);
    }
    TMatchedLineArray lines;
    BuildMatchedLines(matches, lines);
    return lines;
}

std::string Render(const TMatchedLines& line) {
    std::string out;
    for (const TMatchedSegment& s : line.Segments)
        out += (s.IsMatch ? "[" : "{") + line.Text.substr(s.Start - 1, s.Length) +
               (s.IsMatch ? "]" : "}");
    return out + (line.Truncated ? "->" : "") + " @" + std::to_string(line.MatchStart) + "," +
           std::to_string(line.MatchEnd);
}

// Segments follow each other without gaps and cover Text, apart from a leading control byte
// that only separates the line from what came before.
void ExpectSegmentsCoverText(const TMatchedLines& line) {
    ASSERT_FALSE(line.Segments.empty());
    int32_t next = line.Segments.front().Start;
    EXPECT_EQ(next, (static_cast<unsigned char>(line.Text[0]) < 32 && next == 2) ? 2 : 1);
    for (const TMatchedSegment& s : line.Segments) {
        EXPECT_EQ(s.Start, next);
        next += s.Length;
    }
    EXPECT_EQ(next, static_cast<int32_t>(line.Text.size()) + 1);
}

class MatchedLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(MatchedLines, SplitTheFileAroundEachMatch) {
    const std::string& file = GetParam().File;
    const TMatchedLineArray lines = Build(file, GetParam());
    std::vector<std::string> rendered;
    for (const TMatchedLines& line : lines) {
        rendered.push_back(Render(line));
        ExpectSegmentsCoverText(line);
    }
    EXPECT_EQ(rendered, GetParam().Lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchedLines,
    ::testing::Values(
        LineCase{"MatchSpanningCrLf", "abc\r\ndef", {{2, 6}}, {"{ab}[c\r\nd]{ef} @2,6"}},
        LineCase{"MatchEndingInCrLfIsCut", "abc\r\ndef", {{2, 5}}, {"{ab}[c\r]-> @2,5"}},
        LineCase{"TwoMatchesOnOneLine",
                 "xx ab yy ab zz",
                 {{3, 5}, {9, 11}},
                 {"{xx }[ab]{ yy }[ab]{ zz} @3,5"}},
        LineCase{"AdjacentMatchesHaveAnEmptyGap",
                 "xabab y",
                 {{1, 3}, {3, 5}},
                 {"{x}[ab]{}[ab]{ y} @1,3"}},
        LineCase{"TabEndsALine", "a1\tb1", {{1, 2}, {4, 5}}, {"{a}[1] @1,2", "{b}[1] @4,5"}},
        LineCase{"MatchAtOffsetZero", "abc def", {{0, 3}}, {"{}[abc]{ def} @0,3"}},
        LineCase{"ControlByteBeforeFirstMatch",
                 "\x01"
                 "ab",
                 {{1, 3}},
                 {"{}[ab] @1,3"}},
        LineCase{"MatchBeginningWithLineEnd", "ab\ncd", {{2, 4}}, {"[\nc]{d} @2,4"}},
        LineCase{
            "OneLinePerLine", "one\ntwo\n", {{0, 1}, {6, 7}}, {"{}[o]{ne} @0,1", "{tw}[o] @6,7"}},
        LineCase{"LaterMatchPastTheLineEnd", "ab\ncd", {{0, 1}, {1, 4}}, {"{}[a]{}[b]-> @0,1"}}),
    [](const auto& param) { return std::string(param.param.Name); });

TEST(MatchedLinesText, HoldsTheLineFromItsStartToItsEnd) {
    const std::string file = "abc\r\ndef\r\nxyz";
    const TMatchedLineArray lines = Build(file, {"", file, {{2, 6}, {11, 12}}, {}});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Text, "abc\r\ndef");
    EXPECT_EQ(lines[1].Text, "\nxyz");
}

} // namespace
