// Matched lines: the lines of a file are worked out only around its matches, by looking for
// control characters on either side, so files are never split into lines.
#include "search/kes_uFind.h"

namespace kes {

namespace {

bool IsControl(char c) {
    return static_cast<unsigned char>(c) < 32;
}

class LineBuilder {
  public:
    LineBuilder(const char* text, int32_t size, TMatchedLineArray& lines)
        : fText(text), fSize(size), fLines(lines) {}

    void Add(int32_t start, int32_t end) {
        int32_t p = start;
        while (p > fPrevEnd && !IsControl(fText[p]))
            --p;
        if (p >= fLineEnd)
            OpenLine(p, start, end);
        TMatchedLines& line = fLines.back();
        int32_t clipped = end;
        if (clipped > fLineEnd) {
            clipped = fLineEnd;
            line.Truncated = true;
        }
        const int32_t covered = LastCovered(line);
        if (start > covered)
            line.Segments.push_back({covered + 1 - fLineStart + 1, start - covered - 1, false});
        line.Segments.push_back({start - fLineStart + 1, clipped - start, true});
        fPrevEnd = clipped;
    }

    void CloseLine() {
        if (!fOpen)
            return;
        TMatchedLines& line = fLines.back();
        line.Text.assign(fText + fLineStart, static_cast<size_t>(fLineEnd - fLineStart));
        if (fLineEnd > fPrevEnd)
            line.Segments.push_back({fPrevEnd - fLineStart + 1, fLineEnd - fPrevEnd, false});
        fOpen = false;
    }

  private:
    // The line ends at the first control character at or after the match's last byte, so a
    // match spanning a line end takes the next line along with it.
    void OpenLine(int32_t lineStart, int32_t start, int32_t end) {
        CloseLine();
        fLines.emplace_back().Segments.reserve(3); // text, match, text: the usual line
        fOpen = true;
        fLineStart = lineStart;
        int32_t q = end > 0 ? end - 1 : 0;
        while (q < fSize && !IsControl(fText[q]))
            ++q;
        fLineEnd = q;
        fLines.back().MatchStart = start;
        fLines.back().MatchEnd = end;
    }

    // File offset of the last byte already shown; a leading control byte only separates the
    // line from what came before, so it counts as covered.
    int32_t LastCovered(const TMatchedLines& line) const {
        if (!line.Segments.empty()) {
            const TMatchedSegment& last = line.Segments.back();
            return fLineStart + last.Start - 1 + last.Length - 1;
        }
        return IsControl(fText[fLineStart]) ? fLineStart : fLineStart - 1;
    }

    const char* fText;
    int32_t fSize;
    TMatchedLineArray& fLines;
    int32_t fLineStart = 0;
    int32_t fLineEnd = 0;
    int32_t fPrevEnd = 0;
    bool fOpen = false;
};

} // namespace

void BuildMatchedLines(const TMatchCollection& matches, TMatchedLineArray& lines) {
    if (matches.empty())
        return;
    const TMatchResult& first = matches.front();
    LineBuilder builder(first.Target, static_cast<int32_t>(first.TargetLength), lines);
    for (const TMatchResult& match : matches)
        builder.Add(match.GroupStartEnd[0], match.GroupStartEnd[1]);
    builder.CloseLine();
}

} // namespace kes
