// What a run records: each file with matches, its matched lines (only their matches and, when
// kept, their text), context lines and replacements, and the run's counts and lists.
#pragma once

#include "internal/line_segments.h"
#include "internal/shared_bytes.h"
#include "regex/large_array.h"
#include "search/file_list.h"
#include "util/file_text.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::search {

// A line holding matches. Only its matches are kept, the first in place: the text between them
// follows from them and the line's length, which keeps a million lines small. A line too long to
// keep (see findMatchedLines) keeps no text at all; forEachTextPiece reads it back from the file.
struct MatchedLine {
    int32_t matchStart = 0; // file offset of the line's first match
    int32_t matchEnd = 0;   // just past it
    int32_t lineNumber = 0; // of the first match, from 1, counting line feeds (LF) before it

    // The line's text; empty when it is not kept.
    std::string_view text() const {
        return {m_bytes.data() + textOffset(), textKept() ? textLength() : 0};
    }
    bool textKept() const { return m_textKept != 0; }
    size_t textLength() const { return m_textLength; }
    // File offset of the text's first byte.
    int32_t textStart() const { return matchStart - (m_firstMatch.start - 1); }
    // The text begins with the control byte that ends the line before it.
    bool leadingControl() const { return m_leadingControl != 0; }
    // Where the text its segments cover begins (0 or 1): after the leading control byte, which
    // only separates the line from what came before, unless the first match takes that byte in.
    size_t shownFrom() const { return leadingControl() && m_firstMatch.start > 1 ? 1 : 0; }
    // The text from shownFrom() on, of a line that keeps it.
    std::string_view shownText() const { return text().substr(shownFrom()); }
    // The line's text and all its matches at once, in order; without keepText, only what the
    // text tells of the line is kept, not its bytes. cutEnd: see cutMatchEnd.
    void assign(std::string_view text, const std::vector<MatchSpan>& matches, bool keepText = true,
                int32_t cutEnd = 0);
    // Sets the text, or adds a match after the last, one at a time (of a line that keeps it).
    void setText(std::string_view text);
    void addMatch(MatchSpan match);

    // The last text line the line's matches reach: a match may run over line ends.
    int32_t lastLineNumber() const;
    // The text line where a match starts (lineNumber for a line that keeps no text).
    int32_t lineNumberOf(size_t matchIndex) const;
    // The line's last match was cut at the line's end; the file offset just past where that
    // match ends, uncut (0 when it is not known).
    bool truncated() const { return m_truncated != 0; }
    void setTruncated() { m_truncated = 1; }
    int32_t cutMatchEnd() const {
        int32_t end = 0;
        if (m_cutEndKept != 0)
            std::memcpy(&end, m_bytes.data() + moreMatchesBytes(), sizeof end);
        return end;
    }
    size_t matchCount() const { return m_matchCount; }
    MatchSpan match(size_t index) const {
        if (index == 0)
            return m_firstMatch;
        MatchSpan span;
        std::memcpy(&span, m_bytes.data() + (index - 1) * sizeof(MatchSpan), sizeof(MatchSpan));
        return span;
    }
    LineSegments segments() const { return LineSegments(*this); }

  private:
    int32_t lineNumberAt(size_t place) const;
    size_t moreMatchesBytes() const {
        return m_matchCount > 1 ? (m_matchCount - 1) * sizeof(MatchSpan) : 0;
    }
    size_t textOffset() const {
        return moreMatchesBytes() + (m_cutEndKept != 0 ? sizeof(int32_t) : 0);
    }
    // Writes the matches after the first, the cut end (when not 0) and the text (if kept) into
    // new bytes; either may lie in the old ones, which are let go only then.
    void store(const void* more, std::string_view text, bool keepText, int32_t cutEnd);

    MatchSpan m_firstMatch;
    uint32_t m_matchCount : 30 = 0;
    uint32_t m_truncated : 1 = 0;
    uint32_t m_cutEndKept : 1 = 0; // the bytes hold it after the matches
    uint32_t m_textLength : 31 = 0;
    uint32_t m_textKept : 1 = 1;
    uint32_t m_lineFeeds : 31 = 0; // of a line that keeps no text: those its first match takes in
    uint32_t m_leadingControl : 1 = 0;
    SharedBytes m_bytes; // the matches after the first, then the text
};
using MatchedLineArray = std::vector<MatchedLine, regex::LargeArrayAllocator<MatchedLine>>;

// A text line around a matched line, kept when a run asks for context: its text without the
// line feed (and a carriage return before it).
struct ContextLine {
    int32_t lineNumber = 0;
    std::string text;
};

// A match replaced: its start and end in the file and the text that took its place.
struct Replacement {
    int32_t start = 0;
    int32_t end = 0;
    std::string text;
};

// The lines a replacement touches, as they are and as they would become (without their line
// end): what a user judges a change by. lineNumber is 1-based.
struct ChangeView {
    int32_t lineNumber = 1;
    std::string before;
    std::string after;
};

struct FileMatches {
    std::string fileName; // without its folder
    int32_t folderIndex = 0;
    int32_t numMatches = 0;
    MatchedLineArray lines;
    std::vector<ContextLine> context{};      // in line order; empty unless asked for
    std::vector<Replacement> replacements{}; // kept when asked for (ScanOptions), by start
    // A planning run that keeps its replacements: a hash of the bytes searched
    // (util::contentHash), and each change as shown, in the order of `replacements`.
    std::string searchedHash{};
    std::vector<ChangeView> changeViews{};
    // The file searched, held open while some of its lines keep no text (MatchedLine::textKept).
    std::shared_ptr<const util::FileBytes> lineSource{};
};

// Hands the bytes [from, from + length) of one of the file's lines to `take` in order, as far as
// the text reaches: a text not kept is read back from file.lineSource, a piece at a time. False
// when the file no longer holds them.
bool forEachTextPiece(const FileMatches& file, const MatchedLine& line, size_t from, size_t length,
                      const std::function<void(std::string_view)>& take);

struct SearchResults {
    int32_t filesScanned = 0;
    int32_t filesWithMatches = 0;
    int32_t totalMatches = 0;
    int32_t totalLines = 0;
    std::vector<std::string> folders; // each ends with "/", in order of first use
    std::vector<FileMatches> files;
    int32_t filesSkipped = 0; // equals Skipped.size()
    std::vector<SkippedFile> skipped;
    bool cancelled = false;    // a stop request ended a run early
    int32_t filesReplaced = 0; // files whose replaced text was written
    // Files with matches whose replaced text was not written (changed meanwhile, read-only, an
    // output place that is not what it should be); the run went on with the others.
    std::vector<SkippedFile> notReplaced;
    // What the user should know that is no failure of this run, such as the backup left by an
    // earlier rewrite that was interrupted.
    std::vector<std::string> notices;
    // Folders named in Folder(s) that are not there or are no folders, with why; the others
    // are searched all the same.
    std::vector<SkippedFile> missingFolders;
    int32_t binarySkipped = 0; // files left out as binary (ScanOptions::skipBinary)
    int64_t bytesSearched = 0;
    // The top folders of the run, as parsed: nothing it writes may lie outside them.
    std::vector<std::string> searchedFolders;
};

// Sets the counters to 0 and empties every list.
void clearMatchResults(SearchResults& results);

} // namespace kestrava::search
