// The row table of each view.
#include "results/distinct_matches.h"
#include "results/results.h"
#include "results/text_set.h"

#include <algorithm>
#include <numeric>

namespace kestrava::results {

namespace {

template <typename Visit> void forEachMatch(const search::SearchResults& results, Visit visit) {
    for (size_t f = 0; f < results.files.size(); ++f) {
        const search::MatchedLineArray& lines = results.files[f].lines;
        for (size_t l = 0; l < lines.size(); ++l)
            for (size_t m = 0; m < lines[l].matchCount(); ++m)
                visit(static_cast<int32_t>(f), static_cast<int32_t>(l), static_cast<int32_t>(m));
    }
}

void buildFileRows(const search::SearchResults& results, bool matchesOnly, Rows& rows) {
    for (size_t f = 0; f < results.files.size(); ++f)
        appendFileRows(results, f, matchesOnly, rows);
}

// One row per distinct text, in the order first seen or in collation order.
void buildUniqueRows(const search::SearchResults& results, bool sorted, Rows& rows) {
    // Views into the results' line texts, which outlive the set.
    DistinctMatches distinct(static_cast<size_t>(results.totalMatches), false);
    forEachMatch(results, [&](int32_t f, int32_t l, int32_t m) {
        const search::MatchedLine& line =
            results.files[static_cast<size_t>(f)].lines[static_cast<size_t>(l)];
        if (distinct.insert(matchText(line, static_cast<size_t>(m))))
            rows.push_back({RowKind::Match, f, l, m});
    });
    if (!sorted)
        return;
    Rows ordered;
    ordered.reserve(rows.size());
    for (const uint32_t row : distinct.collationOrder())
        ordered.push_back(rows[row]);
    rows = std::move(ordered);
}

// Matched and context lines merged by line number (matched lines of one number keep their
// order), a separator wherever a line does not follow on from the one before.
void appendLinesWithContext(const search::FileMatches& matches, int32_t file, Rows& rows) {
    std::vector<int32_t> order(matches.lines.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        return matches.lines[static_cast<size_t>(a)].lineNumber <
               matches.lines[static_cast<size_t>(b)].lineNumber;
    });
    int32_t lastShown = 0;
    const auto append = [&](RowKind kind, int32_t index, int32_t first, int32_t last) {
        if (lastShown > 0 && first > lastShown + 1)
            rows.push_back({RowKind::Separator, file, 0, 0});
        rows.push_back({kind, file, index, 0});
        lastShown = std::max(lastShown, last);
    };
    size_t context = 0;
    for (const int32_t l : order) {
        const search::MatchedLine& line = matches.lines[static_cast<size_t>(l)];
        for (; context < matches.context.size() &&
               matches.context[context].lineNumber < line.lineNumber;
             ++context) {
            const int32_t number = matches.context[context].lineNumber;
            append(RowKind::Context, static_cast<int32_t>(context), number, number);
        }
        append(RowKind::Line, l, line.lineNumber, line.lastLineNumber());
    }
    for (; context < matches.context.size(); ++context) {
        const int32_t number = matches.context[context].lineNumber;
        append(RowKind::Context, static_cast<int32_t>(context), number, number);
    }
}

} // namespace

void appendFileRows(const search::SearchResults& results, size_t fileIndex, bool matchesOnly,
                    Rows& rows) {
    const auto file = static_cast<int32_t>(fileIndex);
    rows.push_back({RowKind::FileHeader, file, 0, 0});
    if (!matchesOnly && !results.files[fileIndex].context.empty()) {
        appendLinesWithContext(results.files[fileIndex], file, rows);
        rows.push_back({RowKind::Blank, 0, 0, 0});
        return;
    }
    const search::MatchedLineArray& lines = results.files[fileIndex].lines;
    for (size_t l = 0; l < lines.size(); ++l) {
        const auto line = static_cast<int32_t>(l);
        if (!matchesOnly) {
            rows.push_back({RowKind::Line, file, line, 0});
            continue;
        }
        for (size_t m = 0; m < lines[l].matchCount(); ++m)
            rows.push_back({RowKind::Match, file, line, static_cast<int32_t>(m)});
    }
    rows.push_back({RowKind::Blank, 0, 0, 0});
}

std::string_view segmentText(const search::MatchedLine& line,
                             const search::MatchedSegment& segment) {
    const auto start = static_cast<size_t>(std::max(segment.start - 1, 0));
    if (start >= line.text().size())
        return {};
    return line.text().substr(start, static_cast<size_t>(segment.length));
}

std::string_view matchText(const search::MatchedLine& line, size_t match) {
    const search::MatchSpan span = line.match(match);
    return segmentText(line, {span.start, span.length, true});
}

bool cutAfterMatch(const search::MatchedLine& line, size_t match) {
    if (!line.truncated() || match + 1 != line.matchCount())
        return false;
    const search::MatchSpan span = line.match(match);
    return span.start + span.length > static_cast<int32_t>(line.textLength()); // nothing after it
}

std::string filePath(const search::SearchResults& results, const search::FileMatches& file) {
    return results.folders.at(static_cast<size_t>(file.folderIndex)) + file.fileName;
}

int32_t buildResultRows(const search::SearchResults& results, View view, Rows& rows) {
    rows.clear();
    if (results.totalMatches < 1)
        return 0;
    switch (view) {
    case View::LinesWithMatches:
    case View::MatchesOnly:
        rows.reserve(static_cast<size_t>(results.totalLines) + 2 * results.files.size());
        buildFileRows(results, view == View::MatchesOnly, rows);
        return 0;
    case View::UniqueMatches:
    case View::UniqueMatchesSorted:
        buildUniqueRows(results, view == View::UniqueMatchesSorted, rows);
        return static_cast<int32_t>(rows.size());
    }
    return 0;
}

namespace {

// Eight bytes of a key from `from` on as a number that orders as the bytes do (short keys
// padded with zeros, which order first, as a shorter key does).
uint64_t keyPart(std::string_view key, size_t from) {
    uint64_t part = 0;
    for (size_t i = from; i < from + 8; ++i)
        part = (part << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return part;
}

} // namespace

DistinctMatches::DistinctMatches(size_t expected, bool copyTexts)
    : m_texts(expected, copyTexts), m_keys(expected / 4, true) {}

bool DistinctMatches::insert(std::string_view text) {
    return m_texts.insert(text) && m_keys.insert(m_collator.sortKeyView(text));
}

std::vector<uint32_t> DistinctMatches::collationOrder() const {
    // Most comparisons are settled by the keys' first sixteen bytes, held in the entry as two
    // numbers: the keys themselves lie all over memory.
    struct OrderEntry {
        uint64_t high;
        uint64_t low;
        std::string_view key;
        uint32_t number;
    };
    std::vector<OrderEntry> order(m_keys.size());
    for (uint32_t i = 0; i < order.size(); ++i) {
        const std::string_view key = m_keys.text(i);
        order[i] = {keyPart(key, 0), keyPart(key, 8), key, i};
    }
    std::sort(order.begin(), order.end(), [](const OrderEntry& a, const OrderEntry& b) {
        if (a.high != b.high)
            return a.high < b.high;
        return a.low != b.low ? a.low < b.low : a.key < b.key;
    });
    std::vector<uint32_t> numbers;
    numbers.reserve(order.size());
    for (const OrderEntry& entry : order)
        numbers.push_back(entry.number);
    return numbers;
}

} // namespace kestrava::results
