// Paths past the kernel's length limit, opened a stretch at a time.
#include "util/long_path.h"

#include "util/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>

namespace kestrava::util {

namespace {

int baseOf(const UniqueFd& folder) {
    return folder.isOpen() ? folder.get() : AT_FDCWD;
}

// Opens the folders at the start of a path until what remains, `rest`, is short enough for the
// kernel; `folder` stays closed when the whole path already is. Each stretch ends at a "/" and
// is opened with openat, which follows links and ".." in it just as open would; O_PATH needs
// only the search permission that open needs on those folders. False with errno set.
bool openNearFolder(const std::string& path, UniqueFd& folder, std::string& rest) {
    rest = path;
    while (rest.size() >= PATH_MAX) {
        const size_t slash = rest.rfind('/', PATH_MAX - 1);
        if (slash == std::string::npos) {
            errno = ENAMETOOLONG; // one name alone is too long: no folder can help
            return false;
        }
        const std::string stretch = slash == 0 ? "/" : rest.substr(0, slash);
        folder.reset(openat(baseOf(folder), stretch.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder.isOpen())
            return false;
        // What follows must stay relative to that folder, even after "//".
        rest.erase(0, std::min(rest.find_first_not_of('/', slash), rest.size()));
    }
    // A path ending in "/" just past a stretch names that folder itself.
    if (rest.empty() && folder.isOpen())
        rest = ".";
    return true;
}

} // namespace

int openLongPath(const std::string& path, int flags, mode_t mode) {
    UniqueFd folder;
    std::string rest;
    if (!openNearFolder(path, folder, rest))
        return -1;
    return openat(baseOf(folder), rest.c_str(), flags, mode);
}

bool statLongPath(const std::string& path, struct stat& info, bool followLinks) {
    UniqueFd folder;
    std::string rest;
    if (!openNearFolder(path, folder, rest))
        return false;
    return fstatat(baseOf(folder), rest.c_str(), &info, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace kestrava::util
