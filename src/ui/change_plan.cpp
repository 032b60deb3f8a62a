#include "change_plan.h"

#include <algorithm>

namespace kestrava::ui {

namespace {

int32_t lineCount(std::string_view text) {
    return static_cast<int32_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

std::string counted(int64_t count, const char* one, const char* many) {
    return std::to_string(count) + (count == 1 ? one : many);
}

CheckMark markOf(int32_t checked, size_t total) {
    if (checked == 0)
        return CheckMark::Unchecked;
    return static_cast<size_t>(checked) == total ? CheckMark::Checked : CheckMark::Partly;
}

} // namespace

void ChangePlan::clear() {
    m_rows.clear();
    m_chosen.clear();
    m_checkedInFile.clear();
    m_checked = m_changes = 0;
    m_files = 0;
    m_widestLine = 1;
}

void ChangePlan::build(const search::SearchResults& results) {
    clear();
    m_chosen.resize(results.files.size());
    m_checkedInFile.assign(results.files.size(), 0);
    for (size_t f = 0; f < results.files.size(); ++f) {
        const search::FileMatches& file = results.files[f];
        const size_t changes = std::min(file.replacements.size(), file.changeViews.size());
        if (changes == 0)
            continue;
        const auto fileIndex = static_cast<int32_t>(f);
        m_rows.push_back({PlanRowKind::FileHeader, fileIndex, 0, 0});
        for (size_t c = 0; c < changes; ++c) {
            const search::ChangeView& view = file.changeViews[c];
            const int32_t before = lineCount(view.before);
            const int32_t after = lineCount(view.after);
            const auto change = static_cast<int32_t>(c);
            for (int32_t line = 0; line < before; ++line)
                m_rows.push_back({PlanRowKind::Before, fileIndex, change, line});
            for (int32_t line = 0; line < after; ++line)
                m_rows.push_back({PlanRowKind::After, fileIndex, change, line});
            m_widestLine = std::max(m_widestLine, view.lineNumber + std::max(before, after) - 1);
        }
        m_rows.push_back({PlanRowKind::Blank, fileIndex, 0, 0});
        m_chosen[f].assign(file.replacements.size(), true);
        m_checkedInFile[f] = static_cast<int32_t>(changes);
        m_changes += static_cast<int64_t>(changes);
        ++m_files;
    }
    m_checked = m_changes;
}

CheckMark ChangePlan::mark(size_t row) const {
    if (row >= m_rows.size())
        return CheckMark::None;
    const PlanRow& r = m_rows[row];
    const auto file = static_cast<size_t>(r.fileIndex);
    if (r.kind == PlanRowKind::FileHeader)
        return markOf(m_checkedInFile[file], m_chosen[file].size());
    if (r.kind == PlanRowKind::Before && r.lineOffset == 0)
        return m_chosen[file][static_cast<size_t>(r.changeIndex)] ? CheckMark::Checked
                                                                  : CheckMark::Unchecked;
    return CheckMark::None;
}

void ChangePlan::setChange(size_t file, size_t change, bool checked) {
    if (m_chosen[file][change] == checked)
        return;
    m_chosen[file][change] = checked;
    const int32_t step = checked ? 1 : -1;
    m_checkedInFile[file] += step;
    m_checked += step;
}

bool ChangePlan::toggle(size_t row) {
    const CheckMark now = mark(row);
    if (now == CheckMark::None)
        return false;
    const PlanRow& r = m_rows[row];
    const auto file = static_cast<size_t>(r.fileIndex);
    const bool checked = now != CheckMark::Checked;
    if (r.kind == PlanRowKind::FileHeader) {
        for (size_t change = 0; change < m_chosen[file].size(); ++change)
            setChange(file, change, checked);
    } else {
        setChange(file, static_cast<size_t>(r.changeIndex), checked);
    }
    return true;
}

std::string_view viewLine(std::string_view text, int32_t offset) {
    size_t start = 0;
    for (int32_t line = 0; line < offset; ++line) {
        start = text.find('\n', start);
        if (start == std::string_view::npos)
            return {};
        ++start;
    }
    return text.substr(start, text.find('\n', start) - start);
}

AppliedChanges applyCheckedChanges(const search::SearchResults& results,
                                   const std::vector<std::vector<bool>>& chosen,
                                   bool replaceInPlace, search::UndoJournal* journal,
                                   const search::ProgressEvent& progress,
                                   const std::stop_token& stop) {
    AppliedChanges applied;
    applied.inPlace = replaceInPlace;
    const util::WriteRoots roots(results.searchedFolders);
    const auto anyChecked = [](const std::vector<bool>& file) {
        return std::find(file.begin(), file.end(), true) != file.end();
    };
    search::Progress where;
    where.filesTotal =
        static_cast<int32_t>(std::count_if(chosen.begin(), chosen.end(), anyChecked));
    for (size_t f = 0; f < results.files.size() && f < chosen.size(); ++f) {
        if (!anyChecked(chosen[f]))
            continue;
        if (stop.stop_requested()) {
            applied.cancelled = true;
            break;
        }
        const search::FileMatches& file = results.files[f];
        const std::string path =
            results.folders.at(static_cast<size_t>(file.folderIndex)) + file.fileName;
        where.currentFile = path;
        if (progress)
            progress(where);
        const std::string why =
            search::applyChosenChanges(roots, path, file, chosen[f], replaceInPlace, journal);
        if (why.empty()) {
            const int64_t changes = std::count(chosen[f].begin(), chosen[f].end(), true);
            applied.changes += changes;
            ++applied.files;
            applied.written.push_back({search::replaceOutputName(path, replaceInPlace), changes});
        } else {
            applied.refused.push_back({path, search::SkipReason::Refused, why});
        }
        ++where.filesDone;
    }
    return applied;
}

std::string appliedNote(const AppliedChanges& applied) {
    std::string note = "Replaced " + counted(applied.changes, " change", " changes") + " in " +
                       counted(applied.files, " file", " files");
    if (!applied.refused.empty())
        note += "; " + counted(static_cast<int64_t>(applied.refused.size()), " file", " files") +
                " refused";
    if (applied.cancelled)
        note += "; stopped before the rest";
    return note;
}

} // namespace kestrava::ui
