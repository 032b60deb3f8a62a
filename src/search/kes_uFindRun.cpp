// The search run: reads every collected file whole, searches it once per item, and records the
// files, lines and matches found.
#include "search/kes_uFind.h"

#include "search/kes_uFindWorkers.h"
#include "util/ldiFileText.h"
#include "util/long_path.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <exception>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>

namespace kes {

namespace {

constexpr int64_t kMaxFileSize = 0x7fffffff; // offsets are 32-bit
constexpr size_t kKeepBufferBytes = size_t{64} << 20;

class ProgressThrottle {
  public:
    ProgressThrottle(const TkesProgressEvent& progress, int32_t listTotal)
        : fProgress(progress), fTotal(listTotal) {}
    // Every file below 50 files; otherwise the first, every tenth read and the last.
    void FileRead(int32_t filesScanned) {
        if (!fProgress)
            return;
        bool show = fTotal < 50 || filesScanned == 1 || filesScanned == fTotal;
        if (fTotal >= 50 && ++fCounter >= 10 && !show) {
            show = true;
            fCounter = 0;
        }
        if (show)
            fProgress("Processing file " + std::to_string(filesScanned) + " of " +
                      std::to_string(fTotal));
    }

  private:
    const TkesProgressEvent& fProgress;
    int32_t fTotal;
    int32_t fCounter = 0;
};

std::string ReadStatusText(TkesReadStatus status, int error) {
    switch (status) {
    case rsRead:
        return {};
    case rsEmpty:
        return "FileSize is 0 bytes";
    case rsMissing:
        return "File does not exist";
    case rsNotRegular:
        return "Not a regular file";
    case rsTooLarge:
        return "File is 2 GiB or larger";
    case rsUnreadable:
        break;
    }
    return std::string("Read Error: ") + std::strerror(error);
}

// Searches the buffer with every item; returns the number of matches added to `file`.
int32_t SearchBuffer(TFindReplaceSpecs& specs, std::string_view buffer, TkesFile& file) {
    int32_t found = 0;
    for (const TFindReplace& item : specs.Items)
        found += FindMatchedLines(specs.RegEx, item.PatternID, buffer, file.Lines);
    return found;
}

void RecordSkipped(TkesMatchResults& results, std::string path, TkesReadStatus status,
                   std::string message) {
    const TkesSkipReason reason = status == rsMissing      ? srMissing
                                  : status == rsTooLarge   ? srTooLarge
                                  : status == rsNotRegular ? srNotRegular
                                                           : srUnreadable;
    results.Skipped.push_back({std::move(path), reason, std::move(message)});
    ++results.FilesSkipped;
}

void ReleaseBuffer(std::string& buffer) {
    if (buffer.capacity() > kKeepBufferBytes)
        std::string().swap(buffer);
    else
        buffer.clear();
}

struct TListedFile {
    std::string Path;
    std::string Name;
};

// What searching one file gives, before it is recorded.
struct TFileOutcome {
    TkesReadStatus Status = rsRead;
    std::string ErrorText;
    TkesFile File;
    bool Replaced = false;
    std::string ReplacedText;
    TReadTarget Target;       // when replacing: the file that was read, which the write must find
    TPreparedWrite Prepared;  // in place: the replaced text already written beside the file
    std::exception_ptr Error; // raised again when the file's turn comes
    bool Stopped = false;     // a stop request came while the file was searched
};

// Reads and searches one file (and works out its replaced text); safe to run on several
// threads at once, each with its own buffer. With prepareInPlace, the replaced text is also
// written and flushed beside the file, leaving only the rename to its turn.
TFileOutcome SearchFile(TFindReplaceSpecs& specs, const std::string& path, std::string& buffer,
                        const std::stop_token& stop, bool prepareInPlace = false) {
    TFileOutcome outcome;
    try {
        // A stop is heard between match attempts, so a slow pattern in one large file cannot
        // hold the run; the file's half-made results are then dropped.
        const TldiRegExStopScope stopScope(stop);
        TFileText text;
        int error = 0;
        outcome.Status =
            text.Load(path, buffer, error, kMaxFileSize, specs.Replace ? &outcome.Target : nullptr);
        outcome.ErrorText = ReadStatusText(outcome.Status, error);
        // Built in locals and handed over only at the end: should a mapped file shrink under
        // the search, what was half built is abandoned, never left in the outcome.
        const bool searched = outcome.Status != rsRead || text.Use([&](std::string_view content) {
            TkesFile file;
            file.NumMatches = SearchBuffer(specs, content, file);
            const bool replacing = file.NumMatches > 0 && specs.Replace;
            std::string replaced = replacing ? ReplacedText(specs, std::string(content)) : "";
            outcome.File = std::move(file);
            outcome.Replaced = replacing;
            outcome.ReplacedText = std::move(replaced);
        });
        if (!searched) {
            outcome.Status = rsUnreadable;
            outcome.ErrorText = "Read Error: the file shrank while it was searched";
        } else if (outcome.Replaced && prepareInPlace) {
            outcome.Prepared.Prepare(outcome.Target, outcome.ReplacedText);
        }
    } catch (const EldiRegExStopped&) {
        outcome.Stopped = true; // the search's results were still in locals: nothing to drop
    } catch (const std::exception& e) {
        // A replace stopped by a file must say which one: some files may be replaced already.
        outcome.Error = specs.Replace ? std::make_exception_ptr(std::runtime_error(
                                            std::string(e.what()) + "\r\nFile: " + path))
                                      : std::current_exception();
    } catch (...) {
        outcome.Error = std::current_exception();
    }
    ReleaseBuffer(buffer);
    return outcome;
}

// A path's folder part, up to and including its last "/"; empty without one.
std::string_view FolderPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return std::string_view(path).substr(0, slash == std::string::npos ? 0 : slash + 1);
}

// Records outcomes in list order: counters, progress, files with matches, replaced text written.
class TCommitter {
  public:
    TCommitter(TkesMatchResults& results, const TkesProgressEvent& progress, int32_t listTotal,
               bool replaceInPlace, const TkesFileRecordedEvent& recorded)
        : fResults(results), fThrottle(progress, listTotal), fReplaceInPlace(replaceInPlace),
          fRecorded(recorded) {}

