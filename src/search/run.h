// The search run: reads every listed file whole, searches it with every item and records (or
// hands to a sink) the files, lines and matches found, writing replaced text where it replaces.
// Plain records in, plain records out: no globals, no output; progress and cancellation are
// parameters.
#pragma once

#include "regex/pattern_table.h"
#include "search/records.h"
#include "util/file_io.h"
#include "util/write_gate.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::search {

struct ReplaceRule {
    int32_t patternID = -1;
    bool doReplace = false;
    std::string replaceWith; // a template; "^$" has already become ""
};

// What a run leaves out, and what it keeps besides the matched lines.
class UndoJournal;
class RunSink;

struct ScanOptions {
    bool skipBinary = false;       // files with a NUL byte in their first 64 KiB (kBinaryProbe)
    bool respectGitignore = false; // what git ignores (see ScanListOptions)
    bool includeHidden = false;    // names beginning with "." (see ScanListOptions)
    int32_t maxDepth = -1;         // folder levels walked (see ScanListOptions); -1: all
    int32_t maxLines = -1;         // a find keeps each file's first N text lines with matches
    int32_t contextBefore = 0;     // text lines kept before each matched line
    int32_t contextAfter = 0;      // and after it
    // A replacing run works out each file's changes as a unified diff and writes nothing.
    bool planOnly = false;
    // A run with one replacing item keeps each replacement's text (FileMatches::replacements);
    // a planning run keeps the changes of any number of items, with their views.
    bool keepReplacements = false;
    // Off, matched lines are not numbered (0), which saves a pass over the text before each one;
    // context lines need the numbers and turn it on.
    bool countLines = true;
    // A replacing run keeps each file's old content here before replacing it (not owned).
    UndoJournal* undoJournal = nullptr;
};
inline constexpr size_t kBinaryProbe = size_t{64} << 10;

struct CompiledRequest {
    regex::PatternSet regEx; // every item's pattern lives here
    std::vector<ReplaceRule> items;
    bool replace = false; // some item replaces
    ScanOptions options{};
    // Where a replacing run may write: its searched top folders; and where its findings go
    // (both set by scanFiles for its run, not owned).
    const util::WriteRoots* writeRoots = nullptr;
    RunSink* sink = nullptr;
};

// Reads a whole regular file with one read into `buffer`, sized exactly. Anything but rsRead
// leaves `buffer` empty and `errorText` saying why; files of 2 GiB or more are never read.
util::ReadStatus readWholeFile(const std::string& fileName, std::string& buffer,
                               std::string& errorText);

// Appends the lines holding the non-empty matches of one pattern in one file's text, taking each
// match as the engine finds it (no list of them is kept); returns how many there were. Only
// non-empty matches are results: an empty one has nothing to show or replace. Without
// countLines every line is numbered 0, and the line feeds before it are never counted.
// With `handOver`, once the lines closed so far are many (kHandOverLines), they are handed
// over, and `lines` is left to hold what follows: a file's lines need not all be kept at once.
// Lines longer than longestKeptLine keep no text (MatchedLine::textKept).
constexpr size_t kHandOverLines = 4096;
int32_t findMatchedLines(regex::PatternTable& regex, int32_t patternID, std::string_view text,
                         MatchedLineArray& lines, bool countLines = true,
                         const std::function<void(MatchedLineArray& lines)>& handOver = {},
                         size_t longestKeptLine = SIZE_MAX);

// Where a run stands: the list of files being made (filesTotal 0), then the files being read.
struct Progress {
    int32_t filesDone = 0;
    int32_t filesTotal = 0;
    std::string currentFile; // the file read last (full path); empty while listing
    int32_t filesListed = 0; // so far, while the list is being made
    int64_t bytesSearched = 0;
    int32_t matches = 0; // found so far
    // The bytes and matches include how far the files being read have come (their matched lines
    // so far), and currentFile is one of them: told while a long file is read.
    bool partway = false;
};
// The status line for it: "Creating list of files to scan .." or "Processing file N of M" (the
// file being read, when partway; else the file read last).
std::string progressText(const Progress& progress);
// What more it says, for a status line with room: "1,234 files listed" while listing, then
// "1.5 MB searched, 12 matches, in /the/current/file"; empty when there is nothing to add.
std::string progressDetail(const Progress& progress);
using ProgressEvent = std::function<void(const Progress& progress)>;

// Collects the files, searches each with every item, appends files with matches to `results`
// (not cleared first), or hands them to `sink` instead, and, when specs.Replace, writes the
// replaced text. Returns totalMatches.
// Unreadable files are skipped and counted. A stop request ends the run within a moment, even
// inside a file (whose results so far are dropped; a file being written is finished first),
// with results.Cancelled set. Any exception clears `results` and propagates.
// Files are read and searched on threadCount threads (0: one per core) but recorded, reported
// and written strictly in list order, so the outcome is that of a one-thread run.
int32_t scanFiles(const FolderSpecs& folders, const FileMaskSpecs& files, CompiledRequest& specs,
                  bool replaceInPlace, SearchResults& results, const ProgressEvent& progress = {},
                  const std::stop_token& stop = {}, int32_t threadCount = 0,
                  RunSink* sink = nullptr);

} // namespace kestrava::search
