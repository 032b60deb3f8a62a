// Builds results records by hand: "ab[cd]e" is a line whose match is "cd"; a trailing "->" marks
// the line as cut at its end.
#pragma once

#include "search/kes_uFind.h"

#include <string>
#include <vector>

namespace kes::test {

inline TMatchedLines MakeLine(std::string spec) {
    TMatchedLines line;
    if (spec.size() >= 2 && spec.compare(spec.size() - 2, 2, "->") == 0) {
        line.Truncated = true;
        spec.resize(spec.size() - 2);
    }
    bool inMatch = false;
    std::string piece;
    auto flush = [&](bool isMatch) {
        if (isMatch)
            line.AddMatch({static_cast<int32_t>(line.Text.size() + 1),
                           static_cast<int32_t>(piece.size())});
        line.Text += piece;
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
    return line;
}

struct TFileSpec {
    std::string Folder;
    std::string Name;
    std::vector<std::string> Lines;
};

inline TkesMatchResults MakeResults(const std::vector<TFileSpec>& files, int32_t scanned) {
    TkesMatchResults results;
    results.FilesScanned = scanned;
    for (const TFileSpec& spec : files) {
        TkesFile file;
        file.FileName = spec.Name;
        file.FolderIndex = FolderIndexOf(results, spec.Folder + spec.Name);
        for (const std::string& lineSpec : spec.Lines) {
            file.Lines.push_back(MakeLine(lineSpec));
            file.NumMatches += static_cast<int32_t>(file.Lines.back().MatchCount());
        }
        results.TotalMatches += file.NumMatches;
        results.TotalLines += static_cast<int32_t>(file.Lines.size());
        results.Files.push_back(std::move(file));
    }
    results.FilesWithMatches = static_cast<int32_t>(results.Files.size());
    return results;
}

} // namespace kes::test
