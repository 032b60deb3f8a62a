// The search run: reads every collected file whole, searches it once per item, and records the
// files, lines and matches found.
#include "search/search.h"

#include "search/run_sink.h"

#include "internal/context_lines.h"
#include "internal/search_workers.h"
#include "search/undo_journal.h"
#include "util/content_hash.h"
#include "util/file_text.h"
#include "util/long_path.h"
#include "util/text.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <utility>

namespace kestrava::search {

namespace {

constexpr int64_t kMaxFileSize = 0x7fffffff; // offsets are 32-bit
constexpr size_t kKeepBufferBytes = size_t{64} << 20;
// A matched line longer than this, in a file held open to read it back, keeps no text: a file
// that is one line of a gigabyte would otherwise be held whole, and then its rows too.
constexpr size_t kLongestKeptLine = size_t{256} << 10;

// How far the file a thread reads has come: that thread writes it as a long search goes on, the
// thread that commits reads it between files' ends, so that a long file shows its progress.
struct ReadingSlot {
    std::atomic<const std::string*> path{nullptr}; // none between files
    std::atomic<int64_t> bytes{0};
    std::atomic<int64_t> lines{0}; // with matches, so far
};

// The file this thread reads now, for the hook a long search calls (see regex::StopScope).
struct Reading {
    ReadingSlot* slot = nullptr;
    std::string_view content;
    const FileMatches* file = nullptr;
    const size_t* linesAhead = nullptr; // lines handed on already
};
thread_local const Reading* tReading = nullptr;
// On the thread that commits, while a run goes on: tells its progress partway.
thread_local const std::function<void()>* tTellPartway = nullptr;

void passedWhileReading(const char* at) {
    util::FileText::passed(at);
    const Reading* reading = tReading;
    if (reading == nullptr)
        return;
    const auto offset = reinterpret_cast<uintptr_t>(at) -
                        reinterpret_cast<uintptr_t>(reading->content.data()); // wraps below it
    ReadingSlot& slot = *reading->slot;
    const auto bytes = static_cast<int64_t>(std::min<uintptr_t>(offset, reading->content.size()));
    if (bytes > slot.bytes.load(std::memory_order_relaxed))
        slot.bytes.store(bytes, std::memory_order_relaxed);
    slot.lines.store(static_cast<int64_t>(reading->file->lines.size() + *reading->linesAhead),
                     std::memory_order_relaxed);
    if (tTellPartway != nullptr)
        (*tTellPartway)();
}

// Shows, for as long as it lives, the file this thread reads in its slot.
class ReadingScope {
  public:
    ReadingScope(ReadingSlot* slot, const std::string& path, const Reading& reading)
        : m_reading(reading), m_outer(tReading) {
        if (slot == nullptr)
            return;
        m_reading.slot = slot;
        slot->bytes.store(0, std::memory_order_relaxed);
        slot->lines.store(0, std::memory_order_relaxed);
        slot->path.store(&path, std::memory_order_release);
        tReading = &m_reading;
    }
    ~ReadingScope() {
        if (m_reading.slot == nullptr)
            return;
        m_reading.slot->path.store(nullptr, std::memory_order_release);
        tReading = m_outer;
    }
    ReadingScope(const ReadingScope&) = delete;
    ReadingScope& operator=(const ReadingScope&) = delete;

  private:
    Reading m_reading;
    const Reading* m_outer;
};

// Every file below 50 files; otherwise the first, every tenth read and the last. Files read
// while the list is still being made (its total 0) are told once it is complete, as a run that
// lists every file first tells them; only those that may be told are kept till then.
class ProgressThrottle {
  public:
    ProgressThrottle(const ProgressEvent& progress, int32_t listTotal)
        : m_progress(progress), m_total(listTotal) {
        m_latest.filesTotal = listTotal;
    }

    void setTotal(int32_t listTotal) {
        m_total = listTotal;
        m_latest.filesTotal = listTotal;
        for (Progress& early : m_early)
            fileRead(std::move(early));
        m_early.clear();
    }

    // `read` without its total, which is the list's.
    void fileRead(Progress read) {
        if (!m_progress)
            return;
        if (m_total == 0) {
            if (!m_early.empty() && m_early.back().filesDone > kFew &&
                m_early.back().filesDone % 10 != 0)
                m_early.back() = std::move(read); // only the last of these may be told
            else
                m_early.push_back(std::move(read));
            return;
        }
        const int32_t done = read.filesDone;
        const bool show = m_total < kFew || done == 1 || done % 10 == 0 || done == m_total;
        read.filesTotal = m_total;
        m_latest = read;
        if (show)
            tell(read);
    }

