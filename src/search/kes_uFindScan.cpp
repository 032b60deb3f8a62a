// File collection: turns the parsed specifications into one flat, depth-first scan list.
#include "search/kes_uFind.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>

namespace kes {

namespace {

// What a walk shares between its folders: the list being built, the ancestors on the current
// path (device and inode, so directory links cannot loop), and where non-regular files go.
struct TScanWalk {
    TkesScanList& List;
    int32_t& FileCount;
    std::vector<TkesSkippedFile>* Skipped = nullptr; // optional
    std::stop_token Stop;
    std::vector<std::pair<uint64_t, uint64_t>> Ancestors;
    TkesFileListedEvent FileListed; // optional
};

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

enum class EntryKind { Regular, Directory, Other, Unknown };

struct FolderId {
    uint64_t Device = 0;
    uint64_t Inode = 0;
};

// Classifies a listed entry; links and unknown types are resolved with stat so that a link to a
// regular file counts as a file and a link to a folder as a folder.
EntryKind KindOf(unsigned char type, const std::string& path, FolderId* id = nullptr) {
    if (type == DT_REG)
        return EntryKind::Regular;
    if (type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN)
        return EntryKind::Other;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return EntryKind::Unknown;
    if (id != nullptr)
        *id = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    if (S_ISDIR(info.st_mode))
        return EntryKind::Directory;
    return S_ISREG(info.st_mode) ? EntryKind::Regular : EntryKind::Other;
}

bool FolderExists(const std::string& path, FolderId& id) {
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    id = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    return true;
}

bool IsHiddenName(const char* name) {
    return name[0] == '.';
}

bool IsListed(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& listed) { return SameTextAscii(listed, name); });
}

bool OnCurrentPath(const TScanWalk& walk, const FolderId& id) {
    return std::any_of(walk.Ancestors.begin(), walk.Ancestors.end(), [&](const auto& ancestor) {
        return ancestor.first == id.Device && ancestor.second == id.Inode;
    });
}

int32_t AppendItem(TkesScanList& list, bool isFile, std::string name, bool exists,
                   int32_t parentIndex) {
    list.push_back({isFile, std::move(name), exists, parentIndex});
    return static_cast<int32_t>(list.size()) - 1;
}

// A folder's entries, read once: the files of every mask and the subfolders are all taken from
// them. Hidden names are left out here. False with errno set when the folder cannot be listed.
struct TFolderEntry {
    std::string Name;
    unsigned char Type = DT_UNKNOWN;
};
bool ListFolder(const std::string& folder, std::vector<TFolderEntry>& entries) {
    entries.clear();
    DirHandle dir(opendir(folder.c_str()));
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir.get()))
        if (!IsHiddenName(entry->d_name))
            entries.push_back({entry->d_name, entry->d_type});
    return true;
}

// The files of one mask, in listing order.
void AddMaskFiles(TScanWalk& walk, const std::string& folder,
                  const std::vector<TFolderEntry>& entries, int32_t parentIndex,
                  const TkesFileToSearch& fileMask) {
    for (const TFolderEntry& entry : entries) {
        if (entry.Type == DT_DIR || !FileMaskMatches(fileMask.FileMask, entry.Name))
            continue;
        std::string path = folder;
        path.append("/").append(entry.Name);
        const EntryKind kind = KindOf(entry.Type, path);
        if (kind == EntryKind::Directory || IsListed(fileMask.ExcludedFiles, entry.Name))
            continue;
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

void AddListedFiles(TScanWalk& walk, const std::string& folder,
                    const std::vector<TFolderEntry>& entries, int32_t parentIndex,
                    const TkesFilesToSearch& files) {
    for (const TkesFileToSearch& fileMask : files)
        AddMaskFiles(walk, folder, entries, parentIndex, fileMask);
}

// Lists a folder and adds its files; a folder that cannot be listed hides its files, so the user
// is told rather than left to think it holds none (one that vanished meanwhile has nothing to
// tell). False when there is nothing to go on with.
bool AddFolderFiles(TScanWalk& walk, const std::string& folder, int32_t parentIndex,
                    const TkesFilesToSearch& files, std::vector<TFolderEntry>& entries) {
    if (!ListFolder(folder, entries)) {
        if (errno != ENOENT && walk.Skipped != nullptr)
            walk.Skipped->push_back({folder + "/", srUnreadable,
                                     std::string("Cannot list folder: ") + std::strerror(errno)});
        return false;
    }
    AddListedFiles(walk, folder, entries, parentIndex, files);
    return true;
}

// Each subfolder of an already listed folder, followed by its files and its own subfolders.
void AddSubfolders(TScanWalk& walk, const std::string& topFolder, const std::string& relativePath,
                   const std::vector<TFolderEntry>& entries, int32_t parentIndex,
                   const std::vector<std::string>& excluded, const TkesFilesToSearch& files) {
    const std::string folder = topFolder + "/" + relativePath;
    std::vector<TFolderEntry> subEntries;
    for (const TFolderEntry& entry : entries) {
        if (walk.Stop.stop_requested())
            return;
        if (entry.Type != DT_DIR && entry.Type != DT_LNK && entry.Type != DT_UNKNOWN)
            continue;
        FolderId id;
        if (KindOf(entry.Type, folder + entry.Name, &id) != EntryKind::Directory)
            continue;
        const std::string relativeName = relativePath + entry.Name;
        // A folder already on the current path is reached through a link: entering it again
        // would never end.
        if (IsListed(excluded, relativeName) || OnCurrentPath(walk, id))
            continue;
        const int32_t index = AppendItem(walk.List, false, entry.Name, true, parentIndex);
        if (!AddFolderFiles(walk, folder + entry.Name, index, files, subEntries))
            continue;
        walk.Ancestors.emplace_back(id.Device, id.Inode);
        AddSubfolders(walk, topFolder, relativeName + "/", subEntries, index, excluded, files);
        walk.Ancestors.pop_back();
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
                   std::stop_token stop, const TkesFileListedEvent& fileListed) {
    list.clear();
    fileCount = 0;
    TScanWalk walk{list, fileCount, skipped, std::move(stop), {}, fileListed};
    for (const TkesFolderToSearch& top : folders) {
        if (walk.Stop.stop_requested())
            return;
        FolderId id;
        const bool exists = FolderExists(top.Folder, id);
        const int32_t index = AppendItem(list, false, top.Folder, exists, -1);
        if (!exists)
            continue;
        std::vector<TFolderEntry> entries;
        if (!AddFolderFiles(walk, top.Folder, index, files, entries) || !top.IncludeSubfolders)
            continue;
        walk.Ancestors.assign(1, {id.Device, id.Inode});
        AddSubfolders(walk, top.Folder, "", entries, index, top.ExcludedFolders, files);
    }
}

} // namespace kes