    void Commit(const TListedFile& listed, TFileOutcome&& outcome) {
        if (outcome.Error)
            std::rethrow_exception(outcome.Error);
        if (outcome.Stopped) {
            fResults.Cancelled = true;
            return;
        }
        if (outcome.Status != rsRead) {
            if (outcome.Status != rsEmpty)
                RecordSkipped(fResults, listed.Path, outcome.Status, std::move(outcome.ErrorText));
            return;
        }
        ++fResults.FilesScanned;
        fThrottle.FileRead(fResults.FilesScanned);
        TkesFile& file = outcome.File;
        if (file.NumMatches == 0)
            return;
        file.FileName = listed.Name;
        file.FolderIndex = FolderIndex(listed.Path);
        ++fResults.FilesWithMatches;
        fResults.TotalMatches += file.NumMatches;
        fResults.TotalLines += static_cast<int32_t>(file.Lines.size());
        fResults.Files.push_back(std::move(file));
        if (outcome.Replaced)
            WriteReplaced(listed.Path, outcome);
        if (fRecorded)
            fRecorded(fResults, fResults.Files.size() - 1);
    }

    const std::vector<std::string>& ReplacedPaths() const { return fReplacedPaths; }

  private:
    // FolderIndexOf with a lookup table: a run over thousands of folders would otherwise compare
    // each new folder with all before it.
    int32_t FolderIndex(const std::string& path) {
        std::vector<std::string>& folders = fResults.Folders;
        for (; fIndexed < folders.size(); ++fIndexed)
            fFolderIndex.try_emplace(folders[fIndexed], static_cast<int32_t>(fIndexed));
        const std::string_view folder = FolderPart(path);
        if (const auto known = fFolderIndex.find(folder); known != fFolderIndex.end())
            return known->second;
        folders.emplace_back(folder); // indexed on the next call
        return static_cast<int32_t>(folders.size()) - 1;
    }

    // A prepared write only needs its rename; anything else (or a preparation that failed, which
    // then fails again here with its message) is written now. A file that may not be replaced
    // is named and left as it is; the run goes on.
    void WriteReplaced(const std::string& path, TFileOutcome& outcome) {
        std::string refusal;
        if (!outcome.Prepared.Prepared()) {
            refusal =
                WriteReplacedText(path, outcome.Target, outcome.ReplacedText, fReplaceInPlace);
        } else if (const TWriteOutcome written = outcome.Prepared.Commit(refusal);
                   written == woFailed) {
            throw std::runtime_error(refusal + " (" + path + ")");
        } else if (written == woWritten) {
            refusal.clear();
        }
        if (refusal.empty()) {
            ++fResults.FilesReplaced;
            fReplacedPaths.push_back(path);
        } else
            fResults.NotReplaced.push_back({path, srRefused, std::move(refusal)});
    }

    struct TFolderHash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>()(text);
        }
    };
    TkesMatchResults& fResults;
    std::unordered_map<std::string, int32_t, TFolderHash, std::equal_to<>> fFolderIndex;
    size_t fIndexed = 0; // Folders entries already in fFolderIndex
    ProgressThrottle fThrottle;
    bool fReplaceInPlace;
    const TkesFileRecordedEvent& fRecorded;
    std::vector<std::string> fReplacedPaths; // in the order they were written
};

