// Whole-file reading and writing, and folder creation. Every write goes to a temporary file beside
// the target and is renamed over it only once it is complete and on disk, so a crash, a full disk
// or a size limit never leaves a half-written or emptied original behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace kestrava::util {

struct GatedFolder;
class WriteRoots;

// Temporary files are named ".<name>" + this marker + six random characters; the leading dot
// keeps them out of every folder scan.
inline constexpr std::string_view kTempNameMarker = ".kestrava-tmp-";

// A file that must be rewritten through its own inode first gets its old content saved as
// "<name>" + this suffix beside it, removed again once the new text is on disk. One found later
// means that rewrite was interrupted.
inline constexpr std::string_view kBackupNameSuffix = ".kestrava-backup";

enum class ReadStatus : uint8_t { Read, Empty, Missing, Unreadable, TooLarge, NotRegular };

// Reads a whole regular file with one read into `buffer`, sized exactly. Anything but rsRead
// leaves `buffer` empty and `error` holding errno (0 when no call failed). Files larger than
// maxSize are never read; FIFOs and devices are never waited on.
ReadStatus readWholeRegularFile(const std::string& fileName, std::string& buffer, int& error,
                                int64_t maxSize);

// Which file a name led to when it was read: a replacement may only go over that very file,
// unchanged since (same device, inode, size and modification time).
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t modifiedSeconds = 0;
    int64_t modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

// What a read resolved: the name at the end of any symlinks (the name itself when it is none)
// and the identity of the file opened there.
struct ReadTarget {
    std::string name;
    FileIdentity identity;
};

// The identity in a stat record.
FileIdentity identityOf(const struct stat& info);

class UniqueFd;
// Opens a regular file of at most maxSize bytes for reading and tells its size: rsRead, rsEmpty
// (0 bytes; it may still grow) or why it cannot be read, with errno in `error`. With `target`,
// symlinks are resolved first and what was opened is told there.
ReadStatus openRegularFile(const std::string& fileName, int64_t maxSize, UniqueFd& file,
                           size_t& size, int& error, ReadTarget* target = nullptr);

// Follows a chain of symlinks to the name that really holds the data; a missing final name is
// fine (it is what a write creates). False with errno in `error` on a loop or an unreadable link.
bool resolveLinks(const std::string& fileName, std::string& target, int& error);
// Reads the `size` bytes of a file opened so (fewer should it have shrunk) into `buffer`.
ReadStatus readOpenedFile(const UniqueFd& file, size_t size, std::string& buffer, int& error);
// The same into the front of `room`, which grows when it is smaller and never shrinks: growing a
// string zeroes what it adds, which a buffer kept from file to file then pays once, not per
// file. The file's bytes are room's first `got`. With `nulProbe`, a file whose first nulProbe
// bytes hold a NUL is read no further: `got` counts only those.
ReadStatus readOpenedFileInto(const UniqueFd& file, size_t size, std::string& room, size_t& got,
                              int& error, size_t nulProbe = 0);
// Reads `length` bytes from `offset` into `bytes` (fewer when the file ends first); false with
// errno in `error` when reading fails.
bool readAt(int fd, int64_t offset, size_t length, std::string& bytes, int& error);
// Reads `length` bytes from `offset` into `to`; how many there were (fewer when the file ends
// first), or -1 with errno in `error`.
int64_t readRange(int fd, int64_t offset, size_t length, char* to, int& error);

// Writes all of data, going on after short writes; false with errno in `err`.
bool writeAll(int fd, std::string_view data, int& err);
// Copies a whole open file, from its start whatever its offset, into another.
bool copyData(int from, int to, int& err);

// The folder part of a name: up to and including the last "/", empty when there is none.
std::string fileFolder(const std::string& fileName);

// Writes text followed by CR LF, replacing any existing file (through a symlink, its target).
// Raises std::runtime_error: "ldiWriteCompleteTextFile requires a non-blank filename.",
// "Directory \"<folder>\" does not exist.", or the platform's error text.
void writeCompleteTextFile(const std::string& fileName, std::string_view text);

// Writes text exactly; false with errorMessage filled on failure, never raises. An existing file
// keeps its permission bits, owner and attributes, and stays intact when the write fails.
bool writeFileAtomically(const std::string& fileName, std::string_view text,
                         std::string& errorMessage);

// What a write is about to replace, told just before the old content would be lost: before
// the rename over it, or before it is rewritten through its inode.
struct ReplacedFile {
    const GatedFolder& folder;             // the folder that holds it
    const std::string& name;               // its name there
    const std::string& path;               // the folder's path + name, for messages and records
    const struct stat* original = nullptr; // nullptr: there is no file yet (a new copy)
    int rewrittenFd = -1; // >= 0: the file is rewritten through this descriptor, so its old
                          // content must be copied (a link to it would change too)
};

