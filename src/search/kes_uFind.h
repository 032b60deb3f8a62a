// The search engine: parses the Folder(s) and File(s) entries, collects the files to search,
// reads and searches each one whole, records every file, line and match, and writes replaced
// text in place or into a "kesReplace" copy. Plain records in, plain records out: no globals,
// no output; progress and cancellation are parameters.
#pragma once

#include "regex/ldiRegEx.h"
#include "util/ldiFileIO.h"
#include "util/ldiText.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kes {

// ---- Folder and file specifications ---------------------------------------------------------

struct TkesFolderToSearch {
    std::string Folder; // trimmed, used as typed
    bool IncludeSubfolders = false;
    // Paths relative to Folder, trimmed; each a name or a mask ("*" and "?" within one folder
    // name, letter case ignored). A trailing "/" is ignored.
    std::vector<std::string> ExcludedFolders;
};
using TkesFoldersToSearch = std::vector<TkesFolderToSearch>;

struct TkesFileToSearch {
    std::string FileMask;                   // "*" and "?" wildcards, letter case ignored
    std::vector<std::string> ExcludedFiles; // names or masks as FileMask ("[" is no wildcard)
};
using TkesFilesToSearch = std::vector<TkesFileToSearch>;

// Appends one record per "|"-separated specification; an empty text appends nothing. On a
// specification that cannot be divided, empties `folders` and throws std::runtime_error
// "Invalid Syntax for Folders To Search: " + the piece that could not be divided.
void ParseFoldersToSearch(const std::string& text, TkesFoldersToSearch& folders);
// The same for file masks; the message begins "Invalid Syntax for Files To Search: ".
void ParseFilesToSearch(const std::string& text, TkesFilesToSearch& files);

// Parse only to check an entry, as a box does when it is left or a stored history is loaded;
// throws what the parsers throw.
void ValidateFoldersEntry(const std::string& text);
void ValidateFilesEntry(const std::string& text);

// The texts shown when a Folder(s) or File(s) entry is rejected on leaving its box. The folders
// text ends with CR LF and is followed directly by the exception's message; the files text is
// shown alone.
extern const char* const kInvalidFoldersFormatText;
extern const char* const kInvalidFilesFormatText;

// ---- File collection ------------------------------------------------------------------------

struct TkesScanItem {
    bool IsFile = false;
    std::string Name; // a top folder's path as parsed, otherwise the bare name
    bool Exists = true;
    int32_t ParentIndex = -1; // -1 for a top folder
};
using TkesScanList = std::vector<TkesScanItem>;

enum TkesSkipReason : uint8_t { srMissing, srUnreadable, srTooLarge, srNotRegular, srRefused };

// A file that matched a mask but could not be searched.
struct TkesSkippedFile {
    std::string FileName; // full path
    TkesSkipReason Reason = srUnreadable;
    std::string Message;
};

// Told of each file as it joins the list: its full path and bare name.
using TkesFileListedEvent = std::function<void(std::string fullPath, const std::string& name)>;

// Empties the list, then collects every folder and file depth first, at any depth (full paths
// may pass PATH_MAX); fileCount is the number of file entries. Only regular files (and links to
// them) are listed; other matching entries and folders that cannot be listed are appended to
// `skipped` when given. The backup of an interrupted rewrite ("<name>" + kBackupNameSuffix) is
// never listed; each one in a walked folder is told in `notices` when given. A stop request ends
// the walk early. fileListed, when given, hears of each file as it is listed, in list order.
void BuildScanList(const TkesFoldersToSearch& folders, const TkesFilesToSearch& files,
                   TkesScanList& list, int32_t& fileCount,
                   std::vector<TkesSkippedFile>* skipped = nullptr, std::stop_token stop = {},
                   const TkesFileListedEvent& fileListed = {},
                   std::vector<std::string>* notices = nullptr);
// True when the mask matches the name ("*" and "?", letter case ignored; "*.*" matches all).
bool FileMaskMatches(const std::string& mask, const std::string& name);

// ---- Find/replace items and results ---------------------------------------------------------

struct TFindReplace {
    int32_t PatternID = -1;
    bool DoReplace = false;
    std::string ReplaceWith; // a template; "^$" has already become ""
};

struct TFindReplaceSpecs {
    TldiRegExMulti RegEx; // every item's pattern lives here
    std::vector<TFindReplace> Items;
    bool Replace = false; // some item replaces
};

