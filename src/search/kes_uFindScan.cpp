// File collection: turns the parsed specifications into one flat, depth-first scan list.
#include "search/kes_uFind.h"

#include "util/ldiFileHandle.h"
#include "util/long_path.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>

namespace kes {

namespace {

struct FolderId {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    bool operator==(const FolderId&) const = default;
};

FolderId IdOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

// What a walk shares between its folders: the list being built, and where non-regular files and
// left-over backups are told.
struct TScanWalk {
    TkesScanList& List;
    int32_t& FileCount;
    std::vector<TkesSkippedFile>* Skipped = nullptr; // optional
    std::vector<std::string>* Notices = nullptr;     // optional
    std::stop_token Stop;
    TkesFileListedEvent FileListed; // optional
};

// A folder being walked: its path as listed (without a trailing "/") and a descriptor that its
// entries are examined and opened relative to, so depth is never limited by PATH_MAX.
struct TWalkFolder {
    TWalkFolder(std::string path, FolderId id) : Path(std::move(path)), Id(id) {}
    // Takes what an open call returned, keeping its errno should it have failed.
    void Adopt(int fd) {
        OpenError = fd < 0 ? errno : 0;
        Fd.Reset(fd);
    }

    std::string Path;
    FolderId Id;
    TFileHandle Fd;
    int OpenError = 0;
};

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Past this depth a folder gives up its descriptor while a subfolder is walked and opens itself
// again by path afterwards: a tree thousands of folders deep must not use up the descriptors
// that the files being read need too.
constexpr size_t kHeldFolderLimit = 64;

enum class EntryKind { Regular, Directory, Other, Unknown };

// Classifies a listed entry; links and unknown types are resolved with stat so that a link to a
// regular file counts as a file and a link to a folder as a folder.
EntryKind KindOf(unsigned char type, int folderFd, const std::string& name,
                 FolderId* id = nullptr) {
    if (type == DT_REG)
        return EntryKind::Regular;
    if (type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN)
        return EntryKind::Other;
    struct stat info {};
    if (fstatat(folderFd, name.c_str(), &info, 0) != 0)
        return EntryKind::Unknown;
    if (id != nullptr)
        *id = IdOf(info);
    if (S_ISDIR(info.st_mode))
        return EntryKind::Directory;
    return S_ISREG(info.st_mode) ? EntryKind::Regular : EntryKind::Other;
}

bool FolderExists(const std::string& path, FolderId& id) {
    struct stat info {};
    if (path.empty() || !ldiStatPath(path, info, true) || !S_ISDIR(info.st_mode))
        return false;
    id = IdOf(info);
    return true;
}

bool IsHiddenName(const char* name) {
    return name[0] == '.';
}

bool IsBackupName(const std::string& name) {
    return name.size() > kBackupNameSuffix.size() && name.ends_with(kBackupNameSuffix);
}

// Exclusions take "*" and "?" only: brackets and backslashes stand for themselves, so a name
// excluded before masks were accepted, such as "a[1].txt", still excludes just itself.
bool WildcardMatches(std::string_view mask, const std::string& name, int flags) {
    std::string pattern;
    for (const char c : mask) {
        if (c == '[' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD | flags) == 0;
}

// "*.*" means every file, as it does for the masks themselves.
bool FileExcluded(const std::vector<std::string>& exclusions, const std::string& name) {
    return std::any_of(exclusions.begin(), exclusions.end(), [&](const std::string& excluded) {
        return SameTextAscii(excluded, name) || excluded == "*.*" ||
               WildcardMatches(excluded, name, 0);
    });
}

// A folder exclusion is a path relative to the searched folder; "*" and "?" stay within one
// folder name, as in a shell.
bool FolderExcluded(const std::vector<std::string>& exclusions, const std::string& relativeName) {
    return std::any_of(exclusions.begin(), exclusions.end(), [&](const std::string& excluded) {
        std::string_view path = excluded;
        while (path.ends_with('/'))
            path.remove_suffix(1);
        return SameTextAscii(path, relativeName) ||
               WildcardMatches(path, relativeName, FNM_PATHNAME);
    });
}

int32_t AppendItem(TkesScanList& list, bool isFile, std::string name, bool exists,
                   int32_t parentIndex) {
    list.push_back({isFile, std::move(name), exists, parentIndex});
    return static_cast<int32_t>(list.size()) - 1;
}

// A folder's entries, read once: the files of every mask and the subfolders are all taken from
// them. Hidden names are left out here. Returns 0, or errno when the folder cannot be listed.
struct TFolderEntry {
    std::string Name;
    unsigned char Type = DT_UNKNOWN;
};
int ListFolder(const TWalkFolder& folder, std::vector<TFolderEntry>& entries) {
    entries.clear();
    if (!folder.Fd.IsOpen())
        return folder.OpenError;
    // Read straight from the folder's own descriptor: a directory stream would need a copy of
    // it, and a walk pays those calls once per folder.
    alignas(dirent64) char buffer[1 << 15];
    for (;;) {
        const ssize_t got = getdents64(folder.Fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0 ? 0 : errno;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            if (!IsHiddenName(entry->d_name))
                entries.push_back({entry->d_name, entry->d_type});
        }
    }
}

// Takes out the backups left by rewrites that were interrupted: they are never searched nor
// replaced, whatever the masks, and each one is told so the user can restore it.
void SetAsideBackups(TScanWalk& walk, const TWalkFolder& folder,
                     std::vector<TFolderEntry>& entries) {
    std::vector<TFolderEntry> kept;
    kept.reserve(entries.size());
    for (TFolderEntry& entry : entries) {
        if (!IsBackupName(entry.Name) ||
            KindOf(entry.Type, folder.Fd.Get(), entry.Name) == EntryKind::Directory) {
            kept.push_back(std::move(entry));
            continue;
        }
        const std::string backup = folder.Path + "/" + entry.Name;
        if (walk.Notices != nullptr)
            walk.Notices->push_back("An earlier replacement of " +
                                    backup.substr(0, backup.size() - kBackupNameSuffix.size()) +
                                    " was interrupted; its old content is in " + backup);
    }
    entries = std::move(kept);
}

// The files of one mask, in listing order.
void AddMaskFiles(TScanWalk& walk, const TWalkFolder& folder,
                  const std::vector<TFolderEntry>& entries, int32_t parentIndex,
                  const TkesFileToSearch& fileMask) {
    for (const TFolderEntry& entry : entries) {
        if (entry.Type == DT_DIR || !FileMaskMatches(fileMask.FileMask, entry.Name))
            continue;
        const EntryKind kind = KindOf(entry.Type, folder.Fd.Get(), entry.Name);
        if (kind == EntryKind::Directory || FileExcluded(fileMask.ExcludedFiles, entry.Name))
            continue;
        std::string path = folder.Path;
        path.append("/").append(entry.Name);
        if (kind == EntryKind::Other) {
            // FIFOs, sockets and devices are never opened: a read could block forever.
            if (walk.Skipped != nullptr)
                walk.Skipped->push_back({path, srNotRegular, "Not a regular file"});
            continue;
        }
        // A broken link is listed; reading it reports why it cannot be searched.
        AppendItem(walk.List, true, entry.Name, true, parentIndex);
        ++walk.FileCount;
        if (walk.FileListed)
            walk.FileListed(std::move(path), entry.Name);
    }
}

void AddListedFiles(TScanWalk& walk, const TWalkFolder& folder,
                    const std::vector<TFolderEntry>& entries, int32_t parentIndex,
                    const TkesFilesToSearch& files) {
    for (const TkesFileToSearch& fileMask : files)
        AddMaskFiles(walk, folder, entries, parentIndex, fileMask);
}

// Lists a folder and adds its files; a folder that cannot be opened or listed hides its files,
// so the user is told rather than left to think it holds none (one that vanished meanwhile has
// nothing to tell). False when there is nothing to go on with.
bool AddFolderFiles(TScanWalk& walk, const TWalkFolder& folder, int32_t parentIndex,
                    const TkesFilesToSearch& files, std::vector<TFolderEntry>& entries) {
    if (const int error = ListFolder(folder, entries); error != 0) {
        if (error != ENOENT && walk.Skipped != nullptr)
            walk.Skipped->push_back({folder.Path + "/", srUnreadable,
                                     std::string("Cannot list folder: ") + std::strerror(error)});
        return false;
    }
    SetAsideBackups(walk, folder, entries);
    AddListedFiles(walk, folder, entries, parentIndex, files);
    return true;
}

// Opens a folder that gave up its descriptor again. False when it cannot be, or its path now
// leads elsewhere (it was moved or replaced meanwhile, so what is left of it is gone too).
bool Reopen(TScanWalk& walk, TWalkFolder& folder) {
    folder.Adopt(ldiOpenPath(folder.Path, kFolderOpenFlags));
    struct stat info {};
    if (folder.Fd.IsOpen() && fstat(folder.Fd.Get(), &info) == 0 && IdOf(info) == folder.Id)
        return true;
    if (folder.OpenError != 0 && folder.OpenError != ENOENT && walk.Skipped != nullptr)
        walk.Skipped->push_back(
            {folder.Path + "/", srUnreadable,
             std::string("Cannot open folder: ") + std::strerror(folder.OpenError)});
    return false;
}

// One folder on the path from a top folder down to the folder being walked: its listed entries
// and how far its subfolders have been taken. The walk keeps these in a list of its own rather
// than on the call stack, which a tree thousands of folders deep would overflow.
struct TWalkLevel {
    TWalkLevel(std::string path, FolderId id, std::string relativePath, int32_t index)
        : Folder(std::move(path), id), RelativePath(std::move(relativePath)), Index(index) {}

    TWalkFolder Folder;
    std::string RelativePath; // "" for a top folder, otherwise ending with "/"
    int32_t Index;            // in the scan list
    std::vector<TFolderEntry> Entries;
    size_t Next = 0; // the entry to look at next
};
// A deque: adding a level leaves the others where they are.
using TWalkLevels = std::deque<TWalkLevel>;

// A folder already on the current path is reached through a link: entering it again would
// never end.
bool OnCurrentPath(const TWalkLevels& levels, const FolderId& id) {
    return std::any_of(levels.begin(), levels.end(),
                       [&](const TWalkLevel& level) { return level.Folder.Id == id; });
}

// When the entry is a subfolder to walk: appends it and its files, and makes it the deepest level.
void EnterSubfolder(TScanWalk& walk, TWalkLevels& levels, const TFolderEntry& entry,
                    const std::vector<std::string>& excluded, const TkesFilesToSearch& files) {
    TWalkLevel& parent = levels.back();
    if (entry.Type != DT_DIR && entry.Type != DT_LNK && entry.Type != DT_UNKNOWN)
        return;
    FolderId id;
    if (KindOf(entry.Type, parent.Folder.Fd.Get(), entry.Name, &id) != EntryKind::Directory)
        return;
    const std::string relativeName = parent.RelativePath + entry.Name;
    if (FolderExcluded(excluded, relativeName) || OnCurrentPath(levels, id))
        return;
    const int32_t index = AppendItem(walk.List, false, entry.Name, true, parent.Index);
    TWalkLevel& sub =
        levels.emplace_back(parent.Folder.Path + "/" + entry.Name, id, relativeName + "/", index);
    sub.Folder.Adopt(openat(parent.Folder.Fd.Get(), entry.Name.c_str(), kFolderOpenFlags));
    if (!AddFolderFiles(walk, sub.Folder, index, files, sub.Entries)) {
        levels.pop_back();
        return;
    }
    if (levels.size() > kHeldFolderLimit)
        parent.Folder.Fd.Close();
}

// Walks the subfolders below the top level, depth first, each followed by its files and then its
// own subfolders.
void WalkSubfolders(TScanWalk& walk, TWalkLevels& levels, const std::vector<std::string>& excluded,
                    const TkesFilesToSearch& files) {
    while (!levels.empty() && !walk.Stop.stop_requested()) {
        TWalkLevel& level = levels.back();
        if (level.Next < level.Entries.size()) {
            EnterSubfolder(walk, levels, level.Entries[level.Next++], excluded, files);
            continue;
        }
        levels.pop_back();
        if (levels.empty() || levels.back().Folder.Fd.IsOpen())
            continue;
        if (!Reopen(walk, levels.back().Folder))
            levels.back().Next = levels.back().Entries.size();
    }
}

} // namespace

bool FileMaskMatches(const std::string& mask, const std::string& name) {
    // Users of the original platform write "*.*" for "every file", extension or not.
    if (mask == "*.*")
        return true;
    return fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

void BuildScanList(const TkesFoldersToSearch& folders, const TkesFilesToSearch& files,
                   TkesScanList& list, int32_t& fileCount, std::vector<TkesSkippedFile>* skipped,
                   std::stop_token stop, const TkesFileListedEvent& fileListed,
                   std::vector<std::string>* notices) {
    list.clear();
    fileCount = 0;
    TScanWalk walk{list, fileCount, skipped, notices, std::move(stop), fileListed};
    for (const TkesFolderToSearch& top : folders) {
        if (walk.Stop.stop_requested())
            return;
        FolderId id;
        const bool exists = FolderExists(top.Folder, id);
        const int32_t index = AppendItem(list, false, top.Folder, exists, -1);
        if (!exists)
            continue;
        TWalkLevels levels;
        TWalkLevel& level = levels.emplace_back(top.Folder, id, "", index);
        level.Folder.Adopt(ldiOpenPath(top.Folder, kFolderOpenFlags));
        if (AddFolderFiles(walk, level.Folder, index, files, level.Entries) &&
            top.IncludeSubfolders)
            WalkSubfolders(walk, levels, top.ExcludedFolders, files);
    }
}

} // namespace kes
