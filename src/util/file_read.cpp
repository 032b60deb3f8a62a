// Reading whole files: regular files only, never waiting on a FIFO or a device.
#include "util/ldiFileIO.h"

#include "util/ldiFileHandle.h"
#include "util/long_path.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kes {

namespace {

// Reads until the buffer is full or the file ends early (it shrank since fstat).
bool ReadFully(int fd, std::string& buffer, int& error) {
    size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = read(fd, buffer.data() + done, buffer.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            return false;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    buffer.resize(done);
    return true;
}

// O_NONBLOCK: should a FIFO have taken the file's place, opening it must not wait for a writer.
// A walk lists files deeper than PATH_MAX, so the path may be longer than open(2) takes.
int OpenForReading(const std::string& fileName, int extraFlags) {
    return ldiOpenPath(fileName, O_RDONLY | O_CLOEXEC | O_NONBLOCK | extraFlags);
}

// Opens the file at the end of any symlinks and tells that name. The final name is opened
// without following a link, so a link planted after the resolution is refused, not followed.
bool OpenResolved(const std::string& fileName, TFileHandle& file, TReadTarget& target, int& error) {
    file.Reset(OpenForReading(fileName, O_NOFOLLOW));
    if (file.IsOpen()) {
        target.Name = fileName;
        return true;
    }
    if (errno != ELOOP) {
        error = errno;
        return false;
    }
    if (!ldiResolveLinks(fileName, target.Name, error))
        return false;
    file.Reset(OpenForReading(target.Name, O_NOFOLLOW));
    error = file.IsOpen() ? 0 : errno;
    return file.IsOpen();
}

// What a symlink holds, read relative to its folder so that the path may be of any length.
bool ReadLink(const std::string& path, std::string& link, int& error) {
    const std::string folder = ldiFileFolder(path);
    const TFileHandle dir(
        ldiOpenPath(folder.empty() ? "." : folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
    const std::string name = path.substr(folder.size());
    for (size_t room = 256; dir.IsOpen(); room *= 2) {
        link.resize(room);
        const ssize_t got = readlinkat(dir.Get(), name.c_str(), link.data(), room);
        if (got < 0)
            break;
        if (static_cast<size_t>(got) < room) {
            link.resize(static_cast<size_t>(got));
            return true;
        }
    }
    error = errno;
    return false;
}

} // namespace

TFileIdentity ldiIdentityOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
            static_cast<int64_t>(info.st_size), static_cast<int64_t>(info.st_mtim.tv_sec),
            static_cast<int64_t>(info.st_mtim.tv_nsec)};
}

bool ldiResolveLinks(const std::string& fileName, std::string& target, int& error) {
    constexpr int kMaxLinkHops = 40;
    target = fileName;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (!ldiStatPath(target, st, false) || !S_ISLNK(st.st_mode))
            return true;
        std::string link;
        if (!ReadLink(target, link, error))
            return false;
        target = link.starts_with('/') ? link : ldiFileFolder(target) + link;
    }
    error = ELOOP;
    return false;
}

TReadStatus ldiOpenRegularFile(const std::string& fileName, int64_t maxSize, TFileHandle& file,
                               size_t& size, int& error, TReadTarget* target) {
    error = 0;
    size = 0;
    if (target != nullptr && !OpenResolved(fileName, file, *target, error))
        return error == ENOENT || error == ENOTDIR ? rsMissing : rsUnreadable;
    if (target == nullptr)
        file.Reset(OpenForReading(fileName, 0));
    if (!file.IsOpen()) {
        error = errno;
        // ENOTDIR: a part of the path is a file, so this file cannot exist either.
        return error == ENOENT || error == ENOTDIR ? rsMissing : rsUnreadable;
    }
    struct stat info {};
    if (fstat(file.Get(), &info) != 0) {
        error = errno;
        return rsUnreadable;
    }
    if (target != nullptr)
        target->Identity = ldiIdentityOf(info);
    if (!S_ISREG(info.st_mode))
        return rsNotRegular;
    if (info.st_size > maxSize)
        return rsTooLarge;
    size = static_cast<size_t>(info.st_size);
    return size == 0 ? rsEmpty : rsRead;
}

TReadStatus ldiReadWholeFile(const std::string& fileName, std::string& buffer, int& error,
                             int64_t maxSize) {
    buffer.clear();
    TFileHandle file;
    size_t size = 0;
    const TReadStatus opened = ldiOpenRegularFile(fileName, maxSize, file, size, error);
    if (opened != rsRead && opened != rsEmpty)
        return opened;
    return ldiReadOpenedFile(file, size, buffer, error);
}

TReadStatus ldiReadOpenedFile(const TFileHandle& file, size_t size, std::string& buffer,
                              int& error) {
    buffer.resize(size);
    if (!ReadFully(file.Get(), buffer, error)) {
        buffer.clear();
        return rsUnreadable;
    }
    return buffer.empty() ? rsEmpty : rsRead;
}

} // namespace kes
