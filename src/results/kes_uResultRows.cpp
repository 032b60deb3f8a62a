// The row table of each view.
#include "results/kes_uCollation.h"
#include "results/kes_uResults.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

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
    std::unordered_set<std::string_view> seenTexts;
    std::unordered_set<std::string> seenKeys;
    std::vector<std::pair<std::string_view, int32_t>> keyOfRow; // views into seenKeys
    seenTexts.reserve(static_cast<size_t>(results.TotalMatches));
    ForEachMatchSegment(results, [&](int32_t f, int32_t l, int32_t s) {
        const TMatchedLines& line =
            results.Files[static_cast<size_t>(f)].Lines[static_cast<size_t>(l)];
        const std::string_view text = SegmentText(line, line.Segments[static_cast<size_t>(s)]);
        if (!seenTexts.insert(text).second)
            return;
        const auto [key, added] = seenKeys.insert(collator.SortKey(text));
        if (!added)
            return;
        keyOfRow.emplace_back(*key, static_cast<int32_t>(rows.size()));
        rows.push_back({rkMatch, f, l, s});
    });
    if (!sorted)
        return;
    std::sort(keyOfRow.begin(), keyOfRow.end());
    TResultRows ordered;
    ordered.reserve(rows.size());
    for (const auto& entry : keyOfRow)
        ordered.push_back(rows[static_cast<size_t>(entry.second)]);
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
