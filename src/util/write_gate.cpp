// The write gate: folders reached beneath a root with no link followed, and the calls that
// create, rename and remove names in them. No other file of the program opens, renames or
// removes anything for writing.
#include "util/write_gate.h"

#include "util/long_path.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrava::util {

namespace {

constexpr int kResolveFlags = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;

std::atomic<bool> gNoOpenat2{false};

bool openat2Missing() {
#ifdef KES_FAULT_HOOKS
    // Test builds: KESTRAVA_FAULT=no-openat2 walks name by name, as on a kernel without openat2.
    if (const char* fault = std::getenv("KESTRAVA_FAULT");
        fault != nullptr && std::string_view(fault) == "no-openat2")
        return true;
#endif
    return gNoOpenat2.load(std::memory_order_relaxed);
}

std::string withSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// The names of a relative path, without "" and "."; false (errno EXDEV) at a "..".
bool splitNames(std::string_view path, std::vector<std::string_view>& names) {
    for (size_t start = 0; start <= path.size();) {
        const size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view name = path.substr(start, slash - start);
        if (name == "..") {
            errno = EXDEV;
            return false;
        }
        if (!name.empty() && name != ".")
            names.push_back(name);
        start = slash + 1;
    }
    return true;
}

// openat2 refuses a path it saw renamed under it with EAGAIN; it is asked again a few times.
int openat2Beneath(int base, const std::string& path, int flags, mode_t mode) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? mode : 0;
    how.resolve = kResolveFlags;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const long fd = ::syscall(SYS_openat2, base, path.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != EAGAIN)
            return static_cast<int>(fd);
    }
    return -1;
}