    // Between files' ends, at most every so often once the list is complete: the files read so
    // far with how far the files being read have come.
    void tellPartway(const std::vector<ReadingSlot>& slots) {
        if (!m_progress || m_total == 0 || Clock::now() - m_toldAt < kPartwayEvery)
            return;
        Progress partway = m_latest;
        int64_t furthest = -1;
        for (const ReadingSlot& slot : slots) {
            const std::string* path = slot.path.load(std::memory_order_acquire);
            if (path == nullptr)
                continue;
            const int64_t bytes = slot.bytes.load(std::memory_order_relaxed);
            partway.bytesSearched += bytes;
            partway.matches += static_cast<int32_t>(slot.lines.load(std::memory_order_relaxed));
            if (bytes > furthest) {
                furthest = bytes;
                partway.currentFile = *path; // alive: it is freed once committed, on this thread
            }
        }
        partway.partway = true;
        if (furthest >= 0)
            tell(partway);
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr int32_t kFew = 50;
    static constexpr auto kPartwayEvery = std::chrono::milliseconds(200);

    void tell(const Progress& progress) {
        m_toldAt = Clock::now();
        m_progress(progress);
    }

    const ProgressEvent& m_progress;
    int32_t m_total;
    std::vector<Progress> m_early; // read before the total was known
    Progress m_latest;             // the files read so far, told or not
    Clock::time_point m_toldAt;
};

// While the list is made: how many files it holds, every so many files.
FileListedEvent countingListed(FileListedEvent fileListed, const ProgressEvent& progress) {
    if (!progress)
        return fileListed;
    constexpr int32_t kEvery = 256;
    return [fileListed = std::move(fileListed), &progress,
            listed = int32_t{0}](std::string path, const std::string& name) mutable {
        fileListed(std::move(path), name);
        if (++listed % kEvery == 0) {
            Progress listing;
            listing.filesListed = listed;
            progress(listing);
        }
    };
}

std::string readStatusText(util::ReadStatus status, int error) {
    switch (status) {
    case util::ReadStatus::Read:
        return {};
    case util::ReadStatus::Empty:
        return "FileSize is 0 bytes";
    case util::ReadStatus::Missing:
        return "File does not exist";
    case util::ReadStatus::NotRegular:
        return "Not a regular file";
    case util::ReadStatus::TooLarge:
        return "File is 2 GiB or larger";
    case util::ReadStatus::Unreadable:
        break;
    }
    return std::string("Read Error: ") + std::strerror(error);
}

// Keeps the lines of the first `most` text lines holding matches, and gives their matches' count.
int32_t keepFirstTextLines(std::string_view buffer, MatchedLineArray& lines, int32_t most) {
    int32_t textLines = 0;
    int32_t found = 0;
    size_t lastEnd = 0; // just past the previous line's last match
    for (size_t i = 0; i < lines.size(); ++i) {
        const MatchedLine& line = lines[i];
        const auto start = static_cast<size_t>(line.matchStart);
        const bool newTextLine =
            i == 0 || (start > lastEnd &&
                       std::memchr(buffer.data() + lastEnd, '\n', start - lastEnd) != nullptr);
        if (newTextLine && ++textLines > most) {
            lines.erase(lines.begin() + static_cast<ptrdiff_t>(i), lines.end());
            break;
        }
        const MatchSpan last = line.match(line.matchCount() - 1);
        lastEnd = static_cast<size_t>(line.textStart() + last.start - 1 + last.length);
        found += static_cast<int32_t>(line.matchCount());
    }
    return found;
}

// Searches the buffer with every item; returns the number of matches added to `file` (only
// those of its first options.maxLines text lines with matches, when a find sets it), whose
// context lines are kept when the run asks for them. With file.lineSource, long lines keep no
// text; the source is let go when none is that long.
int32_t searchBuffer(CompiledRequest& specs, std::string_view buffer, FileMatches& file,
                     const std::function<void(MatchedLineArray&)>& handOver) {
    const ScanOptions& options = specs.options;
    const bool context = options.contextBefore > 0 || options.contextAfter > 0;
    const size_t longestKept = file.lineSource ? kLongestKeptLine : SIZE_MAX;
    int32_t found = 0;
    for (const ReplaceRule& item : specs.items)
        found += findMatchedLines(specs.regEx, item.patternID, buffer, file.lines,
                                  options.countLines || context, handOver, longestKept);
    if (options.maxLines >= 0 && !specs.replace)
        found = keepFirstTextLines(buffer, file.lines, options.maxLines);
    // Lines handed over were rendered already; only those left may need the file again.
    if (std::all_of(file.lines.begin(), file.lines.end(),
                    [](const MatchedLine& line) { return line.textKept(); }))
        file.lineSource.reset();
    if (found > 0 && context)
        collectContextLines(buffer, file.lines, options.contextBefore, options.contextAfter,
                            file.context);
    return found;
}

void recordSkipped(SearchResults& results, std::string path, util::ReadStatus status,
                   std::string message) {
    const SkipReason reason = status == util::ReadStatus::Missing      ? SkipReason::Missing
                              : status == util::ReadStatus::TooLarge   ? SkipReason::TooLarge
                              : status == util::ReadStatus::NotRegular ? SkipReason::NotRegular
                                                                       : SkipReason::Unreadable;
    results.skipped.push_back({std::move(path), reason, std::move(message)});
    ++results.filesSkipped;
}

// What a plan keeps to apply a file's changes one by one: the changes (a script's, which no one
// item makes, as runs of changed lines), how each is shown, and what the file held.
void keepPlannedChanges(std::string_view content, std::string_view replaced, FileMatches& file) {
    if (file.replacements.empty())
        file.replacements = changedLineRuns(content, replaced);
    file.changeViews = viewsOfChanges(content, file.replacements);
    file.searchedHash = util::contentHash(content);
}

// A buffer stays as it is for the next file, which is read over it (so its bytes need no
// zeroing again), unless it grew past what is worth keeping.
void releaseBuffer(std::string& buffer) {
    if (buffer.capacity() > kKeepBufferBytes)
        std::string().swap(buffer);
}

struct ListedFile {
    std::string path;
    std::string name;
};

// What searching one file gives, before it is recorded.
struct FileOutcome {
    util::ReadStatus status = util::ReadStatus::Read;
    std::string errorText;
    FileMatches file;
    bool replaced = false;
    std::string replacedText; // let go once prepared (see below)
    size_t replacedBytes = 0; // its size
    util::ReadTarget target;  // when replacing: the file that was read, which the write must find
    util::PreparedWrite prepared; // in place: the replaced text already written beside the file
    std::string oldHash, newHash; // for the undo journal, when one is kept
    int32_t journalEntry = 0;     // the journal's number of its old content, once kept ahead
    std::exception_ptr error;     // raised again when the file's turn comes
    bool stopped = false;         // a stop request came while the file was searched
    bool binary = false;          // left out as binary, unsearched
    size_t lineCount = 0;         // of the file's matched lines, which making ahead lets go
    size_t bytes = 0;             // searched
    int64_t textLines = 0;        // see FoundFile
    std::chrono::nanoseconds elapsed{};
    std::string made;                           // what the run's sink made of it (RunSink::make)
    std::shared_ptr<util::TextSpill> madeAhead; // and of its first lines, as it was searched
};

// A file that shrank under its search: what was found in the zero bytes is no finding.
void dropFindings(FileOutcome& outcome) {
    outcome.file = FileMatches{};
    outcome.replaced = false;
    std::string().swap(outcome.replacedText);
    std::string().swap(outcome.made);
    outcome.madeAhead.reset();
    outcome.status = util::ReadStatus::Unreadable;
    outcome.errorText = "Read Error: the file shrank while it was searched";
}

// A path's folder part, up to and including its last "/"; empty without one.
std::string_view folderPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return std::string_view(path).substr(0, slash == std::string::npos ? 0 : slash + 1);
}

// The text lines the lines take up, a match over line ends counting each.
int64_t textLinesOf(const MatchedLineArray& lines) {
    int64_t count = 0;
    for (const MatchedLine& line : lines)
        count += line.lastLineNumber() - line.lineNumber + 1;
    return count;
}

// A file with very many matched lines is made into the sink's output as it is searched, a few
// thousand lines at a time, set aside (counting them in linesAhead): its lines are never all
// kept. Not with several items, whose lines come item after item, nor with context lines, which
// need them all.
std::function<void(MatchedLineArray&)> makingAhead(const CompiledRequest& specs,
                                                   const SearchedFile& searched, size_t& linesAhead,
                                                   int64_t& textLines) {
    const ScanOptions& options = specs.options;
    if (specs.sink == nullptr || !specs.sink->makesLinesAhead() || specs.replace ||
        specs.items.size() != 1 || options.contextBefore > 0 || options.contextAfter > 0 ||
        options.maxLines >= 0)
        return {};
    return [&specs, &searched, &linesAhead, &textLines](MatchedLineArray& lines) {
        linesAhead += lines.size();
        textLines += textLinesOf(lines);
        specs.sink->makeLines(searched, searched.setAside);
    };
}

// A line too long to keep is read back from the file when the sink writes it, where it asks.
bool readsLinesBack(const CompiledRequest& specs) {
    return specs.sink != nullptr && specs.sink->readsLongLinesBack() && !specs.replace;
}

// Reads and searches one file (and works out its replaced text); safe to run on several
// threads at once, each with its own buffer. With prepareInPlace, the replaced text is also
// written beside the file, to be flushed with its batch (see Committer::commit) and renamed.
FileOutcome searchFile(CompiledRequest& specs, const std::string& path, std::string& buffer,
                       const std::stop_token& stop, ReadingSlot* slot,
                       bool prepareInPlace = false) {
    FileOutcome outcome;
    const auto opened = std::chrono::steady_clock::now();
    try {
        // A stop is heard between match attempts, so a slow pattern in one large file cannot
        // hold the run; the file's half-made results are then dropped.
        const regex::StopScope stopScope(stop, &passedWhileReading);
        util::FileText text;
        std::shared_ptr<util::TextSpill> spill; // out here, so that an abandoned search frees it
        size_t linesAhead = 0;
        int error = 0;
        // A binary file that is skipped is read no further than the bytes that tell.
        outcome.status =
            text.load(path, buffer, error, kMaxFileSize, specs.replace ? &outcome.target : nullptr,
                      specs.options.skipBinary ? kBinaryProbe : 0);
        outcome.errorText = readStatusText(outcome.status, error);
        // Should a mapped file shrink under the search, the rest reads as zero bytes and what
        // was found is dropped below.
        const bool searched =
            outcome.status != util::ReadStatus::Read || text.use([&](std::string_view content) {
                if (text.binary()) {
                    outcome.binary = true;
                    return;
                }
                outcome.bytes = content.size();
                FileMatches file;
                const ReadingScope reading(slot, path, {nullptr, content, &file, &linesAhead});
                if (readsLinesBack(specs))
                    file.lineSource = text.file();
                SearchedFile seen{path, file, content};
                seen.setAside = [&spill](std::string_view made) {
                    if (!spill)
                        spill = std::make_shared<util::TextSpill>();
                    spill->append(made);
                };
                file.numMatches = searchBuffer(
                    specs, content, file, makingAhead(specs, seen, linesAhead, outcome.textLines));
                if (specs.sink != nullptr)
                    outcome.textLines += textLinesOf(file.lines);
                const bool replacing = file.numMatches > 0 && specs.replace;
                std::string replaced =
                    replacing ? replacedText(specs, content,
                                             specs.options.keepReplacements ? &file.replacements
                                                                            : nullptr)
                              : "";
                // The changes of a plan will be applied one by one.
                if (replacing && specs.options.planOnly && specs.options.keepReplacements)
                    keepPlannedChanges(content, replaced, file);
                if (file.numMatches > 0 && specs.sink != nullptr) {
                    seen.elapsed = outcome.elapsed = std::chrono::steady_clock::now() - opened;
                    seen.linesAhead = linesAhead;
                    seen.replaced = replacing ? &replaced : nullptr;
                    outcome.made = specs.sink->make(seen);
                }
                outcome.madeAhead = spill;
                if (specs.options.planOnly) // nothing is written
                    std::string().swap(replaced);
                outcome.file = std::move(file);
                outcome.replaced = replacing && !specs.options.planOnly;
                if (outcome.replaced && specs.options.undoJournal != nullptr) {
                    outcome.oldHash = util::contentHash(content);
                    outcome.newHash = util::contentHash(replaced);
                }
                outcome.replacedText = std::move(replaced);
            });
        outcome.lineCount = outcome.file.lines.size() + linesAhead;
        if (!searched) {
            dropFindings(outcome);
        } else if (outcome.replaced && prepareInPlace) {
            outcome.replacedBytes = outcome.replacedText.size();
            // Prepared outcomes wait for their batch's flush in numbers; their texts are on disk.
            if (outcome.prepared.prepare(*specs.writeRoots, outcome.target, outcome.replacedText,
                                         false))
                std::string().swap(outcome.replacedText);
        }
    } catch (const regex::RegexStoppedError&) {
        outcome.stopped = true; // the search's results were still in locals: nothing to drop
    } catch (const std::exception& e) {
        // A replace stopped by a file must say which one: some files may be replaced already.
        outcome.error = specs.replace ? std::make_exception_ptr(std::runtime_error(
                                            std::string(e.what()) + "\r\nFile: " + path))
                                      : std::current_exception();
    } catch (...) {
        outcome.error = std::current_exception();
    }
    releaseBuffer(buffer);
    return outcome;
}

// Records outcomes in list order: counters, progress, files with matches, replaced text written.
class Committer {
  public:
    // `readers`: how many threads read files, each with its ReadingSlot.
    Committer(SearchResults& results, const ProgressEvent& progress, int32_t listTotal,
              bool replaceInPlace, const CompiledRequest& specs, size_t readers)
        : m_results(results), m_throttle(progress, listTotal), m_replaceInPlace(replaceInPlace),
          m_sink(specs.sink), m_journal(specs.options.undoJournal), m_reading(readers) {}

