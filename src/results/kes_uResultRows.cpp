// The row table of each view.
#include "results/kes_uCollation.h"
#include "results/kes_uResults.h"
#include "results/kes_uTextSet.h"

#include <algorithm>

namespace kes {

namespace {

template <typename Visit> void ForEachMatch(const TkesMatchResults& results, Visit visit) {
    for (size_t f = 0; f < results.Files.size(); ++f) {
        const TMatchedLineArray& lines = results.Files[f].Lines;
        for (size_t l = 0; l < lines.size(); ++l)
            for (size_t m = 0; m < lines[l].MatchCount(); ++m)
                visit(static_cast<int32_t>(f), static_cast<int32_t>(l), static_cast<int32_t>(m));
    }
}

void BuildFileRows(const TkesMatchResults& results, bool matchesOnly, TResultRows& rows) {
    for (size_t f = 0; f < results.Files.size(); ++f)
        AppendFileRows(results, f, matchesOnly, rows);
}

// Eight bytes of a key from `from` on as a number that orders as the bytes do (short keys
// padded with zeros, which order first, as a shorter key does).
uint64_t KeyPart(std::string_view key, size_t from) {
    uint64_t part = 0;
    for (size_t i = from; i < from + 8; ++i)
        part = (part << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return part;
}

// One row per text not seen before, comparing collation keys; exact repeats, the common case,
// never need a key.
void BuildUniqueRows(const TkesMatchResults& results, bool sorted, TResultRows& rows) {
    TMatchCollator collator;
    const auto expected = static_cast<size_t>(results.TotalMatches);
    TTextSet seenTexts(expected, false); // views into the results' line texts
    TTextSet seenKeys(expected / 4, true);
    ForEachMatch(results, [&](int32_t f, int32_t l, int32_t m) {
        const TMatchedLines& line =
            results.Files[static_cast<size_t>(f)].Lines[static_cast<size_t>(l)];
        const std::string_view text = MatchText(line, static_cast<size_t>(m));
        if (seenTexts.Insert(text) && seenKeys.Insert(collator.SortKeyView(text)))
            rows.push_back({rkMatch, f, l, m}); // row i has key i
    });
    if (!sorted)
        return;
    // Most comparisons are settled by the keys' first sixteen bytes, held in the entry as two
    // numbers: the keys themselves lie all over memory.
    struct TOrderEntry {
        uint64_t High;
        uint64_t Low;
        std::string_view Key;
        uint32_t Row;
    };
    std::vector<TOrderEntry> order(rows.size());
    for (uint32_t i = 0; i < order.size(); ++i) {
        const std::string_view key = seenKeys.Text(i);
        order[i] = {KeyPart(key, 0), KeyPart(key, 8), key, i};
    }
    std::sort(order.begin(), order.end(), [](const TOrderEntry& a, const TOrderEntry& b) {
        if (a.High != b.High)
            return a.High < b.High;
        return a.Low != b.Low ? a.Low < b.Low : a.Key < b.Key;
    });
    TResultRows ordered;
    ordered.reserve(rows.size());
    for (const TOrderEntry& entry : order)
        ordered.push_back(rows[entry.Row]);
    rows = std::move(ordered);
}

} // namespace

void AppendFileRows(const TkesMatchResults& results, size_t fileIndex, bool matchesOnly,
                    TResultRows& rows) {
    const auto file = static_cast<int32_t>(fileIndex);
    rows.push_back({rkFileHeader, file, 0, 0});
    const TMatchedLineArray& lines = results.Files[fileIndex].Lines;
    for (size_t l = 0; l < lines.size(); ++l) {
        const auto line = static_cast<int32_t>(l);
        if (!matchesOnly) {
            rows.push_back({rkLine, file, line, 0});
            continue;
        }
        for (size_t m = 0; m < lines[l].MatchCount(); ++m)
            rows.push_back({rkMatch, file, line, static_cast<int32_t>(m)});
    }
    rows.push_back({rkBlank, 0, 0, 0});
}

std::string_view SegmentText(const TMatchedLines& line, const TMatchedSegment& segment) {
    const auto start = static_cast<size_t>(std::max(segment.Start - 1, 0));
    if (start >= line.Text.size())
        return {};
    return std::string_view(line.Text).substr(start, static_cast<size_t>(segment.Length));
}

std::string_view MatchText(const TMatchedLines& line, size_t match) {
    const TMatchSpan span = line.Match(match);
    return SegmentText(line, {span.Start, span.Length, true});
}

bool CutAfterMatch(const TMatchedLines& line, size_t match) {
    if (!line.Truncated || match + 1 != line.MatchCount())
        return false;
    const TMatchSpan span = line.Match(match);
    return span.Start + span.Length > static_cast<int32_t>(line.Text.size()); // nothing after it
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