// One name with O_NOFOLLOW. A link opened by O_PATH is the link itself: refused as openat2 would.
int openName(int base, const std::string& name, int flags, mode_t mode) {
    const int fd = ::openat(base, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    struct stat info = {};
    if (fd < 0 && errno == ENOTDIR &&
        ::fstatat(base, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
        errno = ELOOP;
    if (fd >= 0 && (flags & O_PATH) != 0 && ::fstat(fd, &info) == 0 && S_ISLNK(info.st_mode)) {
        ::close(fd);
        errno = ELOOP;
        return -1;
    }
    return fd;
}

// Opens the names in [from, to) one after another (the last with flags), or as one stretch
// through openat2.
int openStretch(int base, const std::vector<std::string_view>& names, size_t from, size_t to,
                int flags, mode_t mode) {
    if (!openat2Missing()) {
        std::string stretch;
        for (size_t i = from; i < to; ++i)
            stretch.append(stretch.empty() ? "" : "/").append(names[i]);
        const int fd = openat2Beneath(base, stretch.empty() ? "." : stretch, flags, mode);
        if (fd >= 0 || errno != ENOSYS)
            return fd;
        gNoOpenat2.store(true, std::memory_order_relaxed);
    }
    if (from == to)
        return ::openat(base, ".", flags | O_CLOEXEC, mode);
    UniqueFd folder;
    for (size_t i = from; i + 1 < to; ++i) {
        folder.reset(openName(folder.isOpen() ? folder.get() : base, std::string(names[i]),
                              O_PATH | O_DIRECTORY, 0));
        if (!folder.isOpen())
            return -1;
    }
    return openName(folder.isOpen() ? folder.get() : base, std::string(names[to - 1]), flags, mode);
}

} // namespace

int openBeneath(int base, std::string_view relative, int flags, mode_t mode) {
    std::vector<std::string_view> names;
    if (!splitNames(relative, names))
        return -1;
    // The kernel takes paths shorter than PATH_MAX: a deeper one is opened a stretch at a time.
    UniqueFd folder;
    size_t from = 0;
    for (size_t length = 0, i = 0; i < names.size(); ++i) {
        length += names[i].size() + 1;
        if (length < PATH_MAX - 1 || i == from)
            continue;
        folder.reset(openStretch(folder.isOpen() ? folder.get() : base, names, from, i,
                                 O_PATH | O_DIRECTORY, 0));
        if (!folder.isOpen())
            return -1;
        from = i;
        length = names[i].size() + 1;
    }
    return openStretch(folder.isOpen() ? folder.get() : base, names, from, names.size(), flags,
                       mode);
}

int GatedFolder::openFile(const std::string& name, int flags, mode_t mode) const {
    return ::openat(fd.get(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

int GatedFolder::createFile(const std::string& name, mode_t mode, bool append) const {
    return openFile(name, O_WRONLY | O_CREAT | O_EXCL | (append ? O_APPEND : 0), mode);
}

int GatedFolder::appendToFile(const std::string& name, mode_t mode) const {
    return openFile(name, O_WRONLY | O_CREAT | O_APPEND, mode);
}

int GatedFolder::openSubfolder(const std::string& name) const {
    return openName(fd.get(), name, O_RDONLY | O_DIRECTORY, 0);
}

int GatedFolder::makeSubfolder(const std::string& name, mode_t mode) const {
    return ::mkdirat(fd.get(), name.c_str(), mode);
}

int GatedFolder::stat(const std::string& name, struct stat& info) const {
    return ::fstatat(fd.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW);
}

int GatedFolder::remove(const std::string& name) const {
    return ::unlinkat(fd.get(), name.c_str(), 0);
}

int GatedFolder::removeSubfolder(const std::string& name) const {
    return ::unlinkat(fd.get(), name.c_str(), AT_REMOVEDIR);
}

int GatedFolder::moveTo(const std::string& name, const GatedFolder& to, const std::string& toName,
                        bool noReplace) const {
    if (!noReplace)
        return ::renameat(fd.get(), name.c_str(), to.fd.get(), toName.c_str());
    if (::renameat2(fd.get(), name.c_str(), to.fd.get(), toName.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without RENAME_NOREPLACE: a hard link refuses an existing name as well.
    if (::linkat(fd.get(), name.c_str(), to.fd.get(), toName.c_str(), 0) != 0)
        return -1;
    return remove(name);
}

int GatedFolder::linkFrom(const GatedFolder& from, const std::string& fromName,
                          const std::string& name) const {
    return ::linkat(from.fd.get(), fromName.c_str(), fd.get(), name.c_str(), 0);
}

int GatedFolder::openUnnamed() const {
    return ::openat(fd.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

bool openRootFolder(const std::string& path, GatedFolder& folder) {
    folder.fd.reset(openLongPath(path.empty() ? "." : path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    folder.path = withSlash(path);
    folder.real.clear();
    if (!folder.fd.isOpen())
        return false;
    // The folder's own path without links, as the kernel tells it (fails only past PATH_MAX).
    char real[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(folder.fd.get());
    if (const ssize_t got = ::readlink(self.c_str(), real, sizeof real - 1);
        got > 0 && real[0] == '/')
        folder.real = withSlash(std::string(real, static_cast<size_t>(got)));
    return true;
}

bool makeFolders(const std::string& path, NewFolderMode mode, GatedFolder& folder) {
    std::string existing = path;
    while (existing.size() > 1 && existing.back() == '/')
        existing.pop_back();
    std::vector<std::string> missing;
    while (!openRootFolder(existing, folder)) {
        const size_t slash = existing.rfind('/');
        if (errno != ENOENT || existing == "." || existing == "/")
            return false;
        missing.push_back(slash == std::string::npos ? existing : existing.substr(slash + 1));
        existing = slash == std::string::npos ? "." : existing.substr(0, slash == 0 ? 1 : slash);
    }
    for (auto name = missing.rbegin(); name != missing.rend(); ++name) {
        if (name->empty())
            continue;
        const bool made =
            folder.makeSubfolder(*name, mode == NewFolderMode::Private ? 0700 : 0777) == 0;
        if (!made && errno != EEXIST)
            return false;
        GatedFolder next;
        next.fd.reset(folder.openSubfolder(*name));
        if (!next.fd.isOpen() ||
            (made && mode == NewFolderMode::Private && ::fchmod(next.fd.get(), 0700) != 0))
            return false;
        next.path = folder.path + *name + "/";
        next.real = folder.real.empty() ? "" : folder.real + *name + "/";
        folder = std::move(next);
    }
    return true;
}

bool isPrivateFolder(const struct stat& info) {
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 022) == 0;
}

WriteRoots::WriteRoots(const std::vector<std::string>& folders) {
    for (const std::string& path : folders) {
        GatedFolder root;
        std::string shown = path;
        while (shown.size() > 1 && shown.back() == '/')
            shown.pop_back();
        if (openRootFolder(shown, root))
            m_roots.push_back(std::move(root));
    }
}

std::vector<std::string> WriteRoots::realPaths() const {
    std::vector<std::string> paths;
    for (const GatedFolder& root : m_roots)
        if (!root.real.empty())
            paths.push_back(root.real);
    return paths;
}

bool WriteRoots::openLexically(const std::string& path, GatedFolder& folder) const {
    const std::string wanted = withSlash(path);
    for (const GatedFolder& root : m_roots) {
        if (!wanted.starts_with(root.path))
            continue;
        const std::string relative = wanted.substr(root.path.size());
        folder.fd.reset(openBeneath(root.fd.get(), relative, O_RDONLY | O_DIRECTORY));
        if (!folder.fd.isOpen())
            return false;
        folder.path = wanted;
        folder.real = root.real.empty() ? "" : root.real + relative;
        return true;
    }
    errno = EXDEV;
    return false;
}

bool WriteRoots::openResolved(const std::string& path, GatedFolder& folder) const {
    GatedFolder resolved;
    if (!openRootFolder(path, resolved))
        return false;
    for (const GatedFolder& root : m_roots) {
        if (root.real.empty() || !resolved.real.starts_with(root.real))
            continue;
        const std::string relative = resolved.real.substr(root.real.size());
        folder.fd.reset(openBeneath(root.fd.get(), relative, O_RDONLY | O_DIRECTORY));
        if (!folder.fd.isOpen())
            return false;
        folder.path = root.path + relative;
        folder.real = resolved.real;
        return true;
    }
    errno = EXDEV;
    return false;
}

bool WriteRoots::openFolder(const std::string& path, GatedFolder& folder, bool followInside) const {
    if (openLexically(path, folder))
        return true;
    if (!followInside || (errno != ELOOP && errno != EXDEV))
        return false;
    return openResolved(path, folder);
}

std::string outsideRootsText(const std::string& path) {
    return path + " is reached through a link that leads outside the searched folders; not "
                  "replaced";
}

} // namespace kestrava::util