    // Where the replaced texts may go; told to the journal, which must put files back there only.
    void setRoots(const util::WriteRoots& roots) {
        m_roots = &roots;
        if (m_journal != nullptr)
            m_journal->recordRoots(roots.realPaths());
    }

    // Prepared writes wait in a batch, so that one flush of the file system puts all their new
    // texts (and the journal's entries of their old ones) on disk before any of them is renamed
    // into place: a flush per file costs more than the rest of a replace. A file that a later
    // read waits for (`awaited`) ends the batch at once.
    void commit(const ListedFile& listed, FileOutcome&& outcome, bool awaited = false) {
        if (m_batch.empty() && !outcome.prepared.prepared()) {
            commitNow(listed, std::move(outcome));
            return;
        }
        m_batchBytes += outcome.replacedBytes;
        m_batch.push_back({&listed, std::move(outcome)});
        if (awaited || m_batch.size() >= kBatchFiles || m_batchBytes >= kBatchBytes)
            finish();
    }

    // Commits what waits in the batch, in order.
    void finish() {
        std::vector<Batched> batch;
        batch.swap(m_batch);
        m_batchBytes = 0;
        if (batch.empty())
            return;
        flushBatch(batch);
        for (Batched& waiting : batch)
            commitNow(*waiting.listed, std::move(waiting.outcome));
    }

