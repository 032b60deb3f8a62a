#include "util/ldiFileIO.h"

#include "util/ldiFileHandle.h"
#include "util/long_path.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <random>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace kes {
namespace {

constexpr size_t kNameMax = 255;
constexpr size_t kRandomLength = 6;
constexpr int kMaxTempAttempts = 100;

std::string ErrnoText(int err) {
    char buffer[256];
    return strerror_r(err, buffer, sizeof buffer); // GNU form: returns the text
}

bool IsFolder(const std::string& folder) {
    struct stat st {};
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string NamePart(const std::string& fileName) {
    return fileName.substr(ldiFileFolder(fileName).size());
}

std::string RandomSuffix() {
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
std::string TempName(const std::string& name) {
    const size_t room = kNameMax - 1 - kTempNameMarker.size() - kRandomLength;
    return "." + name.substr(0, room) + std::string(kTempNameMarker) + RandomSuffix();
}

// A folder held open: names in it are created, checked and renamed relative to its descriptor,
// so a link planted in place of the folder or of a name in it is never followed by a write.
struct TFolder {
    TFileHandle Fd;
    std::string Path; // as given, for messages and flushes: "" or ending with "/"
};

bool OpenFolder(const std::string& path, TFolder& folder, int& err) {
    folder.Path = path;
    folder.Fd.Reset(ldiOpenPath(path.empty() ? "." : path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    err = folder.Fd.IsOpen() ? 0 : errno;
    return folder.Fd.IsOpen();
}

std::string FolderShown(const TFolder& folder) {
    return folder.Path.empty() ? "./" : folder.Path;
}

// The temporary file beside the target; removed again unless it was renamed into place. Its
// folder must outlive it.
class TTempFile {
  public:
    TTempFile() = default;
    ~TTempFile() {
        fd_.Close();
        if (folder_ != nullptr && !name_.empty())
            ::unlinkat(folder_->Fd.Get(), name_.c_str(), 0);
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    int Fd() const { return fd_.Get(); }

    bool Create(const TFolder& folder, const std::string& name, mode_t mode, int& err) {
        folder_ = &folder;
        for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
            name_ = TempName(name);
            fd_.Reset(::openat(folder.Fd.Get(), name_.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
            if (fd_.Get() >= 0)
                return true;
            err = errno;
            if (err != EEXIST)
                break;
        }
        name_.clear();
        return false;
    }

    bool FlushAndClose(int& err) {
        if (::fsync(fd_.Get()) != 0 || fd_.Close() != 0) {
            err = errno;
            return false;
        }
        return true;
    }

    bool RenameOver(const std::string& target, int& err) {
        const int folder = folder_->Fd.Get();
        if (::renameat(folder, name_.c_str(), folder, target.c_str()) != 0) {
            err = errno;
            return false;
        }
        name_.clear();
        return true;
    }

  private:
    const TFolder* folder_ = nullptr;
    TFileHandle fd_;
    std::string name_;
};

// Why an existing target must not be replaced; empty when it may be. A file without any write
// bit is read-only whoever runs the program (root too), and stays refused even though its
// folder would let the rename through; devices or FIFOs are never swapped for a regular file.
std::string RefusalOf(const TFolder& folder, const std::string& name, const struct stat& original) {
    if (S_ISDIR(original.st_mode))
        return ErrnoText(EISDIR);
    if (!S_ISREG(original.st_mode))
        return "Not a regular file";
    if ((original.st_mode & 0222) == 0)
        return ErrnoText(EACCES);
    if (::faccessat(folder.Fd.Get(), name.c_str(), W_OK, AT_EACCESS) != 0)
        return ErrnoText(errno);
    return {};
}

#ifdef KES_FAULT_HOOKS
// Test builds only: KESTRAVA_FAULT=after-temp-write:abort (or :pause, which stops the process)
// acts once the temporary file is complete and flushed, before it is renamed, so tests can show
// what a kill at that moment leaves behind.
void FaultPoint(const std::string& point) {
    const char* fault = ::getenv("KESTRAVA_FAULT");
    if (fault == nullptr)
        return;
    if (fault == point + ":abort")
        std::abort();
    if (fault == point + ":pause")
        ::raise(SIGSTOP);
}

// KESTRAVA_FAULT=disk-full:<name> fails the writing of that one name as a full disk would.
bool FaultFails(const std::string& name) {
    const char* fault = ::getenv("KESTRAVA_FAULT");
    return fault != nullptr && fault == "disk-full:" + name;
}

// KESTRAVA_FAULT=write:short lets each write call take at most a few bytes (as a pipe or a
// signal may); write:nospace lets no file grow past 4 KiB, as a nearly full disk would.
ssize_t WriteCall(int fd, const char* data, size_t size) {
    constexpr off_t kRoom = 4096;
    const char* fault = ::getenv("KESTRAVA_FAULT");
    const std::string_view kind = fault == nullptr ? "" : fault;
    struct stat st {};
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
void FaultPoint(const std::string&) {}
bool FaultFails(const std::string&) {
    return false;
}
ssize_t WriteCall(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}
#endif

bool WriteAll(int fd, std::string_view data, int& err) {
    constexpr size_t kChunk = size_t{1} << 30;
    while (!data.empty()) {
        const ssize_t written = WriteCall(fd, data.data(), std::min(data.size(), kChunk));
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

// Copies everything from one open file, from its start, to another.
bool CopyData(int from, int to, int& err) {
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
        if (!WriteAll(to, std::string_view(buffer, static_cast<size_t>(got)), err))
            return false;
        at += got;
    }
}

// Puts text then tail in place of an open file's content (same inode), flushed. The old bytes
// are written over, not freed first, so a nearly full disk needs room only for what grows.
bool OverwriteOpened(int fd, std::string_view text, std::string_view tail, int& err) {
    if (::lseek(fd, 0, SEEK_SET) != 0 || !WriteAll(fd, text, err) || !WriteAll(fd, tail, err) ||
        ::ftruncate(fd, static_cast<off_t>(text.size() + tail.size())) != 0 || ::fsync(fd) != 0) {
        err = err != 0 ? err : errno;
        return false;
    }
    return true;
}

// Puts the backup's bytes back: the failed new text is freed first, so they fit again.
bool Restore(int fd, int backup) {
    int err = 0;
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 && CopyData(backup, fd, err) &&
           ::fsync(fd) == 0;
}

// Owner first: a change of owner clears set-id bits, which the chmod then restores. `ownerKept`
// tells whether the file could be given the original's owner and group.
bool CopyOwnerAndMode(int fd, const struct stat& original, bool& ownerKept, int& err) {
    struct stat mine {};
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
bool CopyExtendedAttributes(const TFolder& folder, const std::string& name, int to, int& err) {
    // Read through a descriptor of the very name, never through a link put in its place.
    const TFileHandle file(
        ::openat(folder.Fd.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!file.IsOpen()) {
        err = errno;
        return false;
    }
    const std::string from = "/proc/self/fd/" + std::to_string(file.Get());
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
void SyncFolderNow(const std::string& folder) {
    TFileHandle dir(ldiOpenPath(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
}

thread_local TFolderSyncBatch* tActiveBatch = nullptr;

void SyncFolder(const std::string& folder) {
    if (tActiveBatch != nullptr)
        tActiveBatch->Note(folder);
    else
        SyncFolderNow(folder);
}

TWriteOutcome Fail(std::string& error, const std::string& what, const std::string& reason) {
    error = what + ": " + reason;
    return woFailed;
}

TWriteOutcome Refuse(std::string& error, std::string reason) {
    error = std::move(reason);
    return woRefused;
}

// SIGINT and SIGTERM that arrive while a file is rewritten through its inode wait until the
// rewrite is on disk. The low bits count the rewrites under way, the bits above hold a signal
// that waits; one atomic word, so a signal can never slip between the check and the release.
std::atomic<uint32_t> gHeldSignals{0};
constexpr uint32_t kHeldMask = 0xffff;
constexpr int kPendingShift = 16;

class TSignalsHeld {
  public:
    TSignalsHeld() { gHeldSignals.fetch_add(1); }
    ~TSignalsHeld() {
        uint32_t state = gHeldSignals.load();
        uint32_t next = 0;
        do {
            next = (state & kHeldMask) == 1 ? 0 : state - 1;
        } while (!gHeldSignals.compare_exchange_weak(state, next));
        if ((state & kHeldMask) == 1 && (state >> kPendingShift) != 0)
            ::raise(static_cast<int>(state >> kPendingShift));
    }
    TSignalsHeld(const TSignalsHeld&) = delete;
    TSignalsHeld& operator=(const TSignalsHeld&) = delete;
};

// Where a write goes, what it must keep of the file it replaces, and what that file must still
// be when it is replaced.
struct TWritePlan {
    TFolder Folder;
    std::string Name;  // the target's name in Folder
    std::string Shown; // the name the user knows, for messages
    struct stat Original {};
    bool Exists = false;
    bool KeepOwner = true; // a kesReplace copy may take ours; a replaced file must keep its own
    std::optional<TFileIdentity> Expected; // the file that was read, when replacing one
};

std::string FullName(const TWritePlan& plan) {
    return plan.Folder.Path + plan.Name;
}

bool LookUp(TWritePlan& plan, int& err) {
    plan.Exists = ::fstatat(plan.Folder.Fd.Get(), plan.Name.c_str(), &plan.Original,
                            AT_SYMLINK_NOFOLLOW) == 0;
    err = plan.Exists || errno == ENOENT ? 0 : errno;
    return err == 0;
}

bool StillAsRead(const TWritePlan& plan) {
    return !plan.Expected || (plan.Exists && S_ISREG(plan.Original.st_mode) &&
                              ldiIdentityOf(plan.Original) == *plan.Expected);
}

const char* const kChangedText = "changed while it was being replaced; left as it is";

// Looks the target up again and refuses it when it is no longer the file that was read, or may
// not be replaced.
TWriteOutcome CheckTarget(TWritePlan& plan, std::string& error) {
    int err = 0;
    if (!LookUp(plan, err))
        return Fail(error, "Cannot write " + plan.Shown, ErrnoText(err));
    if (!StillAsRead(plan))
        return Refuse(error, kChangedText);
    if (const std::string refusal =
            plan.Exists ? RefusalOf(plan.Folder, plan.Name, plan.Original) : "";
        !refusal.empty())
        return Refuse(error, refusal);
    return woWritten;
}

// Text then tail into a temporary file beside the target, with the original's mode, owner
// (where allowed; `ownerKept` tells) and attributes, flushed to disk.
bool WriteTemporary(const TWritePlan& plan, std::string_view text, std::string_view tail,
                    TTempFile& temp, bool& ownerKept, std::string& error) {
    int err = 0;
    ownerKept = true;
    // An existing file's content must not show through looser bits while it is being written.
    if (!temp.Create(plan.Folder, plan.Name, plan.Exists ? 0600 : 0666, err)) {
        Fail(error, "Cannot create a temporary file in " + FolderShown(plan.Folder),
             ErrnoText(err));
        return false;
    }
    if (FaultFails(plan.Name))
        err = ENOSPC;
    if (err != 0 || !WriteAll(temp.Fd(), text, err) || !WriteAll(temp.Fd(), tail, err) ||
        (plan.Exists && !CopyOwnerAndMode(temp.Fd(), plan.Original, ownerKept, err)) ||
        (plan.Exists && !CopyExtendedAttributes(plan.Folder, plan.Name, temp.Fd(), err)) ||
        !temp.FlushAndClose(err)) {
        Fail(error, "Cannot write " + plan.Shown, ErrnoText(err));
        return false;
    }
    return true;
}

// Renames the temporary file over the target, once the target is checked to be still the file
// that was read: another program's change made meanwhile is never overwritten.
TWriteOutcome RenameTemporary(TWritePlan& plan, TTempFile& temp, std::string& error) {
    FaultPoint("after-temp-write");
    int err = 0;
    if (!LookUp(plan, err))
        return Fail(error, "Cannot replace " + plan.Shown, ErrnoText(err));
    if (!StillAsRead(plan))
        return Refuse(error, kChangedText);
    if (!temp.RenameOver(plan.Name, err))
        return Fail(error, "Cannot replace " + plan.Shown, ErrnoText(err));
    SyncFolder(plan.Folder.Path);
    return woWritten;
}

// The backup kept beside a file while it is rewritten through its inode; removed again unless
// it is the only copy left of the old content.
class TBackupFile {
  public:
    TBackupFile(const TFolder& folder, std::string name)
        : folder_(folder), name_(std::move(name)) {}
    ~TBackupFile() {
        fd_.Close();
        if (created_ && !kept_)
            ::unlinkat(folder_.Fd.Get(), name_.c_str(), 0);
    }
    TBackupFile(const TBackupFile&) = delete;
    TBackupFile& operator=(const TBackupFile&) = delete;

    int Fd() const { return fd_.Get(); }
    std::string Path() const { return folder_.Path + name_; }
    bool Create(int& err) {
        fd_.Reset(::openat(folder_.Fd.Get(), name_.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        created_ = fd_.IsOpen();
        err = created_ ? 0 : errno;
        return created_;
    }
    void Keep() { kept_ = true; }

  private:
    const TFolder& folder_;
    std::string name_;
    TFileHandle fd_;
    bool created_ = false;
    bool kept_ = false;
};

// Saves the open file's content into a new backup and makes both the content and its name
// durable before anything is overwritten.
TWriteOutcome SaveBackup(const TWritePlan& plan, int original, TBackupFile& backup,
                         std::string& error) {
    int err = 0;
    if (!backup.Create(err)) {
        if (err == EEXIST)
            return Refuse(error, "an earlier replacement was interrupted and its old content is "
                                 "still in " +
                                     backup.Path() + "; left as it is");
        return Fail(error, "Cannot create a backup in " + FolderShown(plan.Folder), ErrnoText(err));
    }
    if (!CopyData(original, backup.Fd(), err) || ::fsync(backup.Fd()) != 0)
        return Fail(error, "Cannot write " + backup.Path(), ErrnoText(err != 0 ? err : errno));
    SyncFolderNow(plan.Folder.Path);
    return woWritten;
}

// A file whose names or owner must stay as they are (several hard links, an owner we cannot
// give a new file) is rewritten through its own inode, as an editor does. Its old content is
// first saved to a visible, flushed backup beside it, which stays should the rewrite fail and
// its old content not go back, or should the process be killed meanwhile; SIGINT and SIGTERM
// wait until the rewrite is on disk.
TWriteOutcome RewriteInPlace(const TWritePlan& plan, std::string_view text, std::string_view tail,
                             std::string& error) {
    if (plan.Name.size() + kBackupNameSuffix.size() > kNameMax)
        return Fail(error, "Cannot write " + plan.Shown, ErrnoText(ENAMETOOLONG));
    const TFileHandle original(
        ::openat(plan.Folder.Fd.Get(), plan.Name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    struct stat now {};
    if (!original.IsOpen() || ::fstat(original.Get(), &now) != 0)
        return Fail(error, "Cannot write " + plan.Shown, ErrnoText(errno));
    if (plan.Expected && ldiIdentityOf(now) != *plan.Expected)
        return Refuse(error, kChangedText);
    // Held before the backup exists and released after it is gone (it is destroyed first).
    const TSignalsHeld held;
    TBackupFile backup(plan.Folder, plan.Name + std::string(kBackupNameSuffix));
    if (const TWriteOutcome saved = SaveBackup(plan, original.Get(), backup, error);
        saved != woWritten)
        return saved;
    int err = 0;
    FaultPoint("mid-rewrite");
    if (OverwriteOpened(original.Get(), text, tail, err)) {
        SyncFolder(plan.Folder.Path);
        return woWritten;
    }
    if (!Restore(original.Get(), backup.Fd())) {
        backup.Keep();
        return Fail(error, "Cannot write " + plan.Shown,
                    ErrnoText(err) + "; the original content is kept in " + backup.Path());
    }
    return Fail(error, "Cannot write " + plan.Shown, ErrnoText(err));
}

bool HasOtherNames(const TWritePlan& plan) {
    return plan.Exists && plan.KeepOwner && plan.Original.st_nlink > 1;
}

// Writes a checked plan: through a temporary file renamed over the target, or through the
// target's inode where its names or owner must stay.
TWriteOutcome WritePlanned(TWritePlan& plan, std::string_view text, std::string_view tail,
                           std::string& error) {
    if (HasOtherNames(plan))
        return RewriteInPlace(plan, text, tail, error);
    bool ownerKept = true;
    {
        TTempFile temp;
        if (!WriteTemporary(plan, text, tail, temp, ownerKept, error))
            return woFailed;
        if (ownerKept || !plan.KeepOwner)
            return RenameTemporary(plan, temp, error);
    }
    return RewriteInPlace(plan, text, tail, error);
}

TWriteOutcome WriteChecked(TWritePlan& plan, std::string_view text, std::string_view tail,
                           std::string& error) {
    const TWriteOutcome checked = CheckTarget(plan, error);
    return checked == woWritten ? WritePlanned(plan, text, tail, error) : checked;
}

// A plan for a name as given: past any links, to the name that holds the data.
bool PlanPath(const std::string& fileName, TWritePlan& plan, std::string& error) {
    if (fileName.empty()) {
        Fail(error, "Cannot write", "No file name given");
        return false;
    }
    int err = 0;
    std::string target;
    if (!ldiResolveLinks(fileName, target, err)) {
        Fail(error, "Cannot write " + fileName, ErrnoText(err));
        return false;
    }
    if (!OpenFolder(ldiFileFolder(target), plan.Folder, err)) {
        Fail(error, "Cannot create a temporary file in " + FolderShown(plan.Folder),
             ErrnoText(err));
        return false;
    }
    plan.Name = NamePart(target);
    plan.Shown = fileName;
    return true;
}

// A plan for the very file a read opened.
bool PlanRead(const TReadTarget& read, TWritePlan& plan, std::string& error) {
    int err = 0;
    if (!OpenFolder(ldiFileFolder(read.Name), plan.Folder, err)) {
        Fail(error, "Cannot create a temporary file in " + FolderShown(plan.Folder),
             ErrnoText(err));
        return false;
    }
    plan.Name = NamePart(read.Name);
    plan.Shown = read.Name;
    plan.Expected = read.Identity;
    return true;
}

TWriteOutcome WritePath(const std::string& fileName, std::string_view text, std::string_view tail,
                        std::string& error) {
    TWritePlan plan;
    if (!PlanPath(fileName, plan, error))
        return woFailed;
    const TWriteOutcome outcome = WriteChecked(plan, text, tail, error);
    if (outcome == woRefused)
        error = "Cannot write " + fileName + ": " + error;
    return outcome;
}

// The subfolder of a copy, created or opened without following a link.
TWriteOutcome OpenSubfolder(const std::string& folder, const std::string& subfolder,
                            TFolder& opened, std::string& error) {
    TFolder parent;
    int err = 0;
    const std::string shown = folder + subfolder;
    if (!OpenFolder(folder, parent, err) ||
        (::mkdirat(parent.Fd.Get(), subfolder.c_str(), 0777) != 0 && errno != EEXIST))
        return Fail(error, "Unable to create directory " + shown,
                    ErrnoText(err != 0 ? err : errno));
    opened.Path = shown + "/";
    opened.Fd.Reset(::openat(parent.Fd.Get(), subfolder.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (opened.Fd.IsOpen())
        return woWritten;
    if (errno == ELOOP || errno == ENOTDIR)
        return Refuse(error,
                      shown + " is not a folder but a link or a file; nothing is written into it");
    return Fail(error, "Unable to open directory " + shown, ErrnoText(errno));
}

} // namespace

TFolderSyncBatch::TFolderSyncBatch() : Outer_(tActiveBatch) {
    tActiveBatch = this;
}

TFolderSyncBatch::~TFolderSyncBatch() {
    if (!Pending_.empty())
        SyncFolderNow(Pending_);
    tActiveBatch = Outer_;
}

void TFolderSyncBatch::Note(const std::string& folder) {
    // "" is the current folder; kept as "." so that an empty Pending_ means nothing is waiting.
    const std::string name = folder.empty() ? "." : folder;
    if (name == Pending_)
        return;
    if (!Pending_.empty())
        SyncFolderNow(Pending_);
    Pending_ = name;
}

struct TPreparedWrite::TState {
    TWritePlan Plan;
    TTempFile Temp; // after the plan: removed while its folder is still open
};

TPreparedWrite::TPreparedWrite() = default;
TPreparedWrite::~TPreparedWrite() = default;
TPreparedWrite::TPreparedWrite(TPreparedWrite&&) noexcept = default;
TPreparedWrite& TPreparedWrite::operator=(TPreparedWrite&&) noexcept = default;

bool TPreparedWrite::Prepare(const TReadTarget& read, std::string_view text) {
    State_.reset();
    try {
        auto state = std::make_unique<TState>();
        std::string error;
        bool ownerKept = true;
        if (!PlanRead(read, state->Plan, error) || CheckTarget(state->Plan, error) != woWritten ||
            HasOtherNames(state->Plan) ||
            !WriteTemporary(state->Plan, text, {}, state->Temp, ownerKept, error) || !ownerKept)
            return false;
        State_ = std::move(state);
        return true;
    } catch (const std::exception&) {
        return false; // the write is simply done the usual way later
    }
}

TWriteOutcome TPreparedWrite::Commit(std::string& errorMessage) {
    errorMessage.clear();
    if (!State_)
        return Fail(errorMessage, "Cannot write", "Nothing was prepared");
    const std::unique_ptr<TState> state = std::move(State_);
    try {
        return RenameTemporary(state->Plan, state->Temp, errorMessage);
    } catch (const std::exception& e) {
        errorMessage = "Cannot write " + state->Plan.Shown + ": " + e.what();
    }
    return woFailed;
}

bool ldiDeferSignal(int signalNumber) noexcept {
    uint32_t state = gHeldSignals.load();
    do {
        if ((state & kHeldMask) == 0)
            return false;
    } while (!gHeldSignals.compare_exchange_weak(
        state, (state & kHeldMask) | (static_cast<uint32_t>(signalNumber) << kPendingShift)));
    return true;
}

std::string ldiFileFolder(const std::string& fileName) {
    const size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}

void ldiWriteCompleteTextFile(const std::string& fileName, std::string_view text) {
    if (fileName.empty())
        throw std::runtime_error("ldiWriteCompleteTextFile requires a non-blank filename.");
    // The existing file is never deleted beforehand: the rename replaces it only once the new
    // text is safely on disk.
    const std::string folder = ldiFileFolder(fileName);
    if (!IsFolder(folder))
        throw std::runtime_error("Directory \"" + folder + "\" does not exist.");
    std::string error;
    if (WritePath(fileName, text, "\r\n", error) != woWritten)
        throw std::runtime_error(error);
}

bool ldiTryWriteTextFile(const std::string& fileName, std::string_view text,
                         std::string& errorMessage) {
    errorMessage.clear();
    try {
        return WritePath(fileName, text, {}, errorMessage) == woWritten;
    } catch (const std::exception& e) {
        errorMessage = "Cannot write " + fileName + ": " + e.what();
    }
    return false;
}

TWriteOutcome ldiReplaceReadFile(const TReadTarget& read, std::string_view text,
                                 std::string& message) {
    message.clear();
    try {
        TWritePlan plan;
        return PlanRead(read, plan, message) ? WriteChecked(plan, text, {}, message) : woFailed;
    } catch (const std::exception& e) {
        message = "Cannot write " + read.Name + ": " + e.what();
    }
    return woFailed;
}

TWriteOutcome ldiWriteIntoSubfolder(const std::string& folder, const std::string& subfolder,
                                    const std::string& name, std::string_view text,
                                    std::string& message) {
    message.clear();
    try {
        TWritePlan plan;
        if (const TWriteOutcome opened = OpenSubfolder(folder, subfolder, plan.Folder, message);
            opened != woWritten)
            return opened;
        plan.Name = name;
        plan.Shown = FullName(plan);
        plan.KeepOwner = false;
        int err = 0;
        if (!LookUp(plan, err))
            return Fail(message, "Cannot write " + plan.Shown, ErrnoText(err));
        if (plan.Exists && !S_ISREG(plan.Original.st_mode))
            return Refuse(message, plan.Shown + " is a link or not a regular file; not replaced");
        return WriteChecked(plan, text, {}, message);
    } catch (const std::exception& e) {
        message = "Cannot write " + folder + subfolder + "/" + name + ": " + e.what();
    }
    return woFailed;
}

bool ldiForceFileFolder(const std::string& fileName) {
    try {
        std::string folder = ldiFileFolder(fileName);
        if (folder.empty())
            return false;
        if (IsFolder(folder))
            return true;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        return IsFolder(folder);
    } catch (...) {
        return false;
    }
}

} // namespace kes
