// What a run's results look like to the user: the row table of each view, the four summary
// texts, and the export text and rich-text document. The window draws these rows and the
// command line prints these lines; nothing here draws or prints.
#pragma once

#include "search/kes_uFind.h"
#include "util/kes_uGlobal.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

enum TResultView : uint8_t {
    rvLinesWithMatches,
    rvMatchesOnly,
    rvUniqueMatches,
    rvUniqueMatchesSorted,
};

enum TResultRowKind : uint8_t { rkFileHeader, rkLine, rkMatch, rkBlank };

// One row of a view; indexes point into the results record.
struct TResultRow {
    TResultRowKind Kind = rkBlank;
    int32_t FileIndex = 0;
    int32_t LineIndex = 0;
    int32_t MatchIndex = 0; // of a match row: which of the line's matches
};
using TResultRows = std::vector<TResultRow>;

// Rebuilds `rows` for the view; empty when nothing matched. Returns the number of rows of a
// unique view (matches equal ignoring letter case count once, the first occurrence shown),
// 0 for the other views.
int32_t BuildResultRows(const TkesMatchResults& results, TResultView view, TResultRows& rows);

// Appends one file's rows of the lines view, or of the matches view: its header, its lines or
// matches, a blank row.
void AppendFileRows(const TkesMatchResults& results, size_t fileIndex, bool matchesOnly,
                    TResultRows& rows);

// The bytes of a segment within its line.
std::string_view SegmentText(const TMatchedLines& line, const TMatchedSegment& segment);
// The bytes of one of the line's matches, and whether the line is cut right after it.
std::string_view MatchText(const TMatchedLines& line, size_t match);
bool CutAfterMatch(const TMatchedLines& line, size_t match);
// The file's full path: its folder entry followed by its name.
std::string FilePath(const TkesMatchResults& results, const TkesFile& file);

// The four summary labels above the results, e.g. "Searched 12 files:   Found 5", " matches",
// " in 3 files", "(4 Unique Matches)"; the fourth is empty outside the unique views.
struct TSummaryTexts {
    std::string Label1, Label2, Label3, Label4;
};
TSummaryTexts SummaryTexts(const TkesMatchResults& results, TResultView view,
                           int32_t uniqueMatchCount);
// The four texts as one line, with a blank before a non-empty fourth.
std::string SummaryLine(const TSummaryTexts& texts);

// The criteria the header shows, as the boxes hold them at the moment of the export.
struct TExportHeader {
    TkesMode Mode = mdFind; // decides the header lines
    std::string Folders, Files, Find, Replace;
    std::string ScriptFileName; // empty: "New (unsaved) script"
};

// The header of a mode for the criteria as they stand.
TExportHeader MakeExportHeader(TkesMode mode, const TkesSpecs& criteria,
                               const std::string& scriptFileName);

// The export text as lines: header, one line per row (line and match rows only with details),
// and a final empty line; "No matches found" and two empty lines when there are no rows.
std::vector<std::string> BuildResultLines(const TkesMatchResults& results, const TResultRows& rows,
                                          const TExportHeader& header, bool details);
// The same lines, each ended by "\n", handed to `write` in blocks of about a megabyte: printing a
// million rows this way needs neither a list of them nor a string per row.
void WriteResultText(const TkesMatchResults& results, const TResultRows& rows,
                     const TExportHeader& header, bool details,
                     const std::function<void(std::string_view)>& write);
// The export text of the lines or matches view made while a run records its files (see
// ScanFiles), so that little is left to do when it ends: for a run that starts from empty
// results, the text Finish hands over is the one WriteResultText gives for them. Past
// mostBytes of text it gives up, keeping memory in bounds, and Complete() is false: the text
// is then made from the results at the end.
class TExportWhileRunning {
  public:
    TExportWhileRunning(TExportHeader header, TResultView view, bool details,
                        size_t mostBytes = size_t{64} << 20);
    void FileRecorded(const TkesMatchResults& results, size_t fileIndex);
    bool Complete() const { return !GaveUp_; }
    // Only for a complete text.
    void Finish(const std::function<void(std::string_view)>& write);

  private:
    void GiveUp();
    TExportHeader Header_;
    bool MatchesOnly_;
    bool Details_;
    size_t MostBytes_;
    bool GaveUp_ = false;
    size_t Bytes_ = 0; // in the blocks before the last
    std::vector<std::string> Blocks_; // of about a megabyte each
    TResultRows Rows_;                // one file's, reused
};

// The lines as a rich-text document (code page 1252, one paragraph per line).
std::string BuildRichText(const std::vector<std::string>& lines);

} // namespace kes
