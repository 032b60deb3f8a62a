// The walk that collects the files to search from the Folder(s) and File(s) entries.
#pragma once

#include "search/entries.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace kestrava::search {

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
    // Lists names beginning with "." too (never ".git", git's own store, which a replace must
    // not touch); they are left out otherwise.
    bool includeHidden = false;
    // The folder levels walked, the top folder being 1 (0 lists only top entries that are
    // files); -1 for every level.
    int32_t maxDepth = -1;
};

// Empties the list, then collects every folder and file depth first, at any depth (full paths
// may pass PATH_MAX), the names of each folder in byte order; fileCount is the number of file
// entries. Only regular files (and links to them) are listed. The backup of an interrupted
// rewrite ("<name>" + kBackupNameSuffix) is never listed. A top folder that names a regular
// file lists that file alone, masks or not: it was named.
void buildScanList(const FolderSpecs& folders, const FileMaskSpecs& files, FileList& list,
                   int32_t& fileCount, const ScanListOptions& options = {});
// The folder of a top entry that names a regular file (or a link to one), "./" for a bare name;
// empty when the entry names no file. Such an entry lists that file alone.
std::string namedFileFolder(const std::string& entry);
// True when the mask matches the name ("*" and "?", letter case ignored; "*.*" matches all).
bool fileMaskMatches(const std::string& mask, const std::string& name);

} // namespace kestrava::search
