// What a run's results look like to the user: the row table of each view, the four summary
// texts, and the export text and rich-text document. The window draws these rows and the
// command line prints these lines; nothing here draws or prints.
#pragma once

#include "search/run_sink.h"
#include "search/search.h"
#include "util/common.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::results {

enum class View : uint8_t {
    LinesWithMatches,
    MatchesOnly,
    UniqueMatches,
    UniqueMatchesSorted,
};

// Context and Separator rows only come from a run that kept context lines: a line around a
// matched line, and the "--" between groups of lines that do not follow on.
enum class RowKind : uint8_t { FileHeader, Line, Match, Blank, Context, Separator };

// One row of a view; indexes point into the results record.
struct Row {
    RowKind kind = RowKind::Blank;
    int32_t fileIndex = 0;
    int32_t lineIndex = 0;  // into the file's lines, or its context for a context row
    int32_t matchIndex = 0; // of a match row: which of the line's matches
};
using Rows = std::vector<Row>;

// Rebuilds `rows` for the view; empty when nothing matched. Returns the number of rows of a
// unique view (matches equal ignoring letter case count once, the first occurrence shown),
// 0 for the other views.
int32_t buildResultRows(const search::SearchResults& results, View view, Rows& rows);

// Appends one file's rows of the lines view, or of the matches view: its header, its lines or
// matches, a blank row. Context lines kept by the run join the lines view in line order (the
// matched lines too, then), with a separator row where lines do not follow on.
void appendFileRows(const search::SearchResults& results, size_t fileIndex, bool matchesOnly,
                    Rows& rows);

// The bytes of a segment within its line, of a line that keeps its text.
std::string_view segmentText(const search::MatchedLine& line,
                             const search::MatchedSegment& segment);
// The bytes of one of the line's matches, and whether the line is cut right after it.
std::string_view matchText(const search::MatchedLine& line, size_t match);
bool cutAfterMatch(const search::MatchedLine& line, size_t match);
// The file's full path: its folder entry followed by its name.
std::string filePath(const search::SearchResults& results, const search::FileMatches& file);

// The summary labels above the results, e.g. "Searched 12 files:   Found 5", " matches",
// " in 3 files", "(4 Unique Matches)", ", 2 binary files skipped"; the fourth is empty outside
// the unique views, the fifth when no file was left out as binary.
struct SummaryTexts {
    std::string searchedAndFound, matchesWord, inFiles, uniqueMatches, binarySkipped;
};
SummaryTexts summaryTexts(const search::SearchResults& results, View view,
                          int32_t uniqueMatchCount);
// The texts as one line, with a blank before a non-empty fourth.
std::string summaryLine(const SummaryTexts& texts);

// Which criteria the header shows: those of a Find, of a Find and Replace, the script's name,
// or none (a list of folders).
enum class HeaderKind : uint8_t { Find, Replace, Script, None };

// The criteria the header shows, as the boxes hold them at the moment of the export, and how
// the rows are written.
struct ExportHeader {
    HeaderKind kind = HeaderKind::Find;
    std::string folders, files, find, replace;
    std::string scriptFileName; // empty: "New (unsaved) script"
    bool withHeader = true;     // false: no header lines whatever the mode
    bool lineNumbers = false;   // line and match rows begin with their line number and ":"
    bool color = false;         // terminal colour codes around matches, numbers and file headers
};

// The header of a kind for the criteria as they stand.
ExportHeader makeExportHeader(HeaderKind kind, const search::Criteria& criteria,
                              const std::string& scriptFileName);

// The export text as lines: header, one line per row (line and match rows only with details),
// and a final empty line; "No matches found" and two empty lines when there are no rows.
std::vector<std::string> buildResultLines(const search::SearchResults& results, const Rows& rows,
                                          const ExportHeader& header, bool details);
// The export text of a view written while a run goes on, as its sink, about a megabyte at a
// time, so that memory does not grow with the text: all it writes is buildResultLines' lines for
// the finished results, each ended by "\n", or with richText, what buildRichText makes of them.
// The lines and matches views go out file by file; a unique view keeps one row per distinct
// text and goes out at the finish.
class ExportWhileRunning final : public search::RunSink {
  public:
    using Write = std::function<void(std::string_view)>;
    ExportWhileRunning(ExportHeader header, View view, bool details, Write write,
                       bool richText = false);
    ~ExportWhileRunning() override;
    ExportWhileRunning(const ExportWhileRunning&) = delete;
    ExportWhileRunning& operator=(const ExportWhileRunning&) = delete;
    bool readsLongLinesBack() const override { return !m_unique; }
    // A file's rows, worked out on the thread that searched it.
    std::string make(const search::SearchedFile& file) const override;
    bool makesLinesAhead() const override { return !m_unique; }
    void makeLines(const search::SearchedFile& file, const Write& write) const override;
    // Writes the file's rows: those made ahead, or else worked out now.
    void fileFound(const search::SearchResults& results, const search::FoundFile& file) override;
    // Writes what is held back: the text so far, before a failure is told.
    void flush();
    // Writes the rest of the text ("No matches found" when no file was recorded).
    void finish();
    // The rows of a unique view so far.
    int32_t uniqueCount() const;

  private:
    class LineEnd;
    struct UniqueRows;
    void start();
    void keepUniqueRows(const search::FoundFile& file);
    void writeUniqueRows();

    ExportHeader m_header;
    bool m_matchesOnly;
    bool m_details;
    bool m_rich;
    Write m_write;
    bool m_started = false;               // the text has begun
    bool m_foundAny = false;              // and its header is written
    std::string m_block;                  // held back until it reaches about a megabyte
    std::unique_ptr<LineEnd> m_lineEnd;   // of the lines made into m_block
    Rows m_rows;                          // one file's, reused
    std::unique_ptr<UniqueRows> m_unique; // of a unique view
};

// The lines as a rich-text document (code page 1252, one paragraph per line).
std::string buildRichText(const std::vector<std::string>& lines);

} // namespace kestrava::results