struct TMatchedSegment {
    int32_t Start = 1; // 1-based position in the line's Text
    int32_t Length = 0;
    bool IsMatch = false;
};

// A match within its line: 1-based start in the line's Text, and length up to the line's end.
struct TMatchSpan {
    int32_t Start = 1;
    int32_t Length = 0;
};

struct TMatchedLines;

// The segments of a line in order (text, match, text, ...), worked out from its matches while
// they are visited. Each match has a text before it, empty where it follows another match or
// starts the line; a final text only when there is one. The line's leading control byte, which
// only separates it from what came before, is in no segment unless a match takes it in.
class TLineSegments {
  public:
    class Iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TMatchedSegment;
        using difference_type = std::ptrdiff_t;
        using pointer = const TMatchedSegment*;
        using reference = TMatchedSegment;

        TMatchedSegment operator*() const { return Current_; }
        Iterator& operator++() {
            Advance();
            return *this;
        }
        bool operator==(const Iterator& other) const {
            return Done_ == other.Done_ &&
                   (Done_ || (Next_ == other.Next_ && BeforeShown_ == other.BeforeShown_));
        }

      private:
        friend class TLineSegments;
        Iterator(const TMatchedLines* line, bool done);
        void Advance();

        const TMatchedLines* Line_;
        size_t Next_ = 0;          // the next match to visit
        int32_t Pos_ = 1;          // the first position of the Text not yet visited
        bool BeforeShown_ = false; // the text before match Next_ was visited
        TMatchedSegment Current_;
        bool Done_;
    };

    explicit TLineSegments(const TMatchedLines& line) : Line_(&line) {}
    Iterator begin() const { return Iterator(Line_, false); }
    Iterator end() const { return Iterator(Line_, true); }

  private:
    const TMatchedLines* Line_;
};

// A line holding matches. Only its matches are kept, the first in place: the text between them
// follows from them and the line's length, which keeps a million lines small.
struct TMatchedLines {
    std::string Text;
    bool Truncated = false; // a match was cut at the line's end
    int32_t MatchStart = 0; // file offset of the line's first match
    int32_t MatchEnd = 0;   // just past it

    TMatchedLines() = default;
    TMatchedLines(const TMatchedLines& other);
    TMatchedLines(TMatchedLines&&) noexcept = default;
    TMatchedLines& operator=(const TMatchedLines& other);
    TMatchedLines& operator=(TMatchedLines&&) noexcept = default;
    ~TMatchedLines() = default;

    // Matches are added in order, each after the one before.
    void AddMatch(TMatchSpan match);
    size_t MatchCount() const { return MatchCount_; }
    TMatchSpan Match(size_t index) const {
        return index == 0 ? FirstMatch_ : MoreMatches_[index - 1];
    }
    TLineSegments Segments() const { return TLineSegments(*this); }

  private:
    TMatchSpan FirstMatch_;
    uint32_t MatchCount_ = 0;
    std::unique_ptr<TMatchSpan[]> MoreMatches_; // room for the next power of two
};
using TMatchedLineArray = std::vector<TMatchedLines, TLargeArrayAllocator<TMatchedLines>>;

struct TkesFile {
    std::string FileName; // without its folder
    int32_t FolderIndex = 0;
    int32_t NumMatches = 0;
    TMatchedLineArray Lines;
};

struct TkesMatchResults {
    int32_t FilesScanned = 0;
    int32_t FilesWithMatches = 0;
    int32_t TotalMatches = 0;
    int32_t TotalLines = 0;
    std::vector<std::string> Folders; // each ends with "/", in order of first use
    std::vector<TkesFile> Files;
    int32_t FilesSkipped = 0; // equals Skipped.size()
    std::vector<TkesSkippedFile> Skipped;
    bool Cancelled = false;    // a stop request ended a run early
    int32_t FilesReplaced = 0; // files whose replaced text was written
    // Files with matches whose replaced text was not written (changed meanwhile, read-only, an
    // output place that is not what it should be); the run went on with the others.
    std::vector<TkesSkippedFile> NotReplaced;
    // What the user should know that is no failure of this run, such as the backup left by an
    // earlier rewrite that was interrupted.
    std::vector<std::string> Notices;
};

// Sets the counters to 0 and empties every list.
void ClearMatchResults(TkesMatchResults& results);
// Index in Folders of the path's folder part (up to and including the last "/"), appended when
// absent. Compared byte for byte.
int32_t FolderIndexOf(TkesMatchResults& results, const std::string& fullPath);