    void commitNow(const ListedFile& listed, FileOutcome&& outcome) {
        if (outcome.error)
            std::rethrow_exception(outcome.error);
        if (outcome.stopped) {
            m_results.cancelled = true;
            return;
        }
        if (outcome.status != util::ReadStatus::Read) {
            if (outcome.status != util::ReadStatus::Empty)
                recordSkipped(m_results, listed.path, outcome.status, std::move(outcome.errorText));
            return;
        }
        if (outcome.binary) {
            ++m_results.binarySkipped;
            return;
        }
        ++m_results.filesScanned;
        m_results.bytesSearched += static_cast<int64_t>(outcome.bytes);
        FileMatches& file = outcome.file;
        m_throttle.fileRead({m_results.filesScanned, 0, listed.path, 0, m_results.bytesSearched,
                             m_results.totalMatches + file.numMatches});
        if (file.numMatches == 0)
            return;
        file.fileName = listed.name;
        file.folderIndex = folderIndex(listed.path);
        ++m_results.filesWithMatches;
        m_results.totalMatches += file.numMatches;
        m_results.totalLines += static_cast<int32_t>(outcome.lineCount);
        const bool refused = outcome.replaced && !writeReplaced(listed.path, outcome);
        if (m_sink == nullptr) {
            m_results.files.push_back(std::move(file));
            return;
        }
        m_sink->fileFound(m_results, {listed.path, file, outcome.made, outcome.madeAhead.get(),
                                      refused, outcome.textLines, outcome.bytes, outcome.elapsed});
    }

