// The row table of each view.
#include "results/kes_uCollation.h"
#include "results/kes_uResults.h"
#include "results/kes_uTextSet.h"

#include <algorithm>

namespace kes {

namespace {

template <typename Visit> void ForEachMatchSegment(const TkesMatchResults& results, Visit visit) {
    for (size_t f = 0; f < results.Files.size(); ++f) {
        const TMatchedLineArray& lines = results.Files[f].Lines;
        for (size_t l = 0; l < lines.size(); ++l)
            for (size_t s = 0; s < lines[l].Segments.size(); ++s)
                if (lines[l].Segments[s].IsMatch)
                    visit(static_cast<int32_t>(f), static_cast<int32_t>(l),
                          static_cast<int32_t>(s));
    }
}

void BuildFileRows(const TkesMatchResults& results, bool matchesOnly, TResultRows& rows) {
    for (size_t f = 0; f < results.Files.size(); ++f) {
        const auto file = static_cast<int32_t>(f);
        rows.push_back({rkFileHeader, file, 0, 0});
        const TMatchedLineArray& lines = results.Files[f].Lines;
        for (size_t l = 0; l < lines.size(); ++l) {
            const auto line = static_cast<int32_t>(l);
            if (!matchesOnly) {
                rows.push_back({rkLine, file, line, 0});
                continue;
            }
            for (size_t s = 0; s < lines[l].Segments.size(); ++s)
                if (lines[l].Segments[s].IsMatch)
                    rows.push_back({rkMatch, file, line, static_cast<int32_t>(s)});
        }
        rows.push_back({rkBlank, 0, 0, 0});
    }
}

// One row per text not seen before, comparing collation keys; exact repeats, the common case,
// never need a key.
void BuildUniqueRows(const TkesMatchResults& results, bool sorted, TResultRows& rows) {
    TMatchCollator collator;
    const auto expected = static_cast<size_t>(results.TotalMatches);
    TTextSet seenTexts(expected, false); // views into the results' line texts
    TTextSet seenKeys(expected / 4, true);
    ForEachMatchSegment(results, [&](int32_t f, int32_t l, int32_t s) {
        const TMatchedLines& line =
            results.Files[static_cast<size_t>(f)].Lines[static_cast<size_t>(l)];
        const std::string_view text = SegmentText(line, line.Segments[static_cast<size_t>(s)]);
        if (seenTexts.Insert(text) && seenKeys.Insert(collator.SortKey(text)))
            rows.push_back({rkMatch, f, l, s}); // row i has key i
    });
    if (!sorted)
        return;
    std::vector<std::pair<std::string_view, uint32_t>> order(rows.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = {seenKeys.Text(i), i};
    std::sort(order.begin(), order.end());
    TResultRows ordered;
    ordered.reserve(rows.size());
    for (const auto& entry : order)
        ordered.push_back(rows[entry.second]);
    rows = std::move(ordered);
}

} // namespace

std::string_view SegmentText(const TMatchedLines& line, const TMatchedSegment& segment) {
    const auto start = static_cast<size_t>(std::max(segment.Start - 1, 0));
    if (start >= line.Text.size())
        return {};
    return std::string_view(line.Text).substr(start, static_cast<size_t>(segment.Length));
}

std::string FilePath(const TkesMatchResults& results, const TkesFile& file) {
    return results.Folders.at(static_cast<size_t>(file.FolderIndex)) + file.FileName;
}

int32_t BuildResultRows(const TkesMatchResults& results, TResultView view, TResultRows& rows) {
    rows.clear();
    if (results.TotalMatches < 1)
        return 0;
    switch (view) {
    case rvLinesWithMatches:
    case rvMatchesOnly:
        rows.reserve(static_cast<size_t>(results.TotalLines) + 2 * results.Files.size());
        BuildFileRows(results, view == rvMatchesOnly, rows);
        return 0;
    case rvUniqueMatches:
    case rvUniqueMatchesSorted:
        BuildUniqueRows(results, view == rvUniqueMatchesSorted, rows);
        return static_cast<int32_t>(rows.size());
    }
    return 0;
}

} // namespace kes
