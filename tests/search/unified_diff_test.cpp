// The unified diff of a replacement: applied hunk by hunk to the old text it must give the new
// one, with no more than three lines of context around each run of changes.
#include "../case_table.h"
#include "search/search.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <sstream>
#include <tuple>

namespace kestrava::search {
namespace {

// Applies a unified diff of one file to `text` the way patch does, checking every context and
// removed line against it; "" with a failure when it does not fit.
std::string applyDiff(const std::string& text, const std::string& diff) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    std::vector<std::string> diffLines;
    std::istringstream in(diff);
    for (std::string line; std::getline(in, line);)
        diffLines.push_back(line + "\n");
    std::vector<std::string> out;
    size_t next = 0; // old lines copied up to here
    for (size_t d = 2; d < diffLines.size(); ++d) {
        int oldStart = 0, oldCount = 0, newStart = 0, newCount = 0;
        EXPECT_EQ(std::sscanf(diffLines[d].c_str(), "@@ -%d,%d +%d,%d @@", &oldStart, &oldCount,
                              &newStart, &newCount),
                  4)
            << diffLines[d];
        const size_t from = static_cast<size_t>(oldCount == 0 ? oldStart : oldStart - 1);
        EXPECT_EQ(out.size() + (from - next),
                  static_cast<size_t>(newCount == 0 ? newStart : newStart - 1));
        out.insert(out.end(), lines.begin() + static_cast<long>(next),
                   lines.begin() + static_cast<long>(from));
        next = from;
        size_t leading = 0; // context lines before the first change
        size_t kept = 0;    // the run of context lines so far
        bool changed = false;
        for (++d; d < diffLines.size() && diffLines[d][0] != '@'; ++d) {
            const char mark = diffLines[d][0];
            std::string body = diffLines[d].substr(1);
            if (d + 1 < diffLines.size() && diffLines[d + 1] == "\\ No newline at end of file\n")
                body.pop_back(), ++d;
            kept = mark == ' ' ? kept + 1 : 0;
            EXPECT_LE(kept, 6u) << "context that should have split the hunk";
            changed = changed || mark != ' ';
            leading += changed ? 0 : 1;
            if (mark != '+') {
                EXPECT_EQ(lines.at(next), body) << "context or removed line " << next + 1;
                ++next;
            }
            if (mark != '-')
                out.push_back(body);
        }
        EXPECT_LE(leading, 3u);
        EXPECT_LE(kept, 3u);
        --d;
    }
    out.insert(out.end(), lines.begin() + static_cast<long>(next), lines.end());
    return std::accumulate(out.begin(), out.end(), std::string());
}

TEST(UnifiedDiff, AppliedItGivesTheNewTextWithThreeLinesOfContext) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> oldLines(random() % 40);
        for (std::string& line : oldLines)
            line = "l" + std::to_string(random() % 6) + (random() % 9 ? "\n" : "\r\n");
        std::vector<std::string> newLines = oldLines;
        for (int edits = static_cast<int>(random() % 5); edits > 0 && !newLines.empty(); --edits) {
            const size_t at = random() % newLines.size();
            if (const auto kind = random() % 3; kind == 0)
                newLines[at] = "new" + std::to_string(random() % 3) + "\n";
            else if (kind == 1)
                newLines.insert(newLines.begin() + static_cast<long>(at), "added\n");
            else
                newLines.erase(newLines.begin() + static_cast<long>(at));
        }
        const std::string oldText =
            std::accumulate(oldLines.begin(), oldLines.end(), std::string());
        std::string newText = std::accumulate(newLines.begin(), newLines.end(), std::string());
        if (round % 4 == 0 && !newText.empty())
            newText.pop_back(); // the last line loses its line feed
        const std::string diff = unifiedDiff(oldText, newText, "/tmp/a b.txt");
        if (oldText == newText) {
            EXPECT_EQ(diff, "");
            continue;
        }
        ASSERT_TRUE(diff.starts_with("--- a/tmp/a b.txt\t\n+++ b/tmp/a b.txt\t\n")) << diff;
        EXPECT_EQ(applyDiff(oldText, diff), newText) << diff;
        // The same changes offered one by one: all of them give the new text, none the old.
        const std::vector<Replacement> runs = changedLineRuns(oldText, newText);
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(withChosenReplacements(oldText, runs, std::vector<bool>(runs.size(), true)),
                  newText);
        for (const Replacement& run : runs)
            EXPECT_TRUE(run.start == 0 || oldText[static_cast<size_t>(run.start) - 1] == '\n');
    }
    // A diff of megabytes, handed on in pieces as it is made, is the same diff; so is one with
    // more changes than the line-by-line script takes, given as one change.
    for (const int every : {10, 1}) { // lines changed: 200 (many hunks), or all of them
        std::string oldText;
        std::string newText;
        const std::string tail(3000, 'x');
        for (int i = 0; i < 2000; ++i) {
            oldText += "line " + std::to_string(i) + tail + "\n";
            newText += (i % every == 0 ? "LINE " : "line ") + std::to_string(i) + tail + "\n";
        }
        std::string pieces;
        size_t largest = 0;
        pieces += unifiedDiff(oldText, newText, "x", [&](std::string_view piece) {
            pieces += piece;
            largest = std::max(largest, piece.size());
        });
        EXPECT_GT(pieces.size(), size_t{2} << 20);
        EXPECT_LT(largest, size_t{1} << 21);
        EXPECT_EQ(pieces, unifiedDiff(oldText, newText, "x"));
        EXPECT_EQ(applyDiff(oldText, pieces), newText);
    }
}

// The "diff names" table in data/search_cases.txt.
TEST(UnifiedDiff, NamesAreQuotedAsGitQuotesThemSoNoneLeavesItsLine) {
    for (const golden::Row& c : golden::caseTable(KES_SEARCH_CASES, "diff names")) {
        std::string plus = c.at(1);
        plus[plus.find("a/")] = 'b';
        EXPECT_EQ(unifiedDiff("x\n", "y\n", c[0]),
                  "--- " + c[1] + "\n+++ " + plus + "\n@@ -1,1 +1,1 @@\n-x\n+y\n")
            << c[0];
    }
}

TEST(ChangeViews, ShowEachChangeInItsLineWithTheLineNumber) {
    const std::string text = "a a\r\nb\nc";
    const std::vector<Replacement> changes = {{0, 1, "X"}, {2, 3, "Y"}, {5, 7, ""}, {7, 8, "Z\nW"}};
    const std::vector<ChangeView> views = viewsOfChanges(text, changes);
    ASSERT_EQ(views.size(), 4u);
    const std::vector<std::tuple<int32_t, std::string, std::string>> expected = {
        {1, "a a", "X a"}, {1, "a a", "a Y"}, {2, "b", ""}, {3, "c", "Z\nW"}};
    for (size_t i = 0; i < views.size(); ++i)
        EXPECT_EQ(std::tie(views[i].lineNumber, views[i].before, views[i].after), expected[i]) << i;
}

} // namespace
} // namespace kestrava::search