    const std::vector<std::string>& replacedPaths() const { return m_replacedPaths; }
    void setListTotal(int32_t listTotal) { m_throttle.setTotal(listTotal); }
    ReadingSlot* readingSlot(size_t reader) { return &m_reading.at(reader); }
    // On the committing thread, between files' ends.
    void tellPartway() { m_throttle.tellPartway(m_reading); }

  private:
    // The index in Folders of the path's folder part, appended when absent; looked up in a table,
    // as a run over thousands of folders would otherwise compare each new one with all before.
    int32_t folderIndex(const std::string& path) {
        std::vector<std::string>& folders = m_results.folders;
        for (; m_indexed < folders.size(); ++m_indexed)
            m_folderIndex.try_emplace(folders[m_indexed], static_cast<int32_t>(m_indexed));
        const std::string_view folder = folderPart(path);
        if (const auto known = m_folderIndex.find(folder); known != m_folderIndex.end())
            return known->second;
        folders.emplace_back(folder); // indexed on the next call
        return static_cast<int32_t>(folders.size()) - 1;
    }

    // A prepared write only needs its rename; anything else (or a preparation that failed, which
    // then fails again here with its message) is written now. A file that may not be replaced
    // is named and left as it is; the run goes on.
    struct Batched {
        const ListedFile* listed;
        FileOutcome outcome;
    };
    static constexpr size_t kBatchFiles = 64;
    static constexpr size_t kBatchBytes = size_t{32} << 20;

    // The batch's new texts are flushed, and the old content of each of its files goes into the
    // journal, flushed once. A journal failure becomes that file's error, raised at its turn; the
    // files after it are not kept, as they will not be replaced.
    void flushBatch(std::vector<Batched>& batch) {
        if (m_journal != nullptr)
            keepBatch(batch);
        std::vector<util::PreparedWrite*> writes;
        writes.reserve(batch.size());
        for (Batched& waiting : batch)
            writes.push_back(&waiting.outcome.prepared);
        std::string message;
        if (!util::flushPreparedWrites(writes, message) ||
            (m_journal != nullptr && !m_journal->flushHeld(message)))
            throw std::runtime_error(message);
    }

    void keepBatch(std::vector<Batched>& batch) {
        m_journal->holdFlushes(true);
        for (Batched& waiting : batch) {
            FileOutcome& outcome = waiting.outcome;
            if (!outcome.prepared.prepared() || outcome.error || outcome.stopped)
                continue;
            m_journal->expect(std::move(outcome.oldHash), std::move(outcome.newHash));
            std::string message;
            const util::WriteOutcome kept = outcome.prepared.keepOldContent(*m_journal, message);
            if (kept == util::WriteOutcome::Written) {
                outcome.journalEntry = m_journal->files();
            } else if (kept == util::WriteOutcome::Failed) {
                outcome.error = std::make_exception_ptr(
                    std::runtime_error(message + " (" + waiting.listed->path + ")"));
                break;
            } // refused: the commit refuses the file too, saying why
        }
        m_journal->holdFlushes(false);
    }

    // True when written; a refusal is told in the results.
    bool writeReplaced(const std::string& path, FileOutcome& outcome) {
        std::string refusal;
        // A file kept ahead (in a batch) is not kept again.
        util::OldContentKeeper* const keeper = outcome.journalEntry > 0 ? nullptr : m_journal;
        if (keeper != nullptr)
            m_journal->expect(std::move(outcome.oldHash), std::move(outcome.newHash));
        if (!outcome.prepared.prepared()) {
            refusal = writeReplacedText(*m_roots, path, outcome.target, outcome.replacedText,
                                        m_replaceInPlace, keeper);
        } else if (const util::WriteOutcome written = outcome.prepared.commit(refusal, keeper);
                   written == util::WriteOutcome::Failed) {
            throw std::runtime_error(refusal + " (" + path + ")");
        } else if (written == util::WriteOutcome::Written) {
            refusal.clear();
        }
        if (refusal.empty()) {
            ++m_results.filesReplaced;
            m_replacedPaths.push_back(path);
            return true;
        }
        if (outcome.journalEntry > 0)
            m_journal->drop(outcome.journalEntry);
        m_results.notReplaced.push_back({path, SkipReason::Refused, std::move(refusal)});
        return false;
    }

