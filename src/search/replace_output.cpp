// Replace output: the replaced text of a searched file goes back into the file or into a copy
// in the "kesReplace" subfolder of the file's own folder.
#include "search/search.h"

#include "search/undo_journal.h"
#include "util/content_hash.h"
#include "util/file_io.h"
#include "util/unique_fd.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace kestrava::search {

std::string replaceOutputName(const std::string& fullPath, bool replaceInPlace) {
    if (replaceInPlace)
        return fullPath;
    const size_t slash = fullPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return fullPath.substr(0, nameStart) + "kesReplace/" + fullPath.substr(nameStart);
}

std::string replacedText(CompiledRequest& specs, std::string_view text,
                         std::vector<Replacement>* replacements) {
    const auto replacing = std::count_if(specs.items.begin(), specs.items.end(),
                                         [](const ReplaceRule& item) { return item.doReplace; });
    regex::PatternTable::Replaced tell;
    if (replacements != nullptr && replacing == 1)
        tell = [replacements](uint32_t start, uint32_t end, std::string_view put) {
            replacements->push_back(
                {static_cast<int32_t>(start), static_cast<int32_t>(end), std::string(put)});
        };
    // The first item reads the text itself, each later one what the one before made.
    std::string current(replacing == 0 ? text : std::string_view());
    std::string replaced;
    for (const ReplaceRule& item : specs.items) {
        if (!item.doReplace)
            continue;
        // Every match: the user confirmed "Replace all matches".
        specs.regEx.replace(item.patternID, text, item.replaceWith, -1, 1, replaced, tell);
        current.swap(replaced);
        text = current;
    }
    return current;
}

std::string writeReplacedText(const util::WriteRoots& roots, const std::string& fullPath,
                              const util::ReadTarget& read, const std::string& text,
                              bool replaceInPlace, util::OldContentKeeper* keeper) {
    const std::string folder = util::fileFolder(fullPath);
    std::string message;
    const util::WriteOutcome outcome =
        replaceInPlace
            ? util::replaceReadFile(roots, read, text, message, keeper)
            : util::writeIntoSubfolder(roots, folder, "kesReplace", fullPath.substr(folder.size()),
                                       text, message, keeper);
    if (outcome == util::WriteOutcome::Failed)
        throw std::runtime_error(message + " (" + replaceOutputName(fullPath, replaceInPlace) +
                                 ")");
    return outcome == util::WriteOutcome::Refused ? message : std::string();
}

namespace {

// A line without its line end, as a change is shown.
std::string shownLine(std::string_view line) {
    if (line.ends_with('\n'))
        line.remove_suffix(1);
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    return std::string(line);
}

// Reads the file again for writing; "" when it still holds the bytes that were searched.
std::string rereadAsSearched(const std::string& path, const FileMatches& file, std::string& content,
                             util::ReadTarget& target) {
    util::UniqueFd fd;
    size_t size = 0;
    int error = 0;
    const util::ReadStatus status =
        util::openRegularFile(path, int64_t{0x7fffffff}, fd, size, error, &target);
    if (status != util::ReadStatus::Read ||
        util::readOpenedFile(fd, size, content, error) != util::ReadStatus::Read)
        return error != 0 ? std::strerror(error) : "cannot be read again";
    return util::contentHash(content) == file.searchedHash
               ? ""
               : "changed since it was searched; left as it is";
}

} // namespace

std::vector<ChangeView> viewsOfChanges(std::string_view text,
                                       const std::vector<Replacement>& changes) {
    std::vector<ChangeView> views;
    views.reserve(changes.size());
    // Lines are counted on from the previous change, so many changes cost one pass.
    size_t counted = 0;
    int32_t lineNumber = 1;
    for (const Replacement& change : changes) {
        const auto start = static_cast<size_t>(change.start);
        const auto end = static_cast<size_t>(change.end);
        const size_t lineStart = start == 0 ? 0 : text.rfind('\n', start - 1) + 1; // npos+1 is 0
        if (lineStart < counted) { // out of order: count again from the top
            counted = 0;
            lineNumber = 1;
        }
        lineNumber += static_cast<int32_t>(
            std::count(text.begin() + static_cast<ptrdiff_t>(counted),
                       text.begin() + static_cast<ptrdiff_t>(lineStart), '\n'));
        counted = lineStart;
        size_t lineEnd = text.find('\n', end > start ? end - 1 : end);
        lineEnd = std::max(lineEnd == std::string_view::npos ? text.size() : lineEnd, end);
        ChangeView& view = views.emplace_back();
        view.lineNumber = lineNumber;
        view.before = shownLine(text.substr(lineStart, lineEnd - lineStart));
        view.after = shownLine(std::string(text.substr(lineStart, start - lineStart)) +
                               change.text + std::string(text.substr(end, lineEnd - end)));
    }
    return views;
}

std::string withChosenReplacements(std::string_view text, const std::vector<Replacement>& changes,
                                   const std::vector<bool>& chosen) {
    std::string out;
    size_t at = 0;
    for (size_t i = 0; i < changes.size(); ++i) {
        if (!chosen[i])
            continue;
        out.append(text.substr(at, static_cast<size_t>(changes[i].start) - at));
        out += changes[i].text;
        at = static_cast<size_t>(changes[i].end);
    }
    out.append(text.substr(at));
    return out;
}

std::string changedSincePlanned(const std::string& path, const FileMatches& file) {
    std::string content;
    util::ReadTarget target;
    return rereadAsSearched(path, file, content, target);
}

std::string applyChosenChanges(const util::WriteRoots& roots, const std::string& path,
                               const FileMatches& file, const std::vector<bool>& chosen,
                               bool replaceInPlace, UndoJournal* journal) {
    std::string content;
    util::ReadTarget target;
    if (std::string why = rereadAsSearched(path, file, content, target); !why.empty())
        return why;
    const std::string text = withChosenReplacements(content, file.replacements, chosen);
    if (journal != nullptr)
        journal->expect(util::contentHash(content), util::contentHash(text));
    try {
        if (journal != nullptr)
            journal->recordRoots(roots.realPaths());
        return writeReplacedText(roots, path, target, text, replaceInPlace, journal);
    } catch (const std::exception& e) {
        return e.what();
    }
}

std::string partialReplaceSummary(int32_t replaced, int32_t listed) {
    const auto files = [](int32_t count) {
        return std::to_string(count) + (count == 1 ? " file was" : " files were");
    };
    return files(replaced) + " replaced before the error; " + files(listed - replaced) +
           " not touched";
}

ReplaceStoppedError::ReplaceStoppedError(const std::string& message,
                                         std::vector<std::string> replacedFiles,
                                         std::vector<std::string> untouchedFiles)
    : std::runtime_error(message + "\r\n" +
                         partialReplaceSummary(
                             static_cast<int32_t>(replacedFiles.size()),
                             static_cast<int32_t>(replacedFiles.size() + untouchedFiles.size()))),
      replaced(std::move(replacedFiles)), notTouched(std::move(untouchedFiles)) {}

std::string replaceNote(bool replaceInPlace, bool undoKept) {
    if (replaceInPlace && undoKept)
        return " (note: original files will be altered; their old content is kept, so the "
               "replacement can be undone)";
    if (replaceInPlace)
        return " (note: original files will be altered and no backup performed)";
    return " (note: original files will not be altered and files with the same names and "
           "containing the original files contents with replacements will be created in a "
           "subfolder named \"kesReplace\")";
}

} // namespace kestrava::search
