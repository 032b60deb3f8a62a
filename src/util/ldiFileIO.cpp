#include "util/ldiFileIO.h"

#include "util/ldiFileHandle.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
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
    thread_local std::mt19937_64 engine{std::random_device{}()};
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

// The temporary file beside the target; removed again unless it was renamed into place.
class TTempFile {
  public:
    TTempFile() = default;
    ~TTempFile() {
        fd_.Close();
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    int Fd() const { return fd_.Get(); }
    const std::string& Path() const { return path_; }
    // Leaves the file on disk (it holds something the user may need).
    void Keep() { path_.clear(); }

    bool Create(const std::string& folder, const std::string& name, mode_t mode, int& err) {
        for (int attempt = 0; attempt < kMaxTempAttempts; ++attempt) {
            path_ = folder + TempName(name);
            fd_.Reset(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
            if (fd_.Get() >= 0)
                return true;
            err = errno;
            if (err != EEXIST)
                break;
        }
        path_.clear();
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
        if (::rename(path_.c_str(), target.c_str()) != 0) {
            err = errno;
            return false;
        }
        path_.clear();
        return true;
    }

  private:
    TFileHandle fd_;
    std::string path_;
};

// Why an existing target must not be replaced; empty when it may be. A read-only file stays
// refused even though its folder would let the rename through, and devices or FIFOs are never
// swapped for a regular file.
std::string RefusalOf(const std::string& target, const struct stat& original) {
    if (S_ISDIR(original.st_mode))
        return ErrnoText(EISDIR);
    if (!S_ISREG(original.st_mode))
        return "Not a regular file";
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
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

// Copies everything from one open file to another.
bool CopyData(int from, int to, int& err) {
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
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
    }
}

// Replaces the content of `target` in place (same inode): text then tail, flushed.
bool OverwriteInPlace(const std::string& target, std::string_view text, std::string_view tail,
                      int& err) {
    TFileHandle out(::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!out.IsOpen()) {
        err = errno;
        return false;
    }
    if (!WriteAll(out.Get(), text, err) || !WriteAll(out.Get(), tail, err))
        return false;
    if (::fsync(out.Get()) != 0 || out.Close() != 0) {
        err = errno;
        return false;
    }
    return true;
}

bool CopyOwnerAndMode(int fd, const struct stat& original, int& err) {
    // Owner first: a change of owner clears set-id bits, which the chmod then restores.
    struct stat mine {};
    if (::fstat(fd, &mine) == 0 &&
        (mine.st_uid != original.st_uid || mine.st_gid != original.st_gid)) {
        if (::fchown(fd, original.st_uid, original.st_gid) != 0 &&
            ::fchown(fd, static_cast<uid_t>(-1), original.st_gid) != 0) {
            // Not allowed to give the file away: it keeps our own owner.
        }
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
bool CopyExtendedAttributes(const std::string& from, int to, int& err) {
    std::vector<char> names(
        static_cast<size_t>(std::max<ssize_t>(::listxattr(from.c_str(), nullptr, 0), 0)));
    const ssize_t listed =
        names.empty() ? 0 : ::listxattr(from.c_str(), names.data(), names.size());
    for (ssize_t at = 0; at < listed;) {
        const std::string name(names.data() + at);
        at += static_cast<ssize_t>(name.size()) + 1;
        std::vector<char> value(static_cast<size_t>(
            std::max<ssize_t>(::getxattr(from.c_str(), name.c_str(), nullptr, 0), 0)));
        const ssize_t size = ::getxattr(from.c_str(), name.c_str(), value.data(), value.size());
        if (size < 0 ||
            ::fsetxattr(to, name.c_str(), value.data(), static_cast<size_t>(size), 0) == 0)
            continue;
        const bool managed = name.starts_with("security.") || name.starts_with("trusted.");
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
    TFileHandle dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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

bool Fail(std::string& error, const std::string& what, const std::string& reason) {
    error = what + ": " + reason;
    return false;
}

// A file with several names keeps them all together: the new text goes through the same inode
// (so owner, mode and attributes stay too), with the old content saved beside it until the
// write is complete, and written back should it fail.
bool WriteThroughInode(const std::string& target, const std::string& fileName,
                       std::string_view text, std::string_view tail, std::string& error) {
    const std::string folder = ldiFileFolder(target);
    TTempFile saved;
    int err = 0;
    if (!saved.Create(folder, NamePart(target), 0600, err))
        return Fail(error, "Cannot create a temporary file in " + (folder.empty() ? "./" : folder),
                    ErrnoText(err));
    const TFileHandle original(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    if (!original.IsOpen() || !CopyData(original.Get(), saved.Fd(), err) ||
        !saved.FlushAndClose(err))
        return Fail(error, "Cannot write " + fileName, ErrnoText(original.IsOpen() ? err : errno));
    if (OverwriteInPlace(target, text, tail, err))
        return true;
    const int writeError = err;
    std::string old;
    int readError = 0;
    if (ldiReadWholeFile(saved.Path(), old, readError, INT64_MAX) >= rsMissing ||
        !OverwriteInPlace(target, old, {}, readError)) {
        saved.Keep();
        return Fail(error, "Cannot write " + fileName,
                    ErrnoText(writeError) + "; the original content is kept in " + saved.Path());
    }
    return Fail(error, "Cannot write " + fileName, ErrnoText(writeError));
}

// Where a write goes and what it must keep of the file it replaces.
struct TWritePlan {
    std::string Target; // the name at the end of any symlinks
    struct stat Original {};
    bool Exists = false;
};

// Follows the links and checks that an existing target may be replaced.
bool PlanWrite(const std::string& fileName, TWritePlan& plan, std::string& error) {
    if (fileName.empty())
        return Fail(error, "Cannot write", "No file name given");
    int err = 0;
    if (!ldiResolveLinks(fileName, plan.Target, err))
        return Fail(error, "Cannot write " + fileName, ErrnoText(err));
    plan.Exists = ::stat(plan.Target.c_str(), &plan.Original) == 0;
    if (const std::string refusal = plan.Exists ? RefusalOf(plan.Target, plan.Original) : "";
        !refusal.empty())
        return Fail(error, "Cannot write " + fileName, refusal);
    return true;
}

bool HasOtherNames(const TWritePlan& plan) {
    return plan.Exists && plan.Original.st_nlink > 1;
}

// Text then tail into a temporary file beside the target, with the original's owner, mode and
// attributes, flushed to disk.
bool WriteTemporary(const TWritePlan& plan, const std::string& fileName, std::string_view text,
                    std::string_view tail, TTempFile& temp, std::string& error) {
    const std::string folder = ldiFileFolder(plan.Target);
    int err = 0;
    // An existing file's content must not show through looser bits while it is being written.
    if (!temp.Create(folder, NamePart(plan.Target), plan.Exists ? 0600 : 0666, err))
        return Fail(error, "Cannot create a temporary file in " + (folder.empty() ? "./" : folder),
                    ErrnoText(err));
    if (!WriteAll(temp.Fd(), text, err) || !WriteAll(temp.Fd(), tail, err) ||
        (plan.Exists && !CopyOwnerAndMode(temp.Fd(), plan.Original, err)) ||
        (plan.Exists && !CopyExtendedAttributes(plan.Target, temp.Fd(), err)) ||
        !temp.FlushAndClose(err))
        return Fail(error, "Cannot write " + fileName, ErrnoText(err));
    return true;
}

bool RenameTemporary(const TWritePlan& plan, const std::string& fileName, TTempFile& temp,
                     std::string& error) {
    FaultPoint("after-temp-write");
    int err = 0;
    if (!temp.RenameOver(plan.Target, err))
        return Fail(error, "Cannot replace " + fileName, ErrnoText(err));
    SyncFolder(ldiFileFolder(plan.Target));
    return true;
}

// The one writer behind both public functions: text then tail, into a temporary file renamed
// over the target.
bool WriteSafely(const std::string& fileName, std::string_view text, std::string_view tail,
                 std::string& error) {
    TWritePlan plan;
    if (!PlanWrite(fileName, plan, error))
        return false;
    if (HasOtherNames(plan))
        return WriteThroughInode(plan.Target, fileName, text, tail, error);
    TTempFile temp;
    return WriteTemporary(plan, fileName, text, tail, temp, error) &&
           RenameTemporary(plan, fileName, temp, error);
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
    std::string FileName;
    TWritePlan Plan;
    TTempFile Temp;
};

TPreparedWrite::TPreparedWrite() = default;
TPreparedWrite::~TPreparedWrite() = default;
TPreparedWrite::TPreparedWrite(TPreparedWrite&&) noexcept = default;
TPreparedWrite& TPreparedWrite::operator=(TPreparedWrite&&) noexcept = default;

bool TPreparedWrite::Prepare(const std::string& fileName, std::string_view text) {
    State_.reset();
    try {
        auto state = std::make_unique<TState>();
        std::string error;
        state->FileName = fileName;
        if (!PlanWrite(fileName, state->Plan, error) || HasOtherNames(state->Plan) ||
            !WriteTemporary(state->Plan, fileName, text, {}, state->Temp, error))
            return false;
        State_ = std::move(state);
        return true;
    } catch (const std::exception&) {
        return false; // the write is simply done the usual way later
    }
}

bool TPreparedWrite::Commit(std::string& errorMessage) {
    errorMessage.clear();
    if (!State_)
        return Fail(errorMessage, "Cannot write", "Nothing was prepared");
    const std::unique_ptr<TState> state = std::move(State_);
    try {
        return RenameTemporary(state->Plan, state->FileName, state->Temp, errorMessage);
    } catch (const std::exception& e) {
        errorMessage = "Cannot write " + state->FileName + ": " + e.what();
    }
    return false;
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
    if (!WriteSafely(fileName, text, "\r\n", error))
        throw std::runtime_error(error);
}

bool ldiTryWriteTextFile(const std::string& fileName, std::string_view text,
                         std::string& errorMessage) {
    errorMessage.clear();
    try {
        return WriteSafely(fileName, text, {}, errorMessage);
    } catch (const std::exception& e) {
        errorMessage = "Cannot write " + fileName + ": " + e.what();
    }
    return false;
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