    struct FolderHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>()(text);
        }
    };
    SearchResults& m_results;
    std::unordered_map<std::string, int32_t, FolderHash, std::equal_to<>> m_folderIndex;
    size_t m_indexed = 0; // Folders entries already in m_folderIndex
    ProgressThrottle m_throttle;
    bool m_replaceInPlace;
    RunSink* m_sink; // none: the run's results keep every file
    UndoJournal* m_journal;
    const util::WriteRoots* m_roots = nullptr;
    std::vector<Batched> m_batch;
    size_t m_batchBytes = 0;
    std::vector<std::string> m_replacedPaths; // in the order they were written
    std::vector<ReadingSlot> m_reading;       // written by the reading threads
};

// While it lives, a long file read on this thread, which commits, tells the run's progress.
class PartwayScope {
  public:
    explicit PartwayScope(Committer& committer)
        : m_tell([&committer] { committer.tellPartway(); }),
          m_outer(std::exchange(tTellPartway, &m_tell)) {}
    ~PartwayScope() { tTellPartway = m_outer; }
    PartwayScope(const PartwayScope&) = delete;
    PartwayScope& operator=(const PartwayScope&) = delete;

  private:
    std::function<void()> m_tell;
    const std::function<void()>* m_outer;
};

size_t workerCount(int32_t requested) {
    return requested > 0 ? static_cast<size_t>(requested)
                         : std::max<size_t>(std::thread::hardware_concurrency(), 1);
}

// The file identity (device, inode) of a path, or nothing when it does not exist.
std::optional<std::pair<dev_t, ino_t>> fileIdentity(const std::string& path) {
    struct stat info = {};
    if (!util::statLongPath(path, info, true))
        return std::nullopt;
    return std::make_pair(info.st_dev, info.st_ino);
}

// For a replacing run on several threads: a file that an earlier file's replaced text may be
// written over (the same file listed twice, or an old kesReplace copy) must be read only after
// that write, as it would be in a one-thread run.
std::vector<int64_t> writeDependencies(const std::vector<ListedFile>& files, bool replaceInPlace) {
    std::vector<int64_t> waitFor(files.size(), -1);
    std::map<std::pair<dev_t, ino_t>, int64_t> lastWriter;
    for (size_t i = 0; i < files.size(); ++i) {
        const auto identity = fileIdentity(files[i].path);
        if (identity) {
            const auto writer = lastWriter.find(*identity);
            if (writer != lastWriter.end())
                waitFor[i] = writer->second;
        }
        // In place, the file written is the one read: no second look at it.
        const std::string output = replaceOutputName(files[i].path, replaceInPlace);
        if (const auto written = output == files[i].path ? identity : fileIdentity(output))
            lastWriter[*written] = static_cast<int64_t>(i);
    }
    return waitFor;
}

// The jobs that a later job waits for (see writeDependencies).
std::vector<bool> awaitedJobs(const std::vector<int64_t>& waitFor) {
    std::vector<bool> awaited(waitFor.size(), false);
    for (const int64_t job : waitFor)
        if (job >= 0)
            awaited[static_cast<size_t>(job)] = true;
    return awaited;
}

void searchInOrder(const std::vector<ListedFile>& files, CompiledRequest& specs,
                   bool replaceInPlace, Committer& committer, SearchResults& results,
                   const std::stop_token& stop) {
    std::string buffer;
    const bool batched = specs.replace && replaceInPlace; // see Committer::commit
    const std::vector<bool> awaited =
        batched ? awaitedJobs(writeDependencies(files, true)) : std::vector<bool>();
    const PartwayScope partway(committer);
    for (size_t i = 0; i < files.size(); ++i) {
        if (stop.stop_requested()) {
            results.cancelled = true;
            return;
        }
        committer.commit(
            files[i],
            searchFile(specs, files[i].path, buffer, stop, committer.readingSlot(0), batched),
            batched && awaited[i]);
    }
}

void searchOnWorkers(const std::vector<ListedFile>& files, size_t threads, CompiledRequest& specs,
                     bool replaceInPlace, Committer& committer, SearchResults& results,
                     const std::stop_token& stop) {
    std::vector<std::string> buffers(threads);
    // Finished but uncommitted searches hold only their records; replaced texts are whole files,
    // except those prepared in place, and those must be many for workers to go on while a batch
    // is flushed.
    const size_t window = !specs.replace ? 64 * threads : replaceInPlace ? 96 : 2 * threads;
    std::vector<int64_t> waitFor =
        specs.replace ? writeDependencies(files, replaceInPlace) : std::vector<int64_t>{};
    const std::vector<bool> awaited = awaitedJobs(waitFor);
    OrderedWorkers<FileOutcome> workers(
        files.size(), threads, window,
        [&](size_t index, size_t worker) {
            return searchFile(specs, files[index].path, buffers[worker], stop,
                              committer.readingSlot(worker), replaceInPlace);
        },
        std::move(waitFor));
    const PartwayScope partway(committer);
    workers.setWhileWaiting([&committer] { committer.tellPartway(); });
    const bool complete = workers.commitAll(
        [&](size_t index, FileOutcome&& outcome) {
            committer.commit(files[index], std::move(outcome), !awaited.empty() && awaited[index]);
        },
        stop);
    if (!complete)
        results.cancelled = true;
}