// What a replacing write did: the new text is in place; it was refused (the file changed since
// it was read, is read-only, is not a regular file, links lead it outside the searched folders,
// or an earlier rewrite's backup is still there: the message tells why, and the file is left as
// it is); or it failed ("Cannot write <name>: <reason>"). Whatever the outcome, the original is
// whole.
enum class WriteOutcome : uint8_t { Written, Refused, Failed };

// Keeps what a write replaces (the undo journal does). Anything but Written stops the write, and
// the file is left as it is: Refused when the file went meanwhile, Failed, with `error`, when
// its content could not be kept.
class OldContentKeeper {
  public:
    virtual ~OldContentKeeper() = default;
    virtual WriteOutcome keepOldContent(const ReplacedFile& file, std::string& error) = 0;
};

// Replaces the file a read opened (see openRegularFile) with text, only while its name still
// leads to that very file, unchanged, and only where its folder lies beneath one of the roots
// (links on the way are followed only where they stay beneath them). A file with several names, or
// whose owner could not be kept by a new file, is rewritten through its inode with a
// "<name>.kestrava-backup" beside it until the rewrite is on disk. A keeper, when given, is told
// before the old content is lost.
WriteOutcome replaceReadFile(const WriteRoots& roots, const ReadTarget& read, std::string_view text,
                             std::string& message, OldContentKeeper* keeper = nullptr);

// Writes text as folder + subfolder + "/" + name, creating the subfolder, where the folder lies
// beneath one of the roots. Nothing in it is followed: a subfolder or a name that is a link or
// not of its kind is refused.
WriteOutcome writeIntoSubfolder(const WriteRoots& roots, const std::string& folder,
                                const std::string& subfolder, const std::string& name,
                                std::string_view text, std::string& message,
                                OldContentKeeper* keeper = nullptr);

// Writes text as `name` in a folder opened through the gate, as writeFileAtomically does; a
// name that is a link is refused.
WriteOutcome writeIntoFolder(const GatedFolder& folder, const std::string& name,
                             std::string_view text, std::string& message);

// Signal handlers of SIGINT and SIGTERM ask this first: true when a file is being rewritten
// through its inode right now; the signal is then raised again once that rewrite is on disk.
// Async-signal-safe.
bool deferSignal(int signalNumber) noexcept;

// The slow half of replaceReadFile done ahead, on any thread: the text written and flushed
// into a temporary file beside the file, which Commit then renames over it once the file is
// checked to be still as it was read. Destroyed before that, it removes the temporary file and
// the original stays as it was.
class PreparedWrite {
  public:
    PreparedWrite();
    ~PreparedWrite();
    PreparedWrite(PreparedWrite&&) noexcept;
    PreparedWrite& operator=(PreparedWrite&&) noexcept;

    // False when nothing was prepared: the write was refused or failed, or the file is written
    // through its inode at its turn. Either way the caller writes as usual then, which gives
    // the outcome its message in its place.
    // Without `flush`, the temporary file is not flushed on its own: flushPreparedWrites then
    // flushes many at once, and commit refuses one that was not.
    bool prepare(const WriteRoots& roots, const ReadTarget& read, std::string_view text,
                 bool flush = true);
    bool prepared() const { return m_state != nullptr; }
    // Tells the keeper of the file's old content ahead of the commit, while the file is still as
    // it was read (Refused otherwise: the commit then refuses it too). A keeper told so must not
    // be given to commit again.
    WriteOutcome keepOldContent(OldContentKeeper& keeper, std::string& errorMessage);
    // Puts the prepared text in place, as replaceReadFile would.
    WriteOutcome commit(std::string& errorMessage, OldContentKeeper* keeper = nullptr);

  private:
    friend bool flushPreparedWrites(const std::vector<PreparedWrite*>& writes, std::string& error);
    struct State;
    std::unique_ptr<State> m_state;
};

// Puts the temporary files of unflushed prepared writes on disk with one flush of each file
// system they are on (syncfs), rather than one per file. False, with `error`, when a flush fails:
// none of them may then be committed.
bool flushPreparedWrites(const std::vector<PreparedWrite*>& writes, std::string& error);

// While one lives on a thread, that thread's writes flush each folder's entry list once, when
// writing moves on to another folder and when the batch ends, rather than after every rename:
// a run replacing many files in one folder then pays one folder flush, not one per file. Every
// file's own content is still flushed before its rename.
class FolderSyncBatch {
  public:
    FolderSyncBatch();
    ~FolderSyncBatch();
    FolderSyncBatch(const FolderSyncBatch&) = delete;
    FolderSyncBatch& operator=(const FolderSyncBatch&) = delete;
    void note(const std::string& folder);

  private:
    FolderSyncBatch* m_outer;
    std::string m_pending;
};

// True when the file's folder exists afterwards (created with every missing parent); false for a
// name without a folder part. Never raises.
bool forceFileFolder(const std::string& fileName);

} // namespace kestrava::util
