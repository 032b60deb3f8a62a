// File collection: turns the parsed specifications into one flat, depth-first scan list.
#include "search/search.h"
#include "util/text.h"

#include "internal/git_ignore.h"

#include "util/long_path.h"
#include "util/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <memory>
#include <optional>
#include <sys/stat.h>

namespace kestrava::search {

namespace {

struct FolderId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FolderId&) const = default;
};

FolderId idOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

// What a walk shares between its folders: the list being built, and where non-regular files and
// left-over backups are told.
struct ScanWalk {
    FileList& list;
    int32_t& fileCount;
    std::vector<SkippedFile>* skipped = nullptr; // optional
    std::vector<std::string>* notices = nullptr; // optional
    const std::stop_token& stop;
    const FileListedEvent& fileListed; // optional
    GitIgnore* gitIgnore = nullptr;    // when what git ignores is left out
    bool includeHidden = false;
    size_t maxLevels = SIZE_MAX; // of folders walked, the top one included
};

// A folder being walked: its path as listed (without a trailing "/") and a descriptor that its
// entries are examined and opened relative to, so depth is never limited by PATH_MAX.
struct WalkFolder {
    WalkFolder(std::string listedPath, FolderId folderId)
        : path(std::move(listedPath)), id(folderId) {}
    // Takes what an open call returned, keeping its errno should it have failed.
    void adopt(int opened) {
        openError = opened < 0 ? errno : 0;
        fd.reset(opened);
    }

    std::string path;
    FolderId id;
    util::UniqueFd fd;
    int openError = 0;
};

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Past this depth a folder gives up its descriptor while a subfolder is walked and opens itself
// again by path afterwards: a tree thousands of folders deep must not use up the descriptors
// that the files being read need too.
constexpr size_t kHeldFolderLimit = 64;

enum class EntryKind { Regular, Directory, Other, Unknown };

// Classifies a listed entry; links and unknown types are resolved with stat so that a link to a
// regular file counts as a file and a link to a folder as a folder.
EntryKind kindOf(unsigned char type, int folderFd, const std::string& name,
                 FolderId* id = nullptr) {
    if (type == DT_REG)
        return EntryKind::Regular;
    if (type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN)
        return EntryKind::Other;
    struct stat info = {};
    if (fstatat(folderFd, name.c_str(), &info, 0) != 0)
        return EntryKind::Unknown;
    if (id != nullptr)
        *id = idOf(info);
    if (S_ISDIR(info.st_mode))
        return EntryKind::Directory;
    return S_ISREG(info.st_mode) ? EntryKind::Regular : EntryKind::Other;
}

bool folderExists(const std::string& path, FolderId& id) {
    struct stat info = {};
    if (path.empty() || !util::statLongPath(path, info, true) || !S_ISDIR(info.st_mode))
        return false;
    id = idOf(info);
    return true;
}

bool isHiddenName(const char* name) {
    return name[0] == '.';
}

bool isBackupName(const std::string& name) {
    return name.size() > util::kBackupNameSuffix.size() && name.ends_with(util::kBackupNameSuffix);
}

