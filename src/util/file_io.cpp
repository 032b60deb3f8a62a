#include "util/file_io.h"

#include "util/long_path.h"
#include "util/unique_fd.h"
#include "util/write_gate.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <random>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace kestrava::util {
namespace {

constexpr size_t kNameMax = 255;
constexpr size_t kRandomLength = 6;
constexpr int kMaxTempAttempts = 100;

std::string errnoText(int err) {
    char buffer[256];
    return strerror_r(err, buffer, sizeof buffer); // GNU form: returns the text
}

bool isFolder(const std::string& folder) {
    struct stat st = {};
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string namePart(const std::string& fileName) {
    return fileName.substr(fileFolder(fileName).size());
}

std::string randomSuffix() {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // Seeded again in a forked child, which would otherwise draw the very names its parent and
    // its siblings draw, and remove or rename a temporary file that is not its own.
    thread_local std::mt19937_64 engine;
    thread_local pid_t seededIn = 0;
    if (seededIn != ::getpid()) {
        seededIn = ::getpid();
        engine.seed(std::random_device{}());
    }
    std::string suffix(kRandomLength, ' ');
    for (char& c : suffix)
        c = kChars[engine() % (sizeof kChars - 1)];
    return suffix;
}

// ".<name>.kestrava-tmp-XXXXXX", with the name shortened when the whole would pass NAME_MAX.
std::string tempName(const std::string& name) {
    const size_t room = kNameMax - 1 - kTempNameMarker.size() - kRandomLength;
    return "." + name.substr(0, room) + std::string(kTempNameMarker) + randomSuffix();
}

// Folders are reached through the write gate: names in them are created, checked and renamed
// relative to their descriptors, so a link planted in place of a folder or of a name in it is
// never followed by a write.
using Folder = GatedFolder;

std::string folderShown(const Folder& folder) {
    return folder.path.empty() ? "./" : folder.path;
}

// The temporary file beside the target; removed again unless it was renamed into place. Its
// folder must outlive it.
class TempFile {
  public:
    TempFile() = default;
    ~TempFile() {
        m_fd.close();
        if (m_folder != nullptr && !m_name.empty())
            m_folder->remove(m_name);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return m_fd.get(); }

    bool create(const Folder& folder, const std::string& name, mode_t mode, int& err) {
        m_folder = &folder;
        for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
            m_name = tempName(name);
            m_fd.reset(folder.openFile(m_name, O_WRONLY | O_CREAT | O_EXCL, mode));
            if (m_fd.get() >= 0)
                return true;
            err = errno;
            if (err != EEXIST)
                break;
        }
        m_name.clear();
        return false;
    }

    // Without `flush`, the content is left for a later flush of the whole file system.
    bool flushAndClose(int& err, bool flush = true) {
        if ((flush && ::fsync(m_fd.get()) != 0) || m_fd.close() != 0) {
            err = errno;
            return false;
        }
        return true;
    }

    bool renameOver(const std::string& target, int& err) {
        if (m_folder->moveTo(m_name, *m_folder, target) != 0) {
            err = errno;
            return false;
        }
        m_name.clear();
        return true;
    }

  private:
    const Folder* m_folder = nullptr;
    UniqueFd m_fd;
    std::string m_name;
};

// Why an existing target must not be replaced; empty when it may be. A file without any write
// bit is read-only whoever runs the program (root too), and stays refused even though its
// folder would let the rename through; devices or FIFOs are never swapped for a regular file.
std::string refusalOf(const Folder& folder, const std::string& name, const struct stat& original) {
    if (S_ISDIR(original.st_mode))
        return errnoText(EISDIR);
    if (!S_ISREG(original.st_mode))
        return "Not a regular file";
    if ((original.st_mode & 0222) == 0)
        return errnoText(EACCES);
    if (::faccessat(folder.fd.get(), name.c_str(), W_OK, AT_EACCESS) != 0)
        return errnoText(errno);
    return {};
}

#ifdef KES_FAULT_HOOKS
// Test builds only: KESTRAVA_FAULT=after-temp-write:abort (or :pause, which stops the process)
// acts once the temporary file is complete and flushed, before it is renamed, so tests can show
// what a kill at that moment leaves behind.
// ":abort:<name>" aborts only at the file of that name. Other points: after-keep (the old content
// is kept, the rename not made) and after-rewrite (a rewrite through the inode is complete, its
// backup still there).
void faultPoint(const std::string& point, const std::string& name = "") {
    const char* fault = ::getenv("KESTRAVA_FAULT");
    if (fault == nullptr)
        return;
    if (fault == point + ":abort" || fault == point + ":abort:" + name)
        std::abort();
    if (fault == point + ":pause")
        ::raise(SIGSTOP);
}

// KESTRAVA_FAULT=vanish-before-keep:<name> deletes that file just before its old content is
// kept, as another program might between the read and the replacement.
void faultVanish(const GatedFolder& folder, const std::string& name) {
    const char* fault = ::getenv("KESTRAVA_FAULT");
    if (fault != nullptr && fault == "vanish-before-keep:" + name)
        folder.remove(name);
}

// KESTRAVA_FAULT=disk-full:<name> fails the writing of that one name as a full disk would.
bool faultFails(const std::string& name) {
    const char* fault = ::getenv("KESTRAVA_FAULT");
    return fault != nullptr && fault == "disk-full:" + name;
}

// KESTRAVA_FAULT=write:short lets each write call take at most a few bytes (as a pipe or a
// signal may); write:nospace lets no file grow past 4 KiB, as a nearly full disk would.
ssize_t writeCall(int fd, const char* data, size_t size) {
    constexpr off_t kRoom = 4096;
    const char* fault = ::getenv("KESTRAVA_FAULT");
    const std::string_view kind = fault == nullptr ? "" : fault;
    struct stat st = {};
    if (kind == "write:short")
        size = std::min<size_t>(size, 7);
    if (kind == "write:nospace" && ::fstat(fd, &st) == 0) {
        if (st.st_size >= kRoom) {
            errno = ENOSPC;
            return -1;
        }
        size = std::min<size_t>(size, static_cast<size_t>(kRoom - st.st_size));
    }
    return ::write(fd, data, size);
}
#else
void faultPoint(const std::string&, const std::string& = "") {}
void faultVanish(const GatedFolder&, const std::string&) {}
bool faultFails(const std::string&) {
    return false;
}
ssize_t writeCall(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}
#endif

} // namespace

