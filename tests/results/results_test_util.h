// Builds results records by hand: "ab[cd]e" is a line whose match is "cd"; a trailing "->" marks
// the line as cut at its end.
#pragma once

#include "search/search.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kestrava::results::test {

inline search::MatchedLine makeLine(std::string spec) {
    search::MatchedLine line;
    if (spec.size() >= 2 && spec.compare(spec.size() - 2, 2, "->") == 0) {
        line.setTruncated();
        spec.resize(spec.size() - 2);
    }
    bool inMatch = false;
    std::string text;
    std::string piece;
    std::vector<search::MatchSpan> matches;
    auto flush = [&](bool isMatch) {
        if (isMatch)
            matches.push_back(
                {static_cast<int32_t>(text.size() + 1), static_cast<int32_t>(piece.size())});
        text += piece;
        piece.clear();
    };
    for (const char c : spec) {
        if (c == '[' || c == ']') {
            flush(inMatch);
            inMatch = c == '[';
        } else {
            piece += c;
        }
    }
    flush(false);
    line.assign(text, matches);
    return line;
}

struct FileSpec {
    std::string folder;
    std::string name;
    std::vector<std::string> lines;
};

inline search::SearchResults makeResults(const std::vector<FileSpec>& files, int32_t scanned) {
    search::SearchResults results;
    results.filesScanned = scanned;
    for (const FileSpec& spec : files) {
        search::FileMatches file;
        file.fileName = spec.name;
        const auto known = std::find(results.folders.begin(), results.folders.end(), spec.folder);
        file.folderIndex = static_cast<int32_t>(known - results.folders.begin());
        if (known == results.folders.end())
            results.folders.push_back(spec.folder);
        for (const std::string& lineSpec : spec.lines) {
            file.lines.push_back(makeLine(lineSpec));
            file.numMatches += static_cast<int32_t>(file.lines.back().matchCount());
        }
        results.totalMatches += file.numMatches;
        results.totalLines += static_cast<int32_t>(file.lines.size());
        results.files.push_back(std::move(file));
    }
    results.filesWithMatches = static_cast<int32_t>(results.files.size());
    return results;
}

} // namespace kestrava::results::test