size_t WorkerCount(int32_t requested) {
    return requested > 0 ? static_cast<size_t>(requested)
                         : std::max<size_t>(std::thread::hardware_concurrency(), 1);
}

// The file identity (device, inode) of a path, or nothing when it does not exist.
std::optional<std::pair<dev_t, ino_t>> FileIdentity(const std::string& path) {
    struct stat info {};
    if (!ldiStatPath(path, info, true))
        return std::nullopt;
    return std::make_pair(info.st_dev, info.st_ino);
}

// For a replacing run on several threads: a file that an earlier file's replaced text may be
// written over (the same file listed twice, or an old kesReplace copy) must be read only after
// that write, as it would be in a one-thread run.
std::vector<int64_t> WriteDependencies(const std::vector<TListedFile>& files, bool replaceInPlace) {
    std::vector<int64_t> waitFor(files.size(), -1);
    std::map<std::pair<dev_t, ino_t>, int64_t> lastWriter;
    for (size_t i = 0; i < files.size(); ++i) {
        if (const auto identity = FileIdentity(files[i].Path)) {
            const auto writer = lastWriter.find(*identity);
            if (writer != lastWriter.end())
                waitFor[i] = writer->second;
        }
        if (const auto output = FileIdentity(ReplaceOutputName(files[i].Path, replaceInPlace)))
            lastWriter[*output] = static_cast<int64_t>(i);
    }
    return waitFor;
}

void SearchInOrder(const std::vector<TListedFile>& files, TFindReplaceSpecs& specs,
                   TCommitter& committer, TkesMatchResults& results, const std::stop_token& stop) {
    std::string buffer;
    for (const TListedFile& listed : files) {
        if (stop.stop_requested()) {
            results.Cancelled = true;
            return;
        }
        committer.Commit(listed, SearchFile(specs, listed.Path, buffer, stop));
    }
}

template <typename TFiles>
void CommitInOrder(TOrderedWorkers<TFileOutcome>& workers, const TFiles& files,
                   TCommitter& committer, TkesMatchResults& results, const std::stop_token& stop) {
    const bool complete = workers.CommitAll(
        [&](size_t index, TFileOutcome&& outcome) {
            committer.Commit(files[index], std::move(outcome));
        },
        stop);
    if (!complete)
        results.Cancelled = true;
}

void SearchOnWorkers(const std::vector<TListedFile>& files, size_t threads,
                     TFindReplaceSpecs& specs, bool replaceInPlace, TCommitter& committer,
                     TkesMatchResults& results, const std::stop_token& stop) {
    std::vector<std::string> buffers(threads);
    // Finished but uncommitted searches hold only their records; replaced texts are whole files.
    const size_t window = specs.Replace ? 2 * threads : 64 * threads;
    TOrderedWorkers<TFileOutcome> workers(
        files.size(), threads, window,
        [&](size_t index, size_t worker) {
            return SearchFile(specs, files[index].Path, buffers[worker], stop, replaceInPlace);
        },
        specs.Replace ? WriteDependencies(files, replaceInPlace) : std::vector<int64_t>{});
    CommitInOrder(workers, files, committer, results, stop);
}

// Walks the folders; returns the number of files listed, each also given to fileListed.
int32_t ListFiles(const TkesFoldersToSearch& folders, const TkesFilesToSearch& files,
                  TkesMatchResults& results, const std::stop_token& stop,
                  const TkesFileListedEvent& fileListed) {
    TkesScanList list;
    int32_t listTotal = 0;
    BuildScanList(folders, files, list, listTotal, &results.Skipped, stop, fileListed,
                  &results.Notices);
    results.FilesSkipped = static_cast<int32_t>(results.Skipped.size());
    // A stop while the list was being built leaves it short, so it counts as well.
    results.Cancelled = stop.stop_requested();
    return listTotal;
}