bool writeAll(int fd, std::string_view data, int& err) {
    constexpr size_t kChunk = size_t{1} << 30;
    while (!data.empty()) {
        const ssize_t written = writeCall(fd, data.data(), std::min(data.size(), kChunk));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            err = written < 0 ? errno : EIO;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool copyData(int from, int to, int& err) {
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(from, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            err = errno;
            return false;
        }
        if (got == 0)
            return true;
        if (!writeAll(to, std::string_view(buffer, static_cast<size_t>(got)), err))
            return false;
        at += got;
    }
}

namespace {

// Puts text then tail in place of an open file's content (same inode), flushed. The old bytes
// are written over, not freed first, so a nearly full disk needs room only for what grows.
bool overwriteOpened(int fd, std::string_view text, std::string_view tail, int& err) {
    if (::lseek(fd, 0, SEEK_SET) != 0 || !writeAll(fd, text, err) || !writeAll(fd, tail, err) ||
        ::ftruncate(fd, static_cast<off_t>(text.size() + tail.size())) != 0 || ::fsync(fd) != 0) {
        err = err != 0 ? err : errno;
        return false;
    }
    return true;
}

// Puts the backup's bytes back: the failed new text is freed first, so they fit again.
bool restore(int fd, int backup) {
    int err = 0;
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 && copyData(backup, fd, err) &&
           ::fsync(fd) == 0;
}

// Owner first: a change of owner clears set-id bits, which the chmod then restores. `ownerKept`
// tells whether the file could be given the original's owner and group.
bool copyOwnerAndMode(int fd, const struct stat& original, bool& ownerKept, int& err) {
    struct stat mine = {};
    ownerKept =
        ::fstat(fd, &mine) == 0 && mine.st_uid == original.st_uid && mine.st_gid == original.st_gid;
    if (!ownerKept) {
        ownerKept = ::fchown(fd, original.st_uid, original.st_gid) == 0;
        if (!ownerKept) [[maybe_unused]]
            const int groupOnly = ::fchown(fd, static_cast<uid_t>(-1), original.st_gid);
    }
    if (::fchmod(fd, original.st_mode & 07777) != 0) {
        err = errno;
        return false;
    }
    return true;
}

// Extended attributes (ACLs among them) of the file being replaced go onto its replacement.
// Attributes the kernel manages itself (security.*, trusted.*) are left to it when we may not
// set them; a file system without attributes has nothing to keep.
bool copyExtendedAttributes(const Folder& folder, const std::string& name, int to, int& err) {
    // Read through a descriptor of the very name, never through a link put in its place.
    const UniqueFd file(::openat(folder.fd.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!file.isOpen()) {
        err = errno;
        return false;
    }
    const std::string from = "/proc/self/fd/" + std::to_string(file.get());
    std::vector<char> names(
        static_cast<size_t>(std::max<ssize_t>(::listxattr(from.c_str(), nullptr, 0), 0)));
    const ssize_t listed =
        names.empty() ? 0 : ::listxattr(from.c_str(), names.data(), names.size());
    for (ssize_t at = 0; at < listed;) {
        const std::string key(names.data() + at);
        at += static_cast<ssize_t>(key.size()) + 1;
        std::vector<char> value(static_cast<size_t>(
            std::max<ssize_t>(::getxattr(from.c_str(), key.c_str(), nullptr, 0), 0)));
        const ssize_t size = ::getxattr(from.c_str(), key.c_str(), value.data(), value.size());
        if (size < 0 ||
            ::fsetxattr(to, key.c_str(), value.data(), static_cast<size_t>(size), 0) == 0)
            continue;
        const bool managed = key.starts_with("security.") || key.starts_with("trusted.");
        if (!(managed && (errno == EPERM || errno == ENOTSUP))) {
            err = errno;
            return false;
        }
    }
    return true;
}

// Makes the rename itself durable. The new content is already in place, so a folder that cannot
// be synced (some file systems refuse) is no reason to report failure.
void syncFolderNow(const std::string& folder) {
    UniqueFd dir(openLongPath(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

thread_local FolderSyncBatch* tActiveBatch = nullptr;

void syncFolder(const std::string& folder) {
    if (tActiveBatch != nullptr)
        tActiveBatch->note(folder);
    else
        syncFolderNow(folder);
}

WriteOutcome fail(std::string& error, const std::string& what, const std::string& reason) {
    error = what + ": " + reason;
    return WriteOutcome::Failed;
}

WriteOutcome refuse(std::string& error, std::string reason) {
    error = std::move(reason);
    return WriteOutcome::Refused;
}

// SIGINT and SIGTERM that arrive while a file is rewritten through its inode wait until the
// rewrite is on disk. The low bits count the rewrites under way, the bits above hold a signal
// that waits; one atomic word, so a signal can never slip between the check and the release.
std::atomic<uint32_t> gHeldSignals{0};
constexpr uint32_t kHeldMask = 0xffff;
constexpr int kPendingShift = 16;

class SignalsHeld {
  public:
    SignalsHeld() { gHeldSignals.fetch_add(1); }
    ~SignalsHeld() {
        uint32_t state = gHeldSignals.load();
        uint32_t next = 0;
        do {
            next = (state & kHeldMask) == 1 ? 0 : state - 1;
        } while (!gHeldSignals.compare_exchange_weak(state, next));
        if ((state & kHeldMask) == 1 && (state >> kPendingShift) != 0)
            ::raise(static_cast<int>(state >> kPendingShift));
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
};

// Where a write goes, what it must keep of the file it replaces, and what that file must still
// be when it is replaced.
struct WritePlan {
    Folder folder;
    std::string name;  // the target's name in Folder
    std::string shown; // the name the user knows, for messages
    struct stat original = {};
    bool exists = false;
    bool keepOwner = true; // a kesReplace copy may take ours; a replaced file must keep its own
    std::optional<FileIdentity> expected; // the file that was read, when replacing one
    OldContentKeeper* keeper = nullptr;   // told before the old content is lost
};

std::string fullName(const WritePlan& plan) {
    return plan.folder.path + plan.name;
}

bool lookUp(WritePlan& plan, int& err) {
    plan.exists = plan.folder.stat(plan.name, plan.original) == 0;
    err = plan.exists || errno == ENOENT ? 0 : errno;
    return err == 0;
}

bool stillAsRead(const WritePlan& plan) {
    return !plan.expected || (plan.exists && S_ISREG(plan.original.st_mode) &&
                              identityOf(plan.original) == *plan.expected);
}

const char* const kChangedText = "changed while it was being replaced; left as it is";

// The keeper's turn, the last step before the old content goes.
WriteOutcome keepOld(const WritePlan& plan, const struct stat* original, int rewrittenFd,
                     std::string& error) {
    if (plan.keeper == nullptr)
        return WriteOutcome::Written;
    faultVanish(plan.folder, plan.name);
    const std::string path = fullName(plan);
    const WriteOutcome kept =
        plan.keeper->keepOldContent({plan.folder, plan.name, path, original, rewrittenFd}, error);
    if (kept == WriteOutcome::Refused)
        error = kChangedText; // it went while its old content was being kept
    return kept;
}

// An advisory lock on the file a write replaces, held from its last check to its replacement:
// another run of this program that read the same file waits for it, then finds the file changed
// and leaves it, so neither run's change is lost. A file that is not there takes no lock (the
// check refuses it); one that another program keeps locked for long is left as it is.
class TargetLock {
  public:
    bool lock(const Folder& folder, const std::string& name) {
        constexpr useconds_t kLongestWait = 10'000'000;
        m_fd.reset(::openat(folder.fd.get(), name.c_str(),
                            O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
        // Another run holds it for one rename: short waits first, growing to 10 ms.
        for (useconds_t step = 50, waited = 0; m_fd.isOpen() && waited < kLongestWait;
             waited += step, step = std::min<useconds_t>(step * 2, 10'000)) {
            if (::flock(m_fd.get(), LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
                return true;
            ::usleep(step);
        }
        return !m_fd.isOpen();
    }

  private:
    UniqueFd m_fd;
};

const char* const kLockedText = "is locked by another program; left as it is";

// Looks the target up again and refuses it when it is no longer the file that was read, or may
// not be replaced.
WriteOutcome checkTarget(WritePlan& plan, std::string& error) {
    int err = 0;
    if (!lookUp(plan, err))
        return fail(error, "Cannot write " + plan.shown, errnoText(err));
    if (!stillAsRead(plan))
        return refuse(error, kChangedText);
    if (const std::string refusal =
            plan.exists ? refusalOf(plan.folder, plan.name, plan.original) : "";
        !refusal.empty())
        return refuse(error, refusal);
    return WriteOutcome::Written;
}

// Text then tail into a temporary file beside the target, with the original's mode, owner
// (where allowed; `ownerKept` tells) and attributes, flushed to disk.
bool writeTemporary(const WritePlan& plan, std::string_view text, std::string_view tail,
                    TempFile& temp, bool& ownerKept, std::string& error, bool flush = true) {
    int err = 0;
    ownerKept = true;
    // An existing file's content must not show through looser bits while it is being written.
    if (!temp.create(plan.folder, plan.name, plan.exists ? 0600 : 0666, err)) {
        fail(error, "Cannot create a temporary file in " + folderShown(plan.folder),
             errnoText(err));
        return false;
    }
    if (faultFails(plan.name))
        err = ENOSPC;
    if (err != 0 || !writeAll(temp.fd(), text, err) || !writeAll(temp.fd(), tail, err) ||
        (plan.exists && !copyOwnerAndMode(temp.fd(), plan.original, ownerKept, err)) ||
        (plan.exists && !copyExtendedAttributes(plan.folder, plan.name, temp.fd(), err)) ||
        !temp.flushAndClose(err, flush)) {
        fail(error, "Cannot write " + plan.shown, errnoText(err));
        return false;
    }
    return true;
}

// Renames the temporary file over the target, once the target is checked to be still the file
// that was read: another program's change made meanwhile is never overwritten.
WriteOutcome renameTemporary(WritePlan& plan, TempFile& temp, std::string& error) {
    faultPoint("after-temp-write");
    TargetLock lock;
    if (!lock.lock(plan.folder, plan.name))
        return refuse(error, kLockedText);
    int err = 0;
    if (!lookUp(plan, err))
        return fail(error, "Cannot replace " + plan.shown, errnoText(err));
    if (!stillAsRead(plan))
        return refuse(error, kChangedText);
    if (const WriteOutcome kept = keepOld(plan, plan.exists ? &plan.original : nullptr, -1, error);
        kept != WriteOutcome::Written)
        return kept;
    faultPoint("after-keep", plan.name);
    if (!temp.renameOver(plan.name, err))
        return fail(error, "Cannot replace " + plan.shown, errnoText(err));
    syncFolder(plan.folder.path);
    return WriteOutcome::Written;
}

// The backup kept beside a file while it is rewritten through its inode; removed again unless
// it is the only copy left of the old content.
class BackupFile {
  public:
    BackupFile(const Folder& folder, std::string name)
        : m_folder(folder), m_name(std::move(name)) {}
    ~BackupFile() {
        m_fd.close();
        if (m_created && !m_kept)
            m_folder.remove(m_name);
    }
    BackupFile(const BackupFile&) = delete;
    BackupFile& operator=(const BackupFile&) = delete;

    int fd() const { return m_fd.get(); }
    std::string path() const { return m_folder.path + m_name; }
    bool create(int& err) {
        m_fd.reset(m_folder.openFile(m_name, O_RDWR | O_CREAT | O_EXCL, 0600));
        m_created = m_fd.isOpen();
        err = m_created ? 0 : errno;
        return m_created;
    }
    void keep() { m_kept = true; }

  private:
    const Folder& m_folder;
    std::string m_name;
    UniqueFd m_fd;
    bool m_created = false;
    bool m_kept = false;
};

// Saves the open file's content into a new backup and makes both the content and its name
// durable before anything is overwritten.
WriteOutcome saveBackup(const WritePlan& plan, int original, BackupFile& backup,
                        std::string& error) {
    int err = 0;
    if (!backup.create(err)) {
        if (err == EEXIST)
            return refuse(error, "an earlier replacement was interrupted and its old content is "
                                 "still in " +
                                     backup.path() + "; left as it is");
        return fail(error, "Cannot create a backup in " + folderShown(plan.folder), errnoText(err));
    }
    if (!copyData(original, backup.fd(), err) || ::fsync(backup.fd()) != 0)
        return fail(error, "Cannot write " + backup.path(), errnoText(err != 0 ? err : errno));
    syncFolderNow(plan.folder.path);
    return WriteOutcome::Written;
}

// A file whose names or owner must stay as they are (several hard links, an owner we cannot
// give a new file) is rewritten through its own inode, as an editor does. Its old content is
// first saved to a visible, flushed backup beside it, which stays should the rewrite fail and
// its old content not go back, or should the process be killed meanwhile; SIGINT and SIGTERM
// wait until the rewrite is on disk.
WriteOutcome rewriteInPlace(const WritePlan& plan, std::string_view text, std::string_view tail,
                            std::string& error) {
    if (plan.name.size() + kBackupNameSuffix.size() > kNameMax)
        return fail(error, "Cannot write " + plan.shown, errnoText(ENAMETOOLONG));
    TargetLock lock;
    if (!lock.lock(plan.folder, plan.name))
        return refuse(error, kLockedText);
    const UniqueFd original(plan.folder.openFile(plan.name, O_RDWR));
    struct stat now = {};
    if (!original.isOpen() && errno == ENOENT && plan.expected)
        return refuse(error, kChangedText);
    if (!original.isOpen() || ::fstat(original.get(), &now) != 0)
        return fail(error, "Cannot write " + plan.shown, errnoText(errno));
    if (plan.expected && identityOf(now) != *plan.expected)
        return refuse(error, kChangedText);
    if (const WriteOutcome kept = keepOld(plan, &now, original.get(), error);
        kept != WriteOutcome::Written)
        return kept;
    // Held before the backup exists and released after it is gone (it is destroyed first).
    const SignalsHeld held;
    BackupFile backup(plan.folder, plan.name + std::string(kBackupNameSuffix));
    if (const WriteOutcome saved = saveBackup(plan, original.get(), backup, error);
        saved != WriteOutcome::Written)
        return saved;
    int err = 0;
    faultPoint("mid-rewrite");
    if (overwriteOpened(original.get(), text, tail, err)) {
        faultPoint("after-rewrite", plan.name);
        syncFolder(plan.folder.path);
        return WriteOutcome::Written;
    }
    if (!restore(original.get(), backup.fd())) {
        backup.keep();
        return fail(error, "Cannot write " + plan.shown,
                    errnoText(err) + "; the original content is kept in " + backup.path());
    }
    return fail(error, "Cannot write " + plan.shown, errnoText(err));
}

bool hasOtherNames(const WritePlan& plan) {
    return plan.exists && plan.keepOwner && plan.original.st_nlink > 1;
}

// Writes a checked plan: through a temporary file renamed over the target, or through the
// target's inode where its names or owner must stay.
WriteOutcome writePlanned(WritePlan& plan, std::string_view text, std::string_view tail,
                          std::string& error) {
    if (hasOtherNames(plan))
        return rewriteInPlace(plan, text, tail, error);
    bool ownerKept = true;
    {
        TempFile temp;
        if (!writeTemporary(plan, text, tail, temp, ownerKept, error))
            return WriteOutcome::Failed;
        if (ownerKept || !plan.keepOwner)
            return renameTemporary(plan, temp, error);
    }
    return rewriteInPlace(plan, text, tail, error);
}

WriteOutcome writeChecked(WritePlan& plan, std::string_view text, std::string_view tail,
                          std::string& error) {
    const WriteOutcome checked = checkTarget(plan, error);
    return checked == WriteOutcome::Written ? writePlanned(plan, text, tail, error) : checked;
}

// A plan for a name as given: past any links, to the name that holds the data.
bool planPath(const std::string& fileName, WritePlan& plan, std::string& error) {
    if (fileName.empty()) {
        fail(error, "Cannot write", "No file name given");
        return false;
    }
    int err = 0;
    std::string target;
    if (!resolveLinks(fileName, target, err)) {
        fail(error, "Cannot write " + fileName, errnoText(err));
        return false;
    }
    // The user named this file: its folder is the root of the write.
    if (!openRootFolder(fileFolder(target), plan.folder)) {
        fail(error, "Cannot create a temporary file in " + folderShown(plan.folder),
             errnoText(errno));
        return false;
    }
    plan.name = namePart(target);
    plan.shown = fileName;
    return true;
}

// Opens a folder to write into beneath the roots; a folder that links lead outside them is
// refused, naming the file that was to be written (`shown`).
WriteOutcome openGated(const WriteRoots& roots, const std::string& path, Folder& folder,
                       const std::string& shown, std::string& error) {
    if (roots.openFolder(path, folder))
        return WriteOutcome::Written;
    if (errno == EXDEV || errno == ELOOP)
        return refuse(error, outsideRootsText(shown));
    if (errno == ENOENT)
        return refuse(error, kChangedText);
    return fail(error, "Cannot write " + shown, errnoText(errno));
}

// A plan for the very file a read opened.
WriteOutcome planRead(const WriteRoots& roots, const ReadTarget& read, WritePlan& plan,
                      std::string& error) {
    plan.name = namePart(read.name);
    plan.shown = read.name;
    plan.expected = read.identity;
    return openGated(roots, fileFolder(read.name), plan.folder, read.name, error);
}

WriteOutcome writePath(const std::string& fileName, std::string_view text, std::string_view tail,
                       std::string& error) {
    WritePlan plan;
    if (!planPath(fileName, plan, error))
        return WriteOutcome::Failed;
    const WriteOutcome outcome = writeChecked(plan, text, tail, error);
    if (outcome == WriteOutcome::Refused)
        error = "Cannot write " + fileName + ": " + error;
    return outcome;
}

// The subfolder of a copy of `file`, created or opened without following a link.
WriteOutcome openSubfolder(const WriteRoots& roots, const std::string& folder,
                           const std::string& subfolder, const std::string& file, Folder& opened,
                           std::string& error) {
    Folder parent;
    if (const WriteOutcome gated = openGated(roots, folder, parent, file, error);
        gated != WriteOutcome::Written)
        return gated;
    const std::string shown = parent.path + subfolder;
    if (parent.makeSubfolder(subfolder, 0777) != 0 && errno != EEXIST)
        return fail(error, "Unable to create directory " + shown, errnoText(errno));
    opened.path = shown + "/";
    opened.real = parent.real.empty() ? "" : parent.real + subfolder + "/";
    opened.fd.reset(parent.openSubfolder(subfolder));
    if (opened.fd.isOpen())
        return WriteOutcome::Written;
    if (errno == ELOOP || errno == ENOTDIR)
        return refuse(error,
                      shown + " is not a folder but a link or a file; nothing is written into it");
    return fail(error, "Unable to open directory " + shown, errnoText(errno));
}

} // namespace

FolderSyncBatch::FolderSyncBatch() : m_outer(tActiveBatch) {
    tActiveBatch = this;
}

FolderSyncBatch::~FolderSyncBatch() {
    if (!m_pending.empty())
        syncFolderNow(m_pending);
    tActiveBatch = m_outer;
}

void FolderSyncBatch::note(const std::string& folder) {
    // "" is the current folder; kept as "." so that an empty m_pending means nothing is waiting.
    const std::string name = folder.empty() ? "." : folder;
    if (name == m_pending)
        return;
    if (!m_pending.empty())
        syncFolderNow(m_pending);
    m_pending = name;
}

struct PreparedWrite::State {
    WritePlan plan;
    bool flushed = true; // the temporary file's content is on disk
    TempFile temp;       // after the plan: removed while its folder is still open
};

PreparedWrite::PreparedWrite() = default;
PreparedWrite::~PreparedWrite() = default;
PreparedWrite::PreparedWrite(PreparedWrite&&) noexcept = default;
PreparedWrite& PreparedWrite::operator=(PreparedWrite&&) noexcept = default;

bool PreparedWrite::prepare(const WriteRoots& roots, const ReadTarget& read, std::string_view text,
                            bool flush) {
    m_state.reset();
    try {
        auto state = std::make_unique<State>();
        std::string error;
        bool ownerKept = true;
        if (planRead(roots, read, state->plan, error) != WriteOutcome::Written ||
            checkTarget(state->plan, error) != WriteOutcome::Written ||
            hasOtherNames(state->plan) ||
            !writeTemporary(state->plan, text, {}, state->temp, ownerKept, error, flush) ||
            !ownerKept)
            return false;
        state->flushed = flush;
        m_state = std::move(state);
        return true;
    } catch (const std::exception&) {
        return false; // the write is simply done the usual way later
    }
}

bool flushPreparedWrites(const std::vector<PreparedWrite*>& writes, std::string& error) {
    std::vector<dev_t> flushed;
    for (PreparedWrite* write : writes) {
        PreparedWrite::State* state = write->m_state.get();
        if (state == nullptr || state->flushed)
            continue;
        struct stat folder = {};
        if (::fstat(state->plan.folder.fd.get(), &folder) != 0 ||
            (std::find(flushed.begin(), flushed.end(), folder.st_dev) == flushed.end() &&
             ::syncfs(state->plan.folder.fd.get()) != 0)) {
            error = "Cannot write " + state->plan.shown + ": " + errnoText(errno);
            return false;
        }
        if (std::find(flushed.begin(), flushed.end(), folder.st_dev) == flushed.end())
            flushed.push_back(folder.st_dev);
        state->flushed = true;
    }
    return true;
}

WriteOutcome PreparedWrite::keepOldContent(OldContentKeeper& keeper, std::string& errorMessage) {
    errorMessage.clear();
    if (!m_state)
        return fail(errorMessage, "Cannot write", "Nothing was prepared");
    WritePlan& plan = m_state->plan;
    int err = 0;
    if (!lookUp(plan, err))
        return fail(errorMessage, "Cannot replace " + plan.shown, errnoText(err));
    if (!stillAsRead(plan))
        return refuse(errorMessage, kChangedText);
    plan.keeper = &keeper;
    const WriteOutcome kept = keepOld(plan, &plan.original, -1, errorMessage);
    plan.keeper = nullptr;
    return kept;
}

WriteOutcome PreparedWrite::commit(std::string& errorMessage, OldContentKeeper* keeper) {
    errorMessage.clear();
    if (!m_state)
        return fail(errorMessage, "Cannot write", "Nothing was prepared");
    const std::unique_ptr<State> state = std::move(m_state);
    if (!state->flushed) // never renamed into place before its content is on disk
        return fail(errorMessage, "Cannot write " + state->plan.shown, "not flushed");
    state->plan.keeper = keeper;
    try {
        return renameTemporary(state->plan, state->temp, errorMessage);
    } catch (const std::exception& e) {
        errorMessage = "Cannot write " + state->plan.shown + ": " + e.what();
    }
    return WriteOutcome::Failed;
}

bool deferSignal(int signalNumber) noexcept {
    uint32_t state = gHeldSignals.load();
    do {
        if ((state & kHeldMask) == 0)
            return false;
    } while (!gHeldSignals.compare_exchange_weak(
        state, (state & kHeldMask) | (static_cast<uint32_t>(signalNumber) << kPendingShift)));
    return true;
}

std::string fileFolder(const std::string& fileName) {
    const size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}

void writeCompleteTextFile(const std::string& fileName, std::string_view text) {
    if (fileName.empty())
        throw std::runtime_error("ldiWriteCompleteTextFile requires a non-blank filename.");
    // The existing file is never deleted beforehand: the rename replaces it only once the new
    // text is safely on disk.
    const std::string folder = fileFolder(fileName);
    if (!isFolder(folder))
        throw std::runtime_error("Directory \"" + folder + "\" does not exist.");
    std::string error;
    if (writePath(fileName, text, "\r\n", error) != WriteOutcome::Written)
        throw std::runtime_error(error);
}

bool writeFileAtomically(const std::string& fileName, std::string_view text,
                         std::string& errorMessage) {
    errorMessage.clear();
    try {
        return writePath(fileName, text, {}, errorMessage) == WriteOutcome::Written;
    } catch (const std::exception& e) {
        errorMessage = "Cannot write " + fileName + ": " + e.what();
    }
    return false;
}

WriteOutcome replaceReadFile(const WriteRoots& roots, const ReadTarget& read, std::string_view text,
                             std::string& message, OldContentKeeper* keeper) {
    message.clear();
    try {
        WritePlan plan;
        plan.keeper = keeper;
        const WriteOutcome planned = planRead(roots, read, plan, message);
        return planned == WriteOutcome::Written ? writeChecked(plan, text, {}, message) : planned;
    } catch (const std::exception& e) {
        message = "Cannot write " + read.name + ": " + e.what();
    }
    return WriteOutcome::Failed;
}

WriteOutcome writeIntoSubfolder(const WriteRoots& roots, const std::string& folder,
                                const std::string& subfolder, const std::string& name,
                                std::string_view text, std::string& message,
                                OldContentKeeper* keeper) {
    message.clear();
    try {
        WritePlan plan;
        plan.keeper = keeper;
        if (const WriteOutcome opened =
                openSubfolder(roots, folder, subfolder, folder + name, plan.folder, message);
            opened != WriteOutcome::Written)
            return opened;
        plan.name = name;
        plan.shown = fullName(plan);
        plan.keepOwner = false;
        int err = 0;
        if (!lookUp(plan, err))
            return fail(message, "Cannot write " + plan.shown, errnoText(err));
        if (plan.exists && !S_ISREG(plan.original.st_mode))
            return refuse(message, plan.shown + " is a link or not a regular file; not replaced");
        return writeChecked(plan, text, {}, message);
    } catch (const std::exception& e) {
        message = "Cannot write " + folder + subfolder + "/" + name + ": " + e.what();
    }
    return WriteOutcome::Failed;
}

bool forceFileFolder(const std::string& fileName) {
    try {
        const std::string folder = fileFolder(fileName);
        GatedFolder made;
        return !folder.empty() &&
               (isFolder(folder) || makeFolders(folder, NewFolderMode::Umask, made));
    } catch (...) {
        return false;
    }
}

WriteOutcome writeIntoFolder(const GatedFolder& folder, const std::string& name,
                             std::string_view text, std::string& message) {
    message.clear();
    try {
        WritePlan plan;
        plan.folder.fd.reset(::fcntl(folder.fd.get(), F_DUPFD_CLOEXEC, 0));
        plan.folder.path = folder.path;
        plan.folder.real = folder.real;
        plan.name = name;
        plan.shown = fullName(plan);
        return writeChecked(plan, text, {}, message);
    } catch (const std::exception& e) {
        message = "Cannot write " + name + ": " + e.what();
    }
    return WriteOutcome::Failed;
}

} // namespace kestrava::util
