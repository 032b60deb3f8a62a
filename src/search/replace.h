// Replaced text and where it goes, the replace plan (each change viewed, chosen and applied) and
// its unified diff.
#pragma once

#include "search/run.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::search {

// Where the replaced text of fullPath goes: the path itself, or its folder + "kesReplace/" +
// its name.
std::string replaceOutputName(const std::string& fullPath, bool replaceInPlace);
// Applies every replacing item in order, each to all its matches, to `text`. With
// `replacements`, each replacement is told there when one item alone replaces (a later item
// would change what an earlier one put in).
std::string replacedText(CompiledRequest& specs, std::string_view text,
                         std::vector<Replacement>* replacements = nullptr);
// Writes the replaced text of fullPath, which was read as `read`: over that very file, or into
// its kesReplace copy. Returns "" when written, otherwise why it was not (the file is left as it
// is, and a run goes on with the others); throws std::runtime_error when writing failed.
std::string writeReplacedText(const util::WriteRoots& roots, const std::string& fullPath,
                              const util::ReadTarget& read, const std::string& text,
                              bool replaceInPlace, util::OldContentKeeper* keeper = nullptr);
// The unified diff from oldText to newText ("--- a/<path>", "+++ b/<path>", hunks with three
// lines of context) that git apply and patch -p1 accept; "" when they are equal. An absolute
// path loses its first "/", so the diff applies from the root folder; "." steps are dropped.
// Names are quoted as git quotes them. With `write`, the diff is handed to it about a megabyte
// at a time and only the rest is returned.
using DiffWrite = std::function<void(std::string_view)>;
std::string unifiedDiff(std::string_view oldText, std::string_view newText, const std::string& path,
                        const DiffWrite& write = {});
// One view per change; `changes` are by start.
std::vector<ChangeView> viewsOfChanges(std::string_view text,
                                       const std::vector<Replacement>& changes);
// The changes from oldText to newText as runs of whole changed lines: how the changes of several
// replacing items, which may overlap or chain, are offered one by one.
std::vector<Replacement> changedLineRuns(std::string_view oldText, std::string_view newText);
// The text with only the chosen replacements made; `changes` are by start and do not overlap.
std::string withChosenReplacements(std::string_view text, const std::vector<Replacement>& changes,
                                   const std::vector<bool>& chosen);
// "" when the file at `path` still holds the bytes a plan searched, otherwise why not.
std::string changedSincePlanned(const std::string& path, const FileMatches& file);
// Writes the chosen changes of one file of a plan (a planning run that kept its replacements)
// at `path`, read again and refused when it no longer holds the bytes that were searched.
// Returns "" when written, otherwise why the file was left as it is.
std::string applyChosenChanges(const util::WriteRoots& roots, const std::string& path,
                               const FileMatches& file, const std::vector<bool>& chosen,
                               bool replaceInPlace, UndoJournal* journal = nullptr);

// The line that ends a replace stopped by an error: "N files were replaced before the error; M
// files were not touched".
std::string partialReplaceSummary(int32_t replaced, int32_t listed);

// What scanFiles raises when an error stops a replacing run: the error's message, then the
// summary above; the files on each side of it by name.
struct ReplaceStoppedError : std::runtime_error {
    ReplaceStoppedError(const std::string& message, std::vector<std::string> replaced,
                        std::vector<std::string> notTouched);
    std::vector<std::string> replaced;
    std::vector<std::string> notTouched;
};
// The note put after a replace confirmation question; both forms begin with a blank.
// With undoKept, the in-place note says the old content is kept rather than "no backup".
std::string replaceNote(bool replaceInPlace, bool undoKept = false);

} // namespace kestrava::search
