#include "cli/line_output.h"
#include "cli/text_lines.h"

#include <algorithm>
#include <stdexcept>

namespace kestrava::cli {

namespace {

// "path:N:" and the line from `start`, without its line feed, then a line feed.
void appendRow(std::string& out, const std::string& head, std::string_view text, size_t start) {
    size_t end = lineEndOf(text, start);
    if (end > start && text[end - 1] == '\n')
        --end;
    out += head;
    out.append(text.substr(start, end - start));
    out += '\n';
}

} // namespace

std::string PathLineSink::make(const search::SearchedFile& file) const {
    const std::string_view text = file.text;
    std::string out;
    size_t printedEnd = 0; // just past the last text line written
    for (const search::MatchedLine& line : file.record.lines) {
        const auto lineStart = static_cast<size_t>(line.textStart());
        // The text line of the first match is numbered; the others count from it.
        const size_t numbered = lineStartOf(text, static_cast<size_t>(line.matchStart));
        for (size_t m = 0; m < line.matchCount(); ++m) {
            const search::MatchSpan span = line.match(m);
            const size_t start = lineStart + static_cast<size_t>(span.start - 1);
            size_t end = start + static_cast<size_t>(span.length);
            if (m + 1 == line.matchCount() && line.truncated() && line.cutMatchEnd() > 0)
                end = static_cast<size_t>(line.cutMatchEnd());
            const size_t rowStart = lineStartOf(text, start);
            int64_t number =
                line.lineNumber + std::count(text.begin() + static_cast<ptrdiff_t>(numbered),
                                             text.begin() + static_cast<ptrdiff_t>(rowStart), '\n');
            if (m_perMatch) {
                appendRow(out,
                          file.path + ":" + std::to_string(number) + ":" +
                              std::to_string(start - rowStart + 1) + ":",
                          text, rowStart);
                continue;
            }
            for (size_t at = rowStart; at < std::max(end, start + 1);
                 at = lineEndOf(text, at), ++number)
                if (at >= printedEnd) {
                    appendRow(out, file.path + ":" + std::to_string(number) + ":", text, at);
                    printedEnd = lineEndOf(text, at);
                }
        }
    }
    return out;
}

void PathLineSink::fileFound(const search::SearchResults& /*results*/,
                             const search::FoundFile& file) {
    if (file.madeAhead != nullptr && !file.madeAhead->writeTo(m_write))
        throw std::runtime_error("Read Error: the lines set aside for " + file.path +
                                 " could not be read back");
    m_write(file.made);
}

} // namespace kestrava::cli
