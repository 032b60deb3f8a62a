// The search engine: parses the Folder(s) and File(s) entries, collects the files to search,
// reads and searches each one whole, records every file, line and match, and writes replaced
// text in place or into a "kesReplace" copy. Plain records in, plain records out: no globals,
// no output; progress and cancellation are parameters.
#pragma once

#include "regex/pattern_table.h"
#include "util/file_io.h"
#include "util/file_text.h"
#include "util/text.h"
#include "util/write_gate.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrava::search {

// ---- Folder and file specifications ---------------------------------------------------------

struct FolderSpec {
    std::string folder; // trimmed, used as typed
    bool includeSubfolders = false;
    // Paths relative to Folder, trimmed; each a name or a mask ("*" and "?" within one folder
    // name, letter case ignored). A trailing "/" is ignored.
    std::vector<std::string> excludedFolders;
};
using FolderSpecs = std::vector<FolderSpec>;

struct FileMaskSpec {
    std::string fileMask;                   // "*" and "?" wildcards, letter case ignored
    std::vector<std::string> excludedFiles; // names or masks as fileMask ("[" is no wildcard)
};
using FileMaskSpecs = std::vector<FileMaskSpec>;

// Appends one record per "|"-separated specification; an empty text appends nothing. On a
// specification that cannot be divided, empties `folders` and throws std::runtime_error
// "Invalid Syntax for Folders To Search: " + the piece that could not be divided.
void parseFoldersToSearch(const std::string& text, FolderSpecs& folders);
// The same for file masks; the message begins "Invalid Syntax for Files To Search: ".
void parseFilesToSearch(const std::string& text, FileMaskSpecs& files);

// Parse only to check an entry, as a box does when it is left or a stored history is loaded;
// throws what the parsers throw.
void validateFoldersEntry(const std::string& text);
void validateFilesEntry(const std::string& text);

// The texts shown when a Folder(s) or File(s) entry is rejected on leaving its box. The folders
// text ends with CR LF and is followed directly by the exception's message; the files text is
// shown alone.
extern const char* const kInvalidFoldersFormatText;
extern const char* const kInvalidFilesFormatText;

// ---- File collection ------------------------------------------------------------------------

struct FileListItem {
    bool isFile = false;
    std::string name; // a top folder's path as parsed, otherwise the bare name
    bool exists = true;
    int32_t parentIndex = -1; // -1 for a top folder
};
using FileList = std::vector<FileListItem>;

enum class SkipReason : uint8_t { Missing, Unreadable, TooLarge, NotRegular, Refused };

// A file that matched a mask but could not be searched.
struct SkippedFile {
    std::string fileName; // full path
    SkipReason reason = SkipReason::Unreadable;
    std::string message;
};

// Told of each file as it joins the list: its full path and bare name.
using FileListedEvent = std::function<void(std::string fullPath, const std::string& name)>;

// What a walk reports besides its list, and what it leaves out.
struct ScanListOptions {
    // Matching entries that are no regular files, and folders that cannot be listed.
    std::vector<SkippedFile>* skipped = nullptr;
    // Each backup of an interrupted rewrite met in a walked folder.
    std::vector<std::string>* notices = nullptr;
    std::stop_token stop{};       // ends the walk early
    FileListedEvent fileListed{}; // hears of each file as it is listed, in list order
    // Leaves out what git would ignore in the repository each top folder belongs to: its
    // .gitignore files, info/exclude and the user's excludes file. An ignored folder is not
    // entered; a repository met below has its own rules; a folder outside any has none.
    bool respectGitignore = false;
};

// Empties the list, then collects every folder and file depth first, at any depth (full paths
// may pass PATH_MAX), the names of each folder in byte order; fileCount is the number of file
// entries. Only regular files (and links to them) are listed. The backup of an interrupted
// rewrite ("<name>" + kBackupNameSuffix) is never listed.
void buildScanList(const FolderSpecs& folders, const FileMaskSpecs& files, FileList& list,
                   int32_t& fileCount, const ScanListOptions& options = {});
// True when the mask matches the name ("*" and "?", letter case ignored; "*.*" matches all).
bool fileMaskMatches(const std::string& mask, const std::string& name);

// ---- Find/replace items and results ---------------------------------------------------------

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

struct MatchedSegment {
    int32_t start = 1; // 1-based position in the line's Text
    int32_t length = 0;
    bool isMatch = false;
};

