// Reading whole files: regular files only, never waiting on a FIFO or a device.
#include "util/file_io.h"

#include "util/long_path.h"
#include "util/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::util {

namespace {

// O_NONBLOCK: should a FIFO have taken the file's place, opening it must not wait for a writer.
// A walk lists files deeper than PATH_MAX, so the path may be longer than open(2) takes.
int openForReading(const std::string& fileName, int extraFlags) {
    return openLongPath(fileName, O_RDONLY | O_CLOEXEC | O_NONBLOCK | extraFlags);
}

// Opens the file at the end of any symlinks and tells that name. The final name is opened
// without following a link, so a link planted after the resolution is refused, not followed.
bool openResolved(const std::string& fileName, UniqueFd& file, ReadTarget& target, int& error) {
    file.reset(openForReading(fileName, O_NOFOLLOW));
    if (file.isOpen()) {
        target.name = fileName;
        return true;
    }
    if (errno != ELOOP) {
        error = errno;
        return false;
    }
    if (!resolveLinks(fileName, target.name, error))
        return false;
    file.reset(openForReading(target.name, O_NOFOLLOW));
    error = file.isOpen() ? 0 : errno;
    return file.isOpen();
}

// What a symlink holds, read relative to its folder so that the path may be of any length.
bool readLink(const std::string& path, std::string& link, int& error) {
    const std::string folder = fileFolder(path);
    const UniqueFd dir(
        openLongPath(folder.empty() ? "." : folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
    const std::string name = path.substr(folder.size());
    for (size_t room = 256; dir.isOpen(); room *= 2) {
        link.resize(room);
        const ssize_t got = readlinkat(dir.get(), name.c_str(), link.data(), room);
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

FileIdentity identityOf(const struct stat& info) {
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
            static_cast<int64_t>(info.st_size), static_cast<int64_t>(info.st_mtim.tv_sec),
            static_cast<int64_t>(info.st_mtim.tv_nsec)};
}

bool resolveLinks(const std::string& fileName, std::string& target, int& error) {
    constexpr int kMaxLinkHops = 40;
    target = fileName;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st = {};
        if (!statLongPath(target, st, false) || !S_ISLNK(st.st_mode))
            return true;
        std::string link;
        if (!readLink(target, link, error))
            return false;
        target = link.starts_with('/') ? link : fileFolder(target) + link;
    }
    error = ELOOP;
    return false;
}

ReadStatus openRegularFile(const std::string& fileName, int64_t maxSize, UniqueFd& file,
                           size_t& size, int& error, ReadTarget* target) {
    error = 0;
    size = 0;
    if (target != nullptr && !openResolved(fileName, file, *target, error))
        return error == ENOENT || error == ENOTDIR ? ReadStatus::Missing : ReadStatus::Unreadable;
    if (target == nullptr)
        file.reset(openForReading(fileName, 0));
    if (!file.isOpen()) {
        error = errno;
        // ENOTDIR: a part of the path is a file, so this file cannot exist either.
        return error == ENOENT || error == ENOTDIR ? ReadStatus::Missing : ReadStatus::Unreadable;
    }
    struct stat info = {};
    if (fstat(file.get(), &info) != 0) {
        error = errno;
        return ReadStatus::Unreadable;
    }
    if (target != nullptr)
        target->identity = identityOf(info);
    if (!S_ISREG(info.st_mode))
        return ReadStatus::NotRegular;
    if (info.st_size > maxSize)
        return ReadStatus::TooLarge;
    size = static_cast<size_t>(info.st_size);
    return size == 0 ? ReadStatus::Empty : ReadStatus::Read;
}

ReadStatus readWholeRegularFile(const std::string& fileName, std::string& buffer, int& error,
                                int64_t maxSize) {
    buffer.clear();
    UniqueFd file;
    size_t size = 0;
    const ReadStatus opened = openRegularFile(fileName, maxSize, file, size, error);
    if (opened != ReadStatus::Read && opened != ReadStatus::Empty)
        return opened;
    return readOpenedFile(file, size, buffer, error);
}

int64_t readRange(int fd, int64_t offset, size_t length, char* to, int& error) {
    size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, to + done, length - done,
                                    static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            return -1;
        }
        if (got == 0)
            break; // it shrank since it was opened
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

bool readAt(int fd, int64_t offset, size_t length, std::string& bytes, int& error) {
    bytes.resize(length);
    const int64_t done = readRange(fd, offset, length, bytes.data(), error);
    bytes.resize(done < 0 ? 0 : static_cast<size_t>(done));
    return done >= 0;
}

ReadStatus readOpenedFile(const UniqueFd& file, size_t size, std::string& buffer, int& error) {
    if (!readAt(file.get(), 0, size, buffer, error)) {
        buffer.clear();
        return ReadStatus::Unreadable;
    }
    return buffer.empty() ? ReadStatus::Empty : ReadStatus::Read;
}

ReadStatus readOpenedFileInto(const UniqueFd& file, size_t size, std::string& room, size_t& got,
                              int& error, size_t nulProbe) {
    const size_t head = nulProbe > 0 && nulProbe < size ? nulProbe : size;
    if (room.size() < head)
        room.resize(head);
    int64_t done = readRange(file.get(), 0, head, room.data(), error);
    if (done == static_cast<int64_t>(head) && head < size &&
        std::memchr(room.data(), 0, head) == nullptr) {
        if (room.size() < size)
            room.resize(size);
        const int64_t rest = readRange(file.get(), done, size - head, room.data() + head, error);
        done = rest < 0 ? rest : done + rest;
    }
    got = done < 0 ? 0 : static_cast<size_t>(done);
    return done < 0 ? ReadStatus::Unreadable : got == 0 ? ReadStatus::Empty : ReadStatus::Read;
}

} // namespace kestrava::util