// Why a folder named in Folder(s) could not be searched, as the system says it.
std::string missingReason(const std::string& folder) {
    struct stat info = {};
    if (folder.empty())
        return std::strerror(ENOENT);
    if (!util::statLongPath(folder, info, true))
        return std::strerror(errno);
    return std::strerror(ENOTDIR);
}

// Where a replace may write for a top entry: the folder itself, or the folder of a file named
// as one (see buildScanList).
std::string writeRootOf(const std::string& entry) {
    const std::string folder = namedFileFolder(entry);
    return folder.empty() ? entry : folder;
}

// Walks the folders; returns the number of files listed, each also given to fileListed.
int32_t listFiles(const FolderSpecs& folders, const FileMaskSpecs& files,
                  const ScanOptions& options, SearchResults& results, const std::stop_token& stop,
                  FileListedEvent fileListed, const ProgressEvent& progress) {
    FileList list;
    int32_t listTotal = 0;
    buildScanList(folders, files, list, listTotal,
                  {&results.skipped, &results.notices, stop,
                   countingListed(std::move(fileListed), progress), options.respectGitignore,
                   options.includeHidden, options.maxDepth});
    results.filesSkipped = static_cast<int32_t>(results.skipped.size());
    for (const FileListItem& item : list)
        if (item.parentIndex < 0 && !item.exists)
            results.missingFolders.push_back(
                {item.name, SkipReason::Missing, missingReason(item.name)});
    // A stop while the list was being built leaves it short, so it counts as well.
    results.cancelled = stop.stop_requested();
    return listTotal;
}

// What the walk finds wrong comes before what the search does, as in a run that lists every file
// before it searches one.
void putListingFirst(SearchResults& listing, SearchResults& results) {
    listing.skipped.insert(listing.skipped.end(), std::make_move_iterator(results.skipped.begin()),
                           std::make_move_iterator(results.skipped.end()));
    results.skipped = std::move(listing.skipped);
    results.filesSkipped = static_cast<int32_t>(results.skipped.size());
    listing.notices.insert(listing.notices.end(), std::make_move_iterator(results.notices.begin()),
                           std::make_move_iterator(results.notices.end()));
    results.notices = std::move(listing.notices);
    results.missingFolders = std::move(listing.missingFolders);
    results.cancelled = results.cancelled || listing.cancelled;
}

// A find run on several threads searches the files already listed while the walk goes on. The
// walking thread is one of the `threads`: once the list is complete it searches files too, while
// it commits. Where a sink takes the files as they come, or no progress is told, the walking
// thread commits what is done as it goes, so outcomes do not pile up in memory and output begins
// at once; the progress of files committed before the list is complete is told once it is.
// Otherwise (a run that keeps its results and tells progress) the outcomes wait for the list.
void searchWhileWalking(const FolderSpecs& folders, const FileMaskSpecs& files, size_t threads,
                        CompiledRequest& specs, const ProgressEvent& progress,
                        SearchResults& results, const std::stop_token& stop) {
    std::deque<ListedFile> listed; // grows at the back: what workers hold stays in place
    std::mutex listedLock;
    std::vector<std::string> buffers(threads);
    Committer committer(results, progress, 0, false, specs, threads); // outlives the workers
    OrderedWorkers<FileOutcome> workers(threads, std::numeric_limits<size_t>::max(),
                                        [&](size_t index, size_t worker) {
                                            const ListedFile* file = nullptr;
                                            {
                                                std::lock_guard lock(listedLock);
                                                file = &listed[index];
                                            }
                                            return searchFile(specs, file->path, buffers[worker],
                                                              stop, committer.readingSlot(worker));
                                        });
    const PartwayScope partway(committer);
    workers.setWhileWaiting([&committer] { committer.tellPartway(); });
    const auto commit = [&](size_t index, FileOutcome&& outcome) {
        committer.commit(listed[index], std::move(outcome)); // only this thread adds to `listed`
        listed[index] = ListedFile{};                        // no worker comes back to it
    };
    // Listed files are handed over a few at a time: each handing takes both locks.
    constexpr size_t kHandOver = 16;
    std::vector<ListedFile> pending;
    bool stopped = false;
    const auto handOver = [&] {
        {
            std::lock_guard lock(listedLock);
            std::move(pending.begin(), pending.end(), std::back_inserter(listed));
        }
        workers.addJobs(pending.size());
        pending.clear();
        if (!progress || specs.sink != nullptr)
            stopped = stopped || !workers.commitReady(commit, stop);
    };
    SearchResults listing;
    const int32_t listTotal = listFiles(
        folders, files, specs.options, listing, stop,
        [&](std::string path, const std::string& name) {
            pending.push_back({std::move(path), name});
            if (pending.size() == kHandOver)
                handOver();
        },
        progress);
    handOver();
    workers.close();
    committer.setListTotal(listTotal);
    if (stopped || !workers.commitAll(commit, stop))
        results.cancelled = true;
    putListingFirst(listing, results);
}

