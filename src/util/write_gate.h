// The one way this program writes to disk. A write starts from a root folder the user named (a
// searched top folder, the journal folder, the folder of a file being saved) and reaches its
// folder beneath that root with the kernel refusing every link on the way (openat2 with
// RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS, or a walk name by name with
// O_NOFOLLOW where the kernel has no openat2). Files are then created, renamed and removed by
// their bare names in that folder, so nothing written ever lands outside the roots.
#pragma once

#include "util/unique_fd.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace kestrava::util {

// A folder reached through the gate.
struct GatedFolder {
    UniqueFd fd;
    std::string path; // as the user knows it, for messages: "" or ending with "/"
    std::string real; // its absolute path without links, ending with "/" ("" when unknown)

    // The calls below take a bare name (no "/") and never follow a link at it. Each returns what
    // the system call returns, with errno set on failure.
    int openFile(const std::string& name, int flags, mode_t mode = 0) const;
    // A new file for writing (O_EXCL), or one written at its end, created when missing.
    int createFile(const std::string& name, mode_t mode, bool append = false) const;
    int appendToFile(const std::string& name, mode_t mode) const;
    int openSubfolder(const std::string& name) const;
    int makeSubfolder(const std::string& name, mode_t mode) const;
    int stat(const std::string& name, struct stat& info) const;
    int remove(const std::string& name) const;
    int removeSubfolder(const std::string& name) const;
    // Renames `name` here to `toName` in `to` (replacing what is there; with noReplace, never).
    int moveTo(const std::string& name, const GatedFolder& to, const std::string& toName,
               bool noReplace = false) const;
    // Gives the file `fromName` of `from` a second name here.
    int linkFrom(const GatedFolder& from, const std::string& fromName,
                 const std::string& name) const;
    // An unnamed file in this folder that vanishes when closed (O_TMPFILE).
    int openUnnamed() const;
};

// Opens a folder the user named, links in its own path followed, as the root of writes.
// False with errno set.
bool openRootFolder(const std::string& path, GatedFolder& folder);

// How the folders makeFolders creates are made: 0777 less the umask, or 0700 whatever the umask.
enum class NewFolderMode : uint8_t { Umask, Private };

// Opens the folder at `path`, first creating it and every missing parent (nothing followed
// within what it creates). False with errno set.
bool makeFolders(const std::string& path, NewFolderMode mode, GatedFolder& folder);

// True for a real folder owned by this user that no one else may write to.
bool isPrivateFolder(const struct stat& info);

// Opens `relative` (no "..", of any length; "" is base itself) beneath the folder `base` with
// `flags`, no link followed on the way or at its end. -1 with errno: ELOOP or EXDEV for a link
// or a ".." on the way.
int openBeneath(int base, std::string_view relative, int flags, mode_t mode = 0);

// The searched top folders of a replace (or the folders recorded by an undo journal): every
// folder written into must lie beneath one of them.
class WriteRoots {
  public:
    WriteRoots() = default;
    // Folders that cannot be opened are left out: nothing is written beneath them.
    explicit WriteRoots(const std::vector<std::string>& folders);
    WriteRoots(WriteRoots&&) noexcept = default;
    WriteRoots& operator=(WriteRoots&&) noexcept = default;

    // Opens the folder at `path` for writing when it lies beneath a root. With followInside, a
    // link on its path that leads to a place beneath a root is followed there; without, any link
    // is refused. False with errno: EXDEV when it is (or links lead) outside every root.
    bool openFolder(const std::string& path, GatedFolder& folder, bool followInside = true) const;
    // The roots' absolute paths without links, each ending with "/".
    std::vector<std::string> realPaths() const;

  private:
    bool openLexically(const std::string& path, GatedFolder& folder) const;
    bool openResolved(const std::string& path, GatedFolder& folder) const;
    std::vector<GatedFolder> m_roots;
};

// The text that names a file refused because links lead it outside the roots.
std::string outsideRootsText(const std::string& path);

} // namespace kestrava::util