// Exclusions take "*" and "?" only: brackets and backslashes stand for themselves, so a name
// excluded before masks were accepted, such as "a[1].txt", still excludes just itself.
bool wildcardMatches(std::string_view mask, const std::string& name, int flags) {
    std::string pattern;
    for (const char c : mask) {
        if (c == '[' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD | flags) == 0;
}

// "*.*" means every file, as it does for the masks themselves.
bool fileExcluded(const std::vector<std::string>& exclusions, const std::string& name) {
    return std::any_of(exclusions.begin(), exclusions.end(), [&](const std::string& excluded) {
        return util::sameTextAscii(excluded, name) || excluded == "*.*" ||
               wildcardMatches(excluded, name, 0);
    });
}

// A folder exclusion is a path relative to the searched folder; "*" and "?" stay within one
// folder name, as in a shell.
bool folderExcluded(const std::vector<std::string>& exclusions, const std::string& relativeName) {
    return std::any_of(exclusions.begin(), exclusions.end(), [&](const std::string& excluded) {
        std::string_view path = excluded;
        while (path.ends_with('/'))
            path.remove_suffix(1);
        return util::sameTextAscii(path, relativeName) ||
               wildcardMatches(path, relativeName, FNM_PATHNAME);
    });
}

int32_t appendItem(FileList& list, bool isFile, std::string name, bool exists,
                   int32_t parentIndex) {
    list.push_back({isFile, std::move(name), exists, parentIndex});
    return static_cast<int32_t>(list.size()) - 1;
}

// A folder's entries, read once: the files of every mask and the subfolders are all taken from
// them. Hidden names are left out here. They come in byte order, whatever order the file system
// keeps, so a tree is walked alike on every file system and in every copy. The hidden names that
// git's rules need are noted in `marks`. Returns 0, or errno when the folder cannot be listed.
struct FolderEntry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};
int listFolder(const WalkFolder& folder, bool includeHidden, std::vector<FolderEntry>& entries,
               GitMarks& marks) {
    entries.clear();
    if (!folder.fd.isOpen())
        return folder.openError;
    // Read straight from the folder's own descriptor: a directory stream would need a copy of
    // it, and a walk pays those calls once per folder.
    alignas(dirent64) char buffer[1 << 15];
    for (;;) {
        const ssize_t got = getdents64(folder.fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0) {
            // std::string compares its bytes as unsigned: bytes of 128 and above come last.
            std::sort(entries.begin(), entries.end(),
                      [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
            return 0;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            const bool git = std::strcmp(entry->d_name, ".git") == 0;
            if (!isHiddenName(entry->d_name) ||
                (includeHidden && !git && std::strcmp(entry->d_name, ".") != 0 &&
                 std::strcmp(entry->d_name, "..") != 0))
                entries.push_back({entry->d_name, entry->d_type});
            if (std::strcmp(entry->d_name, ".gitignore") == 0)
                marks.ignoreFile = true;
            else if (git)
                marks.gitEntry = true;
        }
    }
}

// Takes out the backups left by rewrites that were interrupted: they are never searched nor
// replaced, whatever the masks, and each one is told so the user can restore it.
void setAsideBackups(ScanWalk& walk, const WalkFolder& folder, std::vector<FolderEntry>& entries) {
    std::vector<FolderEntry> kept;
    kept.reserve(entries.size());
    for (FolderEntry& entry : entries) {
        if (!isBackupName(entry.name) ||
            kindOf(entry.type, folder.fd.get(), entry.name) == EntryKind::Directory) {
            kept.push_back(std::move(entry));
            continue;
        }
        const std::string backup = folder.path + "/" + entry.name;
        if (walk.notices != nullptr)
            walk.notices->push_back(
                "An earlier replacement of " +
                backup.substr(0, backup.size() - util::kBackupNameSuffix.size()) +
                " was interrupted; its old content is in " + backup);
    }
    entries = std::move(kept);
}

// The files of one mask, in byte order.
void addMaskFiles(ScanWalk& walk, const WalkFolder& folder, const std::vector<FolderEntry>& entries,
                  int32_t parentIndex, const FileMaskSpec& fileMask) {
    for (const FolderEntry& entry : entries) {
        if (entry.type == DT_DIR || !fileMaskMatches(fileMask.fileMask, entry.name))
            continue;
        const EntryKind kind = kindOf(entry.type, folder.fd.get(), entry.name);
        if (kind == EntryKind::Directory || fileExcluded(fileMask.excludedFiles, entry.name))
            continue;
        std::string path = folder.path;
        path.append("/").append(entry.name);
        if (kind == EntryKind::Other) {
            // FIFOs, sockets and devices are never opened: a read could block forever.
            if (walk.skipped != nullptr)
                walk.skipped->push_back({path, SkipReason::NotRegular, "Not a regular file"});
            continue;
        }
        // A broken link is listed; reading it reports why it cannot be searched.
        appendItem(walk.list, true, entry.name, true, parentIndex);
        ++walk.fileCount;
        if (walk.fileListed)
            walk.fileListed(std::move(path), entry.name);
    }
}

void addListedFiles(ScanWalk& walk, const WalkFolder& folder,
                    const std::vector<FolderEntry>& entries, int32_t parentIndex,
                    const FileMaskSpecs& files) {
    for (const FileMaskSpec& fileMask : files)
        addMaskFiles(walk, folder, entries, parentIndex, fileMask);
}

// Drops the files and subfolders git ignores, so neither the masks nor the walk below meet them.
// A link to a folder is judged as the folder the walk takes it for.
void leaveOutIgnored(GitIgnore& gitIgnore, const WalkFolder& folder,
                     std::vector<FolderEntry>& entries) {
    std::erase_if(entries, [&](const FolderEntry& entry) {
        const bool isFolder =
            entry.type == DT_DIR ||
            ((entry.type == DT_LNK || entry.type == DT_UNKNOWN) &&
             kindOf(entry.type, folder.fd.get(), entry.name) == EntryKind::Directory);
        return gitIgnore.ignored(entry.name, isFolder);
    });
}

// Lists a folder (`name` in its parent, `depth` below the top folder) and adds its files; a
// folder that cannot be opened or listed hides its files, so the user is told rather than left to
// think it holds none (one that vanished meanwhile has nothing to tell). False when there is
// nothing to go on with.
bool addFolderFiles(ScanWalk& walk, const WalkFolder& folder, size_t depth, std::string_view name,
                    int32_t parentIndex, const FileMaskSpecs& files,
                    std::vector<FolderEntry>& entries) {
    GitMarks marks;
    if (const int error = listFolder(folder, walk.includeHidden, entries, marks); error != 0) {
        if (error != ENOENT && walk.skipped != nullptr)
            walk.skipped->push_back({folder.path + "/", SkipReason::Unreadable,
                                     std::string("Cannot list folder: ") + std::strerror(error)});
        return false;
    }
    setAsideBackups(walk, folder, entries);
    if (walk.gitIgnore != nullptr) {
        walk.gitIgnore->enterFolder(depth, folder.fd.get(), name, marks);
        leaveOutIgnored(*walk.gitIgnore, folder, entries);
    }
    addListedFiles(walk, folder, entries, parentIndex, files);
    return true;
}

// Opens a folder that gave up its descriptor again. False when it cannot be, or its path now
// leads elsewhere (it was moved or replaced meanwhile, so what is left of it is gone too).
bool reopen(ScanWalk& walk, WalkFolder& folder) {
    folder.adopt(util::openLongPath(folder.path, kFolderOpenFlags));
    struct stat info = {};
    if (folder.fd.isOpen() && fstat(folder.fd.get(), &info) == 0 && idOf(info) == folder.id)
        return true;
    if (folder.openError != 0 && folder.openError != ENOENT && walk.skipped != nullptr)
        walk.skipped->push_back(
            {folder.path + "/", SkipReason::Unreadable,
             std::string("Cannot open folder: ") + std::strerror(folder.openError)});
    return false;
}

// One folder on the path from a top folder down to the folder being walked: its listed entries
// and how far its subfolders have been taken. The walk keeps these in a list of its own rather
// than on the call stack, which a tree thousands of folders deep would overflow.
struct WalkLevel {
    WalkLevel(std::string path, FolderId id, std::string relative, int32_t entryIndex)
        : folder(std::move(path), id), relativePath(std::move(relative)), index(entryIndex) {}

    WalkFolder folder;
    std::string relativePath; // "" for a top folder, otherwise ending with "/"
    int32_t index;            // in the scan list
    std::vector<FolderEntry> entries;
    size_t next = 0; // the entry to look at next
};
// A deque: adding a level leaves the others where they are.
using WalkLevels = std::deque<WalkLevel>;

// A folder already on the current path is reached through a link: entering it again would
// never end.
bool onCurrentPath(const WalkLevels& levels, const FolderId& id) {
    return std::any_of(levels.begin(), levels.end(),
                       [&](const WalkLevel& level) { return level.folder.id == id; });
}

// When the entry is a subfolder to walk: appends it and its files, and makes it the deepest level.
void enterSubfolder(ScanWalk& walk, WalkLevels& levels, const FolderEntry& entry,
                    const std::vector<std::string>& excluded, const FileMaskSpecs& files) {
    WalkLevel& parent = levels.back();
    if (levels.size() >= walk.maxLevels ||
        (entry.type != DT_DIR && entry.type != DT_LNK && entry.type != DT_UNKNOWN))
        return;
    FolderId id;
    if (kindOf(entry.type, parent.folder.fd.get(), entry.name, &id) != EntryKind::Directory)
        return;
    const std::string relativeName = parent.relativePath + entry.name;
    if (folderExcluded(excluded, relativeName) || onCurrentPath(levels, id))
        return;
    const int32_t index = appendItem(walk.list, false, entry.name, true, parent.index);
    WalkLevel& sub =
        levels.emplace_back(parent.folder.path + "/" + entry.name, id, relativeName + "/", index);
    sub.folder.adopt(openat(parent.folder.fd.get(), entry.name.c_str(), kFolderOpenFlags));
    if (!addFolderFiles(walk, sub.folder, levels.size() - 1, entry.name, index, files,
                        sub.entries)) {
        levels.pop_back();
        return;
    }
    if (levels.size() > kHeldFolderLimit)
        parent.folder.fd.close();
}

// Walks the subfolders below the top level, depth first, each followed by its files and then its
// own subfolders.
void walkSubfolders(ScanWalk& walk, WalkLevels& levels, const std::vector<std::string>& excluded,
                    const FileMaskSpecs& files) {
    while (!levels.empty() && !walk.stop.stop_requested()) {
        WalkLevel& level = levels.back();
        if (level.next < level.entries.size()) {
            enterSubfolder(walk, levels, level.entries[level.next++], excluded, files);
            continue;
        }
        levels.pop_back();
        if (levels.empty() || levels.back().folder.fd.isOpen())
            continue;
        if (!reopen(walk, levels.back().folder))
            levels.back().next = levels.back().entries.size();
    }
}

// A top entry that names a regular file (or a link to one) is listed as that file in its folder.
bool addNamedFile(ScanWalk& walk, const std::string& path) {
    const std::string folder = namedFileFolder(path);
    if (folder.empty())
        return false;
    const std::string name = path.substr(util::fileFolder(path).size());
    const int32_t index = appendItem(walk.list, false, folder, true, -1);
    appendItem(walk.list, true, name, true, index);
    ++walk.fileCount;
    if (walk.fileListed)
        walk.fileListed(path, name);
    return true;
}

} // namespace

std::string namedFileFolder(const std::string& entry) {
    struct stat info = {};
    if (entry.empty() || entry.ends_with('/') || !util::statLongPath(entry, info, true) ||
        !S_ISREG(info.st_mode))
        return {};
    const std::string folder = util::fileFolder(entry);
    return folder.empty() ? "./" : folder;
}

bool fileMaskMatches(const std::string& mask, const std::string& name) {
    // Users of the original platform write "*.*" for "every file", extension or not.
    if (mask == "*.*")
        return true;
    return fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

void buildScanList(const FolderSpecs& folders, const FileMaskSpecs& files, FileList& list,
                   int32_t& fileCount, const ScanListOptions& options) {
    list.clear();
    fileCount = 0;
    ScanWalk walk{list,         fileCount,         options.skipped, options.notices,
                  options.stop, options.fileListed};
    walk.includeHidden = options.includeHidden;
    if (options.maxDepth >= 0)
        walk.maxLevels = static_cast<size_t>(options.maxDepth);
    for (const FolderSpec& top : folders) {
        if (walk.stop.stop_requested())
            return;
        if (addNamedFile(walk, top.folder) || walk.maxLevels == 0)
            continue;
        FolderId id;
        const bool exists = folderExists(top.folder, id);
        const int32_t index = appendItem(list, false, top.folder, exists, -1);
        if (!exists)
            continue;
        // Each top folder is judged by the rules of the repository it lies in, if any.
        std::optional<GitIgnore> gitIgnore;
        walk.gitIgnore = options.respectGitignore ? &gitIgnore.emplace(top.folder) : nullptr;
        WalkLevels levels;
        WalkLevel& level = levels.emplace_back(top.folder, id, "", index);
        level.folder.adopt(util::openLongPath(top.folder, kFolderOpenFlags));
        if (addFolderFiles(walk, level.folder, 0, "", index, files, level.entries) &&
            top.includeSubfolders)
            walkSubfolders(walk, levels, top.excludedFolders, files);
    }
}

} // namespace kestrava::search
