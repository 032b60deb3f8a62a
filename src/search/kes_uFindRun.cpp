// The search run: reads every collected file whole, searches it once per item, and records the
// files, lines and matches found.
#include "search/kes_uFind.h"

#include <cstring>

namespace kes {

namespace {

constexpr int64_t kMaxFileSize = 0x7fffffff; // offsets are 32-bit
constexpr size_t kKeepBufferBytes = size_t{64} << 20;

// Folder path of every scan item, built by walking up the parents; the last folder is kept
// because files of one folder come together.
class FullPathBuilder {
  public:
    explicit FullPathBuilder(const TkesScanList& list) : fList(list) {}
    std::string FullPath(const TkesScanItem& item) {
        if (item.ParentIndex != fCachedParent) {
            fCachedParent = item.ParentIndex;
            fCachedFolder.clear();
            for (int32_t i = item.ParentIndex; i >= 0; i = fList[i].ParentIndex)
                fCachedFolder.insert(0, fList[i].Name + "/");
        }
        return fCachedFolder + item.Name;
    }

  private:
    const TkesScanList& fList;
    int32_t fCachedParent = -2;
    std::string fCachedFolder;
};

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

// Only non-empty matches are results: an empty one has nothing to show or replace.
void DropEmptyMatches(TMatchCollection& matches) {
    std::erase_if(matches, [](const TMatchResult& m) {
        return m.GroupStartEnd.size() < 2 || m.GroupStartEnd[1] <= m.GroupStartEnd[0];
    });
}

// Searches the buffer with every item; returns the number of matches added to `file`.
int32_t SearchBuffer(TFindReplaceSpecs& specs, const std::string& buffer, TkesFile& file) {
    TMatchCollection matches;
    int32_t found = 0;
    for (const TFindReplace& item : specs.Items) {
        ClearMatchCollection(matches);
        if (!specs.RegEx.Matches(item.PatternID, buffer.data(),
                                 static_cast<uint32_t>(buffer.size()), 0, {}, matches))
            continue;
        DropEmptyMatches(matches);
        if (matches.empty())
            continue;
        BuildMatchedLines(matches, file.Lines);
        found += MatchCount(matches);
    }
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

struct RunState {
    TFindReplaceSpecs& Specs;
    bool ReplaceInPlace;
    TkesMatchResults& Results;
    std::string Buffer;
    bool Reserved = false; // the last record of Files is the reusable one
};

// Searches one listed file (steps: read, count, search, record, replace).
void ScanOneFile(RunState& run, const std::string& fullPath, const std::string& name,
                 ProgressThrottle& throttle) {
    TkesMatchResults& results = run.Results;
    std::string errorText;
    const TkesReadStatus status = ReadWholeFile(fullPath, run.Buffer, errorText);
    if (status != rsRead) {
        if (status != rsEmpty)
            RecordSkipped(results, fullPath, status, std::move(errorText));
        return;
    }
    ++results.FilesScanned;
    throttle.FileRead(results.FilesScanned);
    if (!run.Reserved) {
        results.Files.emplace_back();
        run.Reserved = true;
    }
    TkesFile& file = results.Files.back();
    file.NumMatches = SearchBuffer(run.Specs, run.Buffer, file);
    if (file.NumMatches == 0)
        return;
    file.FileName = name;
    file.FolderIndex = FolderIndexOf(results, fullPath);
    ++results.FilesWithMatches;
    results.TotalMatches += file.NumMatches;
    results.TotalLines += static_cast<int32_t>(file.Lines.size());
    run.Reserved = false;
    if (run.Specs.Replace)
        WriteReplacedFile(run.Specs, fullPath, std::move(run.Buffer), run.ReplaceInPlace);
}

void ReleaseBuffer(std::string& buffer) {
    if (buffer.capacity() > kKeepBufferBytes)
        std::string().swap(buffer);
    else
        buffer.clear();
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
    const size_t slash = fullPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : fullPath.substr(0, slash + 1);
    std::vector<std::string>& folders = results.Folders;
    // Files of one folder arrive together, so the newest entry is the likely one.
    if (!folders.empty() && folders.back() == folder)
        return static_cast<int32_t>(folders.size()) - 1;
    for (size_t i = 0; i < folders.size(); ++i)
        if (folders[i] == folder)
            return static_cast<int32_t>(i);
    folders.push_back(folder);
    return static_cast<int32_t>(folders.size()) - 1;
}

int32_t ScanFiles(const TkesFoldersToSearch& folders, const TkesFilesToSearch& files,
                  TFindReplaceSpecs& specs, bool replaceInPlace, TkesMatchResults& results,
                  const TkesProgressEvent& progress, const std::stop_token& stop) {
    try {
        if (progress)
            progress("Creating list of files to scan ..");
        TkesScanList list;
        int32_t listTotal = 0;
        BuildScanList(folders, files, list, listTotal, &results.Skipped, stop);
        results.FilesSkipped = static_cast<int32_t>(results.Skipped.size());
        RunState run{specs, replaceInPlace, results, {}};
        ProgressThrottle throttle(progress, listTotal);
        FullPathBuilder paths(list);
        // A stop while the list was being built leaves it short, so it counts as well.
        results.Cancelled = stop.stop_requested();
        for (const TkesScanItem& item : list) {
            if (stop.stop_requested()) {
                results.Cancelled = true;
                break;
            }
            if (!item.IsFile)
                continue;
            ScanOneFile(run, paths.FullPath(item), item.Name, throttle);
            ReleaseBuffer(run.Buffer);
        }
        if (run.Reserved)
            results.Files.pop_back();
    } catch (...) {
        ClearMatchResults(results);
        throw;
    }
    return results.TotalMatches;
}

} // namespace kes
