// What a write did, as the grid shows it once the files have changed: each file written (or
// the copy written), each file left as it was with why, and after an undo each file put back.
// A replacing run's results keep their rows; each file's header then says the same.
#pragma once

#include "change_plan.h"
#include "results_grid.h"

#include "search/search.h"
#include "search/undo_journal.h"

#include <string>
#include <vector>

namespace kestrava::ui {

enum class ReportKind : uint8_t { Written, CopyWritten, NotWritten, PutBack, NotPutBack };

struct ReportLine {
    ReportKind kind = ReportKind::Written;
    std::string path;    // the file written (the copy, for CopyWritten) or left alone
    std::string detail;  // why a file was left alone
    int64_t changes = 0; // written into it
};
using WriteReport = std::vector<ReportLine>;

// The checked changes of a preview, written.
WriteReport appliedReport(const AppliedChanges& applied);
// An undo: what it put back and what it refused.
WriteReport undoneReport(const search::UndoOutcome& outcome);
// Per file of a replacing run's results, in their order: written, its copy written, or left
// as it was (the run's notReplaced).
WriteReport fileWrites(const search::SearchResults& results, bool replaceInPlace);
// "3 files written" or "3 copies written", with those left alone counted.
std::string writtenNote(const WriteReport& writes);

// A report row: what happened, the path in bold, the count or why.
std::vector<GridPiece> reportRowPieces(const ReportLine& line, const GridColours& colours = {});
// What a file's header adds after its path in a replacing run's results.
std::vector<GridPiece> headerWritePieces(const ReportLine& line, const GridColours& colours = {});

} // namespace kestrava::ui