// ---- The search run -------------------------------------------------------------------------

using TkesReadStatus = TReadStatus; // rsRead, rsEmpty, rsMissing, ... (util/ldiFileIO.h)

// Reads a whole regular file with one read into `buffer`, sized exactly. Anything but rsRead
// leaves `buffer` empty and `errorText` saying why; files of 2 GiB or more are never read.
TkesReadStatus ReadWholeFile(const std::string& fileName, std::string& buffer,
                             std::string& errorText);

// Appends the lines holding the non-empty matches of one pattern in one file's text, taking each
// match as the engine finds it (no list of them is kept); returns how many there were. Only
// non-empty matches are results: an empty one has nothing to show or replace.
int32_t FindMatchedLines(TldiRegExBase& regex, int32_t patternID, std::string_view text,
                         TMatchedLineArray& lines);

using TkesProgressEvent = std::function<void(const std::string& statusText)>;
// Told of each file with matches right after it joins results.Files, on the calling thread.
using TkesFileRecordedEvent =
    std::function<void(const TkesMatchResults& results, size_t fileIndex)>;

// Collects the files, searches each with every item, appends files with matches to `results`
// (not cleared first) and, when specs.Replace, writes the replaced text. Returns TotalMatches.
// Unreadable files are skipped and counted. A stop request ends the run within a moment, even
// inside a file (whose results so far are dropped; a file being written is finished first),
// with results.Cancelled set. Any exception clears `results` and propagates.
// Files are read and searched on threadCount threads (0: one per core) but recorded, reported
// and written strictly in list order, so the outcome is that of a one-thread run.
int32_t ScanFiles(const TkesFoldersToSearch& folders, const TkesFilesToSearch& files,
                  TFindReplaceSpecs& specs, bool replaceInPlace, TkesMatchResults& results,
                  const TkesProgressEvent& progress = {}, const std::stop_token& stop = {},
                  int32_t threadCount = 0, const TkesFileRecordedEvent& recorded = {});

// ---- Replace output -------------------------------------------------------------------------

// Where the replaced text of fullPath goes: the path itself, or its folder + "kesReplace/" +
// its name.
std::string ReplaceOutputName(const std::string& fullPath, bool replaceInPlace);
// Applies every replacing item in order, each to all its matches, to `text`.
std::string ReplacedText(TFindReplaceSpecs& specs, std::string text);
// Writes the replaced text of fullPath, which was read as `read`: over that very file, or into
// its kesReplace copy. Returns "" when written, otherwise why it was not (the file is left as it
// is, and a run goes on with the others); throws std::runtime_error when writing failed.
std::string WriteReplacedText(const std::string& fullPath, const TReadTarget& read,
                              const std::string& text, bool replaceInPlace);
// The line that ends a replace stopped by an error: "N files were replaced before the error; M
// files were not touched".
std::string PartialReplaceSummary(int32_t replaced, int32_t listed);

// What ScanFiles raises when an error stops a replacing run: the error's message, then the
// summary above; the files on each side of it by name.
struct TReplaceStoppedError : std::runtime_error {
    TReplaceStoppedError(const std::string& message, std::vector<std::string> replaced,
                         std::vector<std::string> notTouched);
    std::vector<std::string> Replaced;
    std::vector<std::string> NotTouched;
};
// The note put after a replace confirmation question; both forms begin with a blank.
std::string ReplaceNote(bool replaceInPlace);

// ---- The Find/Replace press -----------------------------------------------------------------

// The criteria boxes of one request (Options is unused by a press).
struct TkesSpecs {
    std::string Folders;
    std::string Files;
    std::string Find;
    std::string Replace;
    std::string Options;
};

// Adds coIgnoreCase to the default pattern options unless matching is case sensitive.
void ApplyCaseSetting(TldiRegExMulti& regEx, bool caseSensitive);
// Checks a Find (or, with `replacing`, Find & Replace) request and compiles it into `specs` as
// its one item, applying the case setting first. Returns "" when the run may start, otherwise
// the error text to show (patterns are then cleared).
std::string PrepareFindReplace(const TkesSpecs& criteria, bool replacing, bool caseSensitive,
                               TFindReplaceSpecs& specs);
// The question asked before a Find & Replace run, note and "?" included.
std::string ReplaceConfirmText(bool replaceInPlace);

} // namespace kes