// Searches a complete list, writing replaced text as each file's turn comes. A replace that an
// error stops says how far it got.
void searchListed(const std::vector<ListedFile>& listed, size_t threads, CompiledRequest& specs,
                  bool replaceInPlace, Committer&& committer, SearchResults& results,
                  const std::stop_token& stop) {
    try {
        const util::FolderSyncBatch folderSyncs; // writes are committed on this thread
        if (threads <= 1 || listed.size() <= 1)
            searchInOrder(listed, specs, replaceInPlace, committer, results, stop);
        else
            searchOnWorkers(listed, std::min(threads, listed.size()), specs, replaceInPlace,
                            committer, results, stop);
        committer.finish(); // what waits in a batch, also after a stop
    } catch (const std::exception& e) {
        if (!specs.replace)
            throw;
        const std::vector<std::string>& replaced = committer.replacedPaths();
        // Files are replaced in list order, so one pass over both lists sorts them out.
        std::vector<std::string> notTouched;
        auto next = replaced.begin();
        for (const ListedFile& file : listed) {
            if (next != replaced.end() && *next == file.path)
                ++next;
            else
                notTouched.push_back(file.path);
        }
        throw ReplaceStoppedError(e.what(), replaced, std::move(notTouched));
    }
}

} // namespace

util::ReadStatus readWholeFile(const std::string& fileName, std::string& buffer,
                               std::string& errorText) {
    int error = 0;
    const util::ReadStatus status =
        util::readWholeRegularFile(fileName, buffer, error, kMaxFileSize);
    errorText = readStatusText(status, error);
    return status;
}

void clearMatchResults(SearchResults& results) {
    results = SearchResults{};
}

namespace {

// "340 KB", "1.5 MB", "2.3 GB": bytes as a status line says them.
std::string bytesText(int64_t bytes) {
    static const char* const kUnits[] = {" bytes", " KB", " MB", " GB", " TB"};
    auto value = static_cast<double>(bytes);
    size_t unit = 0;
    while (value >= 1000 && unit + 1 < std::size(kUnits)) {
        value /= 1000;
        ++unit;
    }
    if (unit == 0)
        return std::to_string(bytes) + kUnits[0];
    char text[32];
    std::snprintf(text, sizeof text, value < 10 ? "%.1f%s" : "%.0f%s", value, kUnits[unit]);
    return text;
}

} // namespace

std::string progressDetail(const Progress& progress) {
    if (progress.filesTotal == 0)
        return progress.filesListed == 0
                   ? std::string()
                   : util::groupedDigits(progress.filesListed) + " files listed";
    return bytesText(progress.bytesSearched) + " searched, " +
           util::groupedDigits(progress.matches) + (progress.matches == 1 ? " match" : " matches") +
           (progress.currentFile.empty() ? "" : ", in " + progress.currentFile);
}

std::string progressText(const Progress& progress) {
    if (progress.filesTotal == 0)
        return "Creating list of files to scan ..";
    const int32_t file = progress.partway ? std::min(progress.filesDone + 1, progress.filesTotal)
                                          : progress.filesDone;
    return "Processing file " + std::to_string(file) + " of " + std::to_string(progress.filesTotal);
}

int32_t scanFiles(const FolderSpecs& folders, const FileMaskSpecs& files, CompiledRequest& specs,
                  bool replaceInPlace, SearchResults& results, const ProgressEvent& progress,
                  const std::stop_token& stop, int32_t threadCount, RunSink* sink) {
    specs.sink = sink;
    const auto done = [&specs] { // the request outlives the run; what it pointed at may not
        specs.writeRoots = nullptr;
        specs.sink = nullptr;
    };
    try {
        if (progress)
            progress(Progress{});
        for (const FolderSpec& folder : folders)
            if (const std::string root = writeRootOf(folder.folder);
                std::find(results.searchedFolders.begin(), results.searchedFolders.end(), root) ==
                results.searchedFolders.end())
                results.searchedFolders.push_back(root);
        const size_t threads = workerCount(threadCount);
        if (threads > 1 && !specs.replace) {
            searchWhileWalking(folders, files, threads, specs, progress, results, stop);
        } else {
            // Replacing runs list every file before anything is written, so no output of this
            // run (a new kesReplace folder) can join the list.
            const util::WriteRoots roots(results.searchedFolders);
            specs.writeRoots = &roots;
            std::vector<ListedFile> listed;
            const int32_t listTotal = listFiles(
                folders, files, specs.options, results, stop,
                [&](std::string path, const std::string& name) {
                    listed.push_back({std::move(path), name});
                },
                progress);
            Committer committer(results, progress, listTotal, replaceInPlace, specs, threads);
            committer.setRoots(roots);
            searchListed(listed, threads, specs, replaceInPlace, std::move(committer), results,
                         stop);
        }
    } catch (...) {
        done();
        clearMatchResults(results);
        throw;
    }
    done();
    return results.totalMatches;
}

} // namespace kestrava::search
