// The replace preview: the changes a planning run found, as rows for the results grid (each
// file's header, each change's old lines above its new ones), with which changes the user keeps
// checked; and writing only the checked ones. The rows are small records of indices into the
// results, so a plan of 100,000 changes is laid out at once and only the rows in sight are drawn.
#pragma once

#include "search/search.h"

#include <cstdint>
#include <stop_token>
#include <string_view>
#include <vector>

namespace kestrava::ui {

enum class PlanRowKind : uint8_t { FileHeader, Before, After, Blank };

// One row of a plan: a file's header, one line of a change as it is (Before) or as it would
// become (After), or the blank row after a file.
struct PlanRow {
    PlanRowKind kind = PlanRowKind::Blank;
    int32_t fileIndex = 0;   // into results.files
    int32_t changeIndex = 0; // into the file's changeViews
    int32_t lineOffset = 0;  // which line of a change that spans several
};

enum class CheckMark : uint8_t { None, Unchecked, Partly, Checked };

class ChangePlan {
  public:
    // Lays out every file of `results` that has changes, each change checked. The results must
    // outlive the plan's use, unchanged.
    void build(const search::SearchResults& results);
    void clear();

    const std::vector<PlanRow>& rows() const { return m_rows; }
    bool empty() const { return m_rows.empty(); }
    // The box a row shows: a file's header from its changes, a change on its first old line;
    // None for the other rows.
    CheckMark mark(size_t row) const;
    // Flips the row's box; a file's box checks all its changes unless all are checked, then
    // unchecks them all. False when the row has no box.
    bool toggle(size_t row);
    // Per file of the results, which of its changes are checked (empty for a file without any).
    const std::vector<std::vector<bool>>& chosen() const { return m_chosen; }
    int64_t checkedCount() const { return m_checked; }
    int64_t changeCount() const { return m_changes; }
    int32_t fileCount() const { return m_files; }
    // The largest line number a row shows.
    int32_t widestLineNumber() const { return m_widestLine; }

  private:
    void setChange(size_t file, size_t change, bool checked);

    std::vector<PlanRow> m_rows;
    std::vector<std::vector<bool>> m_chosen;
    std::vector<int32_t> m_checkedInFile;
    int64_t m_checked = 0;
    int64_t m_changes = 0;
    int32_t m_files = 0;
    int32_t m_widestLine = 1;
};

// Line `offset` of a change's view (lines are separated by '\n'); empty past the last.
std::string_view viewLine(std::string_view text, int32_t offset);

// A file the checked changes went into: the file itself, or its copy.
struct WrittenFile {
    std::string path;
    int64_t changes = 0;
};

// What writing the checked changes did.
struct AppliedChanges {
    int64_t changes = 0; // written
    int32_t files = 0;
    std::vector<WrittenFile> written; // in the plan's order
    bool inPlace = true;
    std::vector<search::SkippedFile> refused; // each file left as it was, with why
    bool cancelled = false;
};

// Writes the checked changes file by file (a file with none checked is left alone), each file
// refused on its own when it changed since the plan; a stop ends it between files. Progress
// counts the files with checked changes.
AppliedChanges applyCheckedChanges(const search::SearchResults& results,
                                   const std::vector<std::vector<bool>>& chosen,
                                   bool replaceInPlace, search::UndoJournal* journal,
                                   const search::ProgressEvent& progress,
                                   const std::stop_token& stop);

// "Replaced 3 changes in 2 files", with the refused files counted and a stop said.
std::string appliedNote(const AppliedChanges& applied);

} // namespace kestrava::ui