// A match within its line: 1-based start in the line's Text, and length up to the line's end.
struct MatchSpan {
    int32_t start = 1;
    int32_t length = 0;
};

struct MatchedLine;

// The segments of a line in order (text, match, text, ...), worked out from its matches while
// they are visited. Each match has a text before it, empty where it follows another match or
// starts the line; a final text only when there is one. The line's leading control byte, which
// only separates it from what came before, is in no segment unless a match takes it in.
class LineSegments {
  public:
    class Iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = MatchedSegment;
        using difference_type = std::ptrdiff_t;
        using pointer = const MatchedSegment*;
        using reference = MatchedSegment;

        MatchedSegment operator*() const { return m_current; }
        Iterator& operator++() {
            advance();
            return *this;
        }
        bool operator==(const Iterator& other) const {
            return m_done == other.m_done &&
                   (m_done || (m_next == other.m_next && m_beforeShown == other.m_beforeShown));
        }

      private:
        friend class LineSegments;
        Iterator(const MatchedLine* line, bool done);
        void advance();

        const MatchedLine* m_line;
        size_t m_next = 0;          // the next match to visit
        int32_t m_pos = 1;          // the first position of the Text not yet visited
        bool m_beforeShown = false; // the text before match m_next was visited
        MatchedSegment m_current;
        bool m_done;
    };

    explicit LineSegments(const MatchedLine& line) : m_line(&line) {}
    Iterator begin() const { return Iterator(m_line, false); }
    Iterator end() const { return Iterator(m_line, true); }

  private:
    const MatchedLine* m_line;
};

// Bytes written once and then only read, taken from a block shared with the bytes taken before
// and after them on the same thread, so that a million matched lines do not cost a million
// allocations. Copies share the bytes; a block is freed, or reused by its thread, once no bytes
// of it are held.
class SharedBytes {
  public:
    SharedBytes() = default;
    // `size` bytes, not yet written; a size past a quarter of a block gets a block of its own.
    explicit SharedBytes(size_t size);
    SharedBytes(const SharedBytes& other) noexcept;
    SharedBytes(SharedBytes&& other) noexcept;
    SharedBytes& operator=(const SharedBytes& other) noexcept;
    SharedBytes& operator=(SharedBytes&& other) noexcept;
    ~SharedBytes();

    char* data() { return m_data; }
    const char* data() const { return m_data; }

    struct Block; // opaque: the shared block and its holder count

  private:
    Block* m_block = nullptr;
    char* m_data = nullptr;
};

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
    std::vector<ContextLine> context{}; // in line order; empty unless asked for
    std::string plannedDiff{}; // a planning run's unified diff; empty when nothing would change
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

// ---- The search run -------------------------------------------------------------------------

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
};
// The status line for it: "Creating list of files to scan .." or "Processing file N of M".
std::string progressText(const Progress& progress);
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

// ---- Replace output -------------------------------------------------------------------------

// Where the replaced text of fullPath goes: the path itself, or its folder + "kesReplace/" +
// its name.
std::string replaceOutputName(const std::string& fullPath, bool replaceInPlace);
// Applies every replacing item in order, each to all its matches, to `text`. With
// `replacements`, each replacement is told there when one item alone replaces (a later item
// would change what an earlier one put in).
std::string replacedText(CompiledRequest& specs, std::string text,
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
// Names are quoted as git quotes them.
std::string unifiedDiff(std::string_view oldText, std::string_view newText,
                        const std::string& path);
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

// ---- The Find/Replace press -----------------------------------------------------------------

// The criteria boxes of one request (Options is unused by a press).
struct Criteria {
    std::string folders;
    std::string files;
    std::string find;
    std::string replace;
    std::string options;
};

// Adds coIgnoreCase to the default pattern options unless matching is case sensitive.
void applyCaseSetting(regex::PatternSet& regEx, bool caseSensitive);
// Checks a Find (or, with `replacing`, Find & Replace) request and compiles it into `specs` as
// its one item, applying the case setting first. Returns "" when the run may start, otherwise
// the error text to show (patterns are then cleared).
std::string prepareFindReplace(const Criteria& criteria, bool replacing, bool caseSensitive,
                               CompiledRequest& specs);
// The question asked before a Find & Replace run, note and "?" included.
std::string replaceConfirmText(bool replaceInPlace, bool undoKept = false);

} // namespace kestrava::search