// A find run on several threads searches the files already listed while the walk goes on. The
// outcomes are committed once the list is complete, as progress counts against its total; until
// then they wait, which costs little, since finds keep only their records.
void SearchWhileWalking(const TkesFoldersToSearch& folders, const TkesFilesToSearch& files,
                        size_t threads, TFindReplaceSpecs& specs, const TkesProgressEvent& progress,
                        const TkesFileRecordedEvent& recorded, TkesMatchResults& results,
                        const std::stop_token& stop) {
    std::deque<TListedFile> listed; // grows at the back: what workers hold stays in place
    std::mutex listedLock;
    std::vector<std::string> buffers(threads);
    TOrderedWorkers<TFileOutcome> workers(
        threads, std::numeric_limits<size_t>::max(), [&](size_t index, size_t worker) {
            const TListedFile* file = nullptr;
            {
                std::lock_guard lock(listedLock);
                file = &listed[index];
            }
            return SearchFile(specs, file->Path, buffers[worker], stop);
        });
    // Listed files are handed over a few at a time: each handing takes both locks.
    constexpr size_t kHandOver = 16;
    std::vector<TListedFile> pending;
    const auto handOver = [&] {
        {
            std::lock_guard lock(listedLock);
            std::move(pending.begin(), pending.end(), std::back_inserter(listed));
        }
        workers.AddJobs(pending.size());
        pending.clear();
    };
    const int32_t listTotal =
        ListFiles(folders, files, results, stop, [&](std::string path, const std::string& name) {
            pending.push_back({std::move(path), name});
            if (pending.size() == kHandOver)
                handOver();
        });
    handOver();
    workers.Close();
    TCommitter committer(results, progress, listTotal, false, recorded);
    CommitInOrder(workers, listed, committer, results, stop);
}

// Searches a complete list, writing replaced text as each file's turn comes. A replace that an
// error stops says how far it got.
void SearchListed(const std::vector<TListedFile>& listed, size_t threads, TFindReplaceSpecs& specs,
                  bool replaceInPlace, TCommitter&& committer, TkesMatchResults& results,
                  const std::stop_token& stop) {
    try {
        const TFolderSyncBatch folderSyncs; // writes are committed on this thread
        if (threads <= 1 || listed.size() <= 1)
            SearchInOrder(listed, specs, committer, results, stop);
        else
            SearchOnWorkers(listed, std::min(threads, listed.size()), specs, replaceInPlace,
                            committer, results, stop);
    } catch (const std::exception& e) {
        if (!specs.Replace)
            throw;
        const std::vector<std::string>& replaced = committer.ReplacedPaths();
        // Files are replaced in list order, so one pass over both lists sorts them out.
        std::vector<std::string> notTouched;
        auto next = replaced.begin();
        for (const TListedFile& file : listed) {
            if (next != replaced.end() && *next == file.Path)
                ++next;
            else
                notTouched.push_back(file.Path);
        }
        throw TReplaceStoppedError(e.what(), replaced, std::move(notTouched));
    }
}

} // namespace

TkesReadStatus ReadWholeFile(const std::string& fileName, std::string& buffer,
                             std::string& errorText) {
    int error = 0;
    const TkesReadStatus status = ldiReadWholeFile(fileName, buffer, error, kMaxFileSize);
    errorText = ReadStatusText(status, error);
    return status;
}

void ClearMatchResults(TkesMatchResults& results) {
    results = TkesMatchResults{};
}

int32_t FolderIndexOf(TkesMatchResults& results, const std::string& fullPath) {
    const std::string_view folder = FolderPart(fullPath);
    std::vector<std::string>& folders = results.Folders;
    // Files of one folder arrive together, so the newest entry is the likely one.
    if (!folders.empty() && folders.back() == folder)
        return static_cast<int32_t>(folders.size()) - 1;
    for (size_t i = 0; i < folders.size(); ++i)
        if (folders[i] == folder)
            return static_cast<int32_t>(i);
    folders.emplace_back(folder);
    return static_cast<int32_t>(folders.size()) - 1;
}

int32_t ScanFiles(const TkesFoldersToSearch& folders, const TkesFilesToSearch& files,
                  TFindReplaceSpecs& specs, bool replaceInPlace, TkesMatchResults& results,
                  const TkesProgressEvent& progress, const std::stop_token& stop,
                  int32_t threadCount, const TkesFileRecordedEvent& recorded) {
    try {
        if (progress)
            progress("Creating list of files to scan ..");
        const size_t threads = WorkerCount(threadCount);
        if (threads > 1 && !specs.Replace) {
            SearchWhileWalking(folders, files, threads, specs, progress, recorded, results, stop);
        } else {
            // Replacing runs list every file before anything is written, so no output of this
            // run (a new kesReplace folder) can join the list.
            std::vector<TListedFile> listed;
            const int32_t listTotal = ListFiles(folders, files, results, stop,
                                                [&](std::string path, const std::string& name) {
                                                    listed.push_back({std::move(path), name});
                                                });
            SearchListed(listed, threads, specs, replaceInPlace,
                         TCommitter(results, progress, listTotal, replaceInPlace, recorded),
                         results, stop);
        }
    } catch (...) {
        ClearMatchResults(results);
        throw;
    }
    return results.TotalMatches;
}

} // namespace kes
