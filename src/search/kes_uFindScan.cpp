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
EntryKind KindOf(const dirent& entry, const std::string& path, FolderId* id = nullptr) {
    if (entry.d_type == DT_REG)
        return EntryKind::Regular;
    if (entry.d_type != DT_DIR && entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
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

bool OnCurrentPath(const TkesScanWalk& walk, const FolderId& id) {
    return std::any_of(walk.Ancestors.begin(), walk.Ancestors.end(), [&](const auto& ancestor) {
        return ancestor.first == id.Device && ancestor.second == id.Inode;
    });
}

int32_t AppendItem(TkesScanList& list, bool isFile, std::string name, bool exists,
                   int32_t parentIndex) {
    list.push_back({isFile, std::move(name), exists, parentIndex});
    return static_cast<int32_t>(list.size()) - 1;
}

// One directory listing for one mask; false with errno set when the folder cannot be listed.
bool AddMaskFiles(TkesScanWalk& walk, const std::string& folder, int32_t parentIndex,
                  const TkesFileToSearch& fileMask) {
    DirHandle dir(opendir(folder.c_str()));
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (IsHiddenName(entry->d_name) || !FileMaskMatches(fileMask.FileMask, name))
            continue;
        std::string path = folder;
        path.append("/").append(name);
        const EntryKind kind = KindOf(*entry, path);
        if (kind == EntryKind::Directory || IsListed(fileMask.ExcludedFiles, name))
            continue;
        if (kind == EntryKind::Other) {
            // FIFOs, sockets and devices are never opened: a read could block forever.
            if (walk.Skipped != nullptr)
                walk.Skipped->push_back({path, srNotRegular, "Not a regular file"});
            continue;
        }
        // A broken link is listed; reading it reports why it cannot be searched.
        AppendItem(walk.List, true, name, true, parentIndex);
        ++walk.FileCount;
    }
    return true;
}

} // namespace

bool FileMaskMatches(const std::string& mask, const std::string& name) {
    // Users of the original platform write "*.*" for "every file", extension or not.
    if (mask == "*.*")
        return true;
    return fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

void AddFolderFiles(TkesScanWalk& walk, const std::string& folder, int32_t parentIndex,
                    const TkesFilesToSearch& files) {
    for (const TkesFileToSearch& fileMask : files) {
        if (AddMaskFiles(walk, folder, parentIndex, fileMask))
            continue;
        // A folder that cannot be listed hides its files: the user is told rather than left to
        // think it holds none. One that vanished meanwhile has nothing to tell.
        if (errno != ENOENT && walk.Skipped != nullptr)
            walk.Skipped->push_back({folder + "/", srUnreadable,
                                     std::string("Cannot list folder: ") + std::strerror(errno)});
        return;
    }
}

void AddSubfolders(TkesScanWalk& walk, const std::string& topFolder,
                   const std::string& relativePath, int32_t parentIndex,
                   const std::vector<std::string>& excluded, const TkesFilesToSearch& files) {
    const std::string folder = topFolder + "/" + relativePath;
    DirHandle dir(opendir(folder.c_str()));
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir.get())) {
        if (walk.Stop.stop_requested())
            return;
        if (IsHiddenName(entry->d_name))
            continue;
        const std::string name = entry->d_name;
        FolderId id;
        if (KindOf(*entry, folder + name, &id) != EntryKind::Directory)
            continue;
        const std::string relativeName = relativePath + name;
        // A folder already on the current path is reached through a link: entering it again
        // would never end.
        if (IsListed(excluded, relativeName) || OnCurrentPath(walk, id))
            continue;
        const int32_t index = AppendItem(walk.List, false, name, true, parentIndex);
        AddFolderFiles(walk, folder + name, index, files);
        walk.Ancestors.emplace_back(id.Device, id.Inode);
        AddSubfolders(walk, topFolder, relativeName + "/", index, excluded, files);
        walk.Ancestors.pop_back();
    }
}

void BuildScanList(const TkesFoldersToSearch& folders, const TkesFilesToSearch& files,
                   TkesScanList& list, int32_t& fileCount, std::vector<TkesSkippedFile>* skipped,
                   std::stop_token stop) {
    list.clear();
    fileCount = 0;
    TkesScanWalk walk{list, fileCount, skipped, std::move(stop), {}};
    for (const TkesFolderToSearch& top : folders) {
        if (walk.Stop.stop_requested())
            return;
        FolderId id;
        const bool exists = FolderExists(top.Folder, id);
        const int32_t index = AppendItem(list, false, top.Folder, exists, -1);
        if (!exists)
            continue;
        AddFolderFiles(walk, top.Folder, index, files);
        if (!top.IncludeSubfolders)
            continue;
        walk.Ancestors.assign(1, {id.Device, id.Inode});
        AddSubfolders(walk, top.Folder, "", index, top.ExcludedFolders, files);
    }
}

} // namespace kes
