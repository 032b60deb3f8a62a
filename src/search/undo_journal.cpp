// The undo journal: one folder per replacing run, holding a manifest and the old content of each
// replaced file under the number of its manifest line.
#include "search/undo_journal.h"

#include "util/content_hash.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>

namespace kestrava::search {

namespace {

const char* const kManifest = "manifest";
const char* const kUndoneLog = "undone";
const char* const kMagic = "kestrava-undo\t1\n";

std::string errnoText(int err) {
    return std::strerror(err);
}

// Manifest fields are separated by tabs and lines by line feeds; paths may hold either.
std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::string unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> fields(std::string_view line) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string_view::npos;
         start = tab + 1, tab = line.find('\t', start))
        parts.emplace_back(line.substr(start, tab - start));
    parts.emplace_back(line.substr(start));
    return parts;
}

bool syncFd(int fd, int& err) {
    if (::fsync(fd) == 0)
        return true;
    err = errno;
    return false;
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

// "20261207T193015.123456", UTC: names sort as the runs were made.
std::string newRunId(std::chrono::system_clock::time_point now) {
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(micros / 1'000'000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    const size_t length = std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%06lld",
                  static_cast<long long>(micros % 1'000'000));
    return text;
}

const char* const kNotYours = " is not a run of yours; left alone";

// Entry names and run ids are bare names written by this program: a number, or a time stamp.
bool isPlainNumber(std::string_view text) {
    return !text.empty() && text.size() <= 9 && text[0] != '0' &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isRunName(std::string_view id) {
    return !id.empty() && id[0] != '.' && id.find('/') == std::string_view::npos;
}

// The undo folder, when it is there and this user's alone; otherwise `why` says so (nothing when
// it is simply missing).
bool openUndoRoot(const std::string& root, util::GatedFolder& folder, std::string& why) {
    struct stat info = {};
    if (!util::openRootFolder(root, folder))
        return false;
    if (::fstat(folder.fd.get(), &info) == 0 && util::isPrivateFolder(info))
        return true;
    why = folder.path + " is not a folder of yours; left alone";
    return false;
}

// A run's folder, only when it is a real folder of this user's that no one else may write to.
bool openRun(const util::GatedFolder& root, const std::string& id, util::GatedFolder& run) {
    struct stat named = {};
    struct stat opened = {};
    if (!isRunName(id) || root.stat(id, named) != 0 || !util::isPrivateFolder(named))
        return false;
    run.fd.reset(root.openSubfolder(id));
    run.path = root.path + id + "/";
    return run.fd.isOpen() && ::fstat(run.fd.get(), &opened) == 0 &&
           opened.st_ino == named.st_ino && opened.st_dev == named.st_dev &&
           util::isPrivateFolder(opened);
}

// The names in a folder held open, "." and ".." left out.
std::vector<std::string> namesIn(const util::GatedFolder& folder) {
    std::vector<std::string> names;
    const int copy = ::dup(folder.fd.get());
    DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (dir == nullptr) {
        if (copy >= 0)
            ::close(copy);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

// Removes a run's folder: its names are removed in it (a link goes, never what it leads to).
void removeRun(const util::GatedFolder& root, const std::string& id) {
    util::GatedFolder run;
    if (!openRun(root, id, run))
        return;
    for (const std::string& name : namesIn(run))
        run.remove(name);
    root.removeSubfolder(id);
}

std::vector<std::string> runIds(const util::GatedFolder& root) {
    std::vector<std::string> ids;
    for (std::string& name : namesIn(root))
        if (name[0] != '.')
            ids.push_back(std::move(name));
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The complete lines of a journal file of a run (a last line without its line feed was cut short
// by a crash and does not count); nothing when the file is missing or not a regular file.
std::optional<std::vector<std::string>> completeLines(const util::GatedFolder& run,
                                                      const std::string& name) {
    const util::UniqueFd file(run.openFile(name, O_RDONLY | O_NONBLOCK));
    struct stat info = {};
    std::string text;
    int err = 0;
    if (!file.isOpen() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > (int64_t{1} << 30) ||
        util::readOpenedFile(file, static_cast<size_t>(info.st_size), text, err) ==
            util::ReadStatus::Unreadable)
        return std::nullopt;
    std::vector<std::string> lines;
    for (size_t start = 0, end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start))
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// One replaced file of a run, as its manifest line tells it.
struct Entry {
    std::string number;
    std::string kind; // linked, copied or created
    mode_t mode = 0;
    std::string oldHash;
    std::string newHash;
    std::string path;
};

struct RunRecord {
    UndoRunInfo info;
    std::vector<Entry> entries;
    std::set<std::string> restored; // entry numbers
    std::vector<std::string> roots; // the folders it wrote beneath, each ending with "/"
};

void readManifestLine(const std::vector<std::string>& parts, RunRecord& run);

// Reads a run's folder.
std::optional<RunRecord> readRun(const util::GatedFolder& root, const std::string& id) {
    util::GatedFolder folder;
    if (!openRun(root, id, folder))
        return std::nullopt;
    const std::optional<std::vector<std::string>> manifest = completeLines(folder, kManifest);
    if (!manifest || manifest->empty() || manifest->front() + "\n" != kMagic)
        return std::nullopt;
    RunRecord run;
    run.info.id = id;
    for (const std::string& line : *manifest) {
        const std::vector<std::string> parts = fields(line);
        try {
            readManifestLine(parts, run);
        } catch (const std::logic_error&) { // a damaged number: that line does not count
        }
    }
    if (run.roots.empty()) // kept before runs named their folders: anywhere, through no link
        run.roots.emplace_back("/");
    run.info.files = static_cast<int32_t>(run.entries.size());
    if (const std::optional<std::vector<std::string>> undone = completeLines(folder, kUndoneLog))
        run.restored.insert(undone->begin(), undone->end());
    run.info.undone = std::all_of(run.entries.begin(), run.entries.end(),
                                  [&](const Entry& e) { return run.restored.contains(e.number); });
    return run;
}

// Names what in the undo folder is not this user's own.
void noteStrangers(const util::GatedFolder& root, std::vector<std::string>* notices) {
    if (notices == nullptr)
        return;
    for (const std::string& id : runIds(root)) {
        util::GatedFolder run;
        if (!openRun(root, id, run))
            notices->push_back(root.path + id + kNotYours);
    }
}

void readManifestLine(const std::vector<std::string>& parts, RunRecord& run) {
    if (parts[0] == "time" && parts.size() == 2)
        run.info.time = std::stoll(parts[1]);
    else if (parts[0] == "pattern" && parts.size() == 2)
        run.info.pattern = unescaped(parts[1]);
    else if (parts[0] == "template" && parts.size() == 2)
        run.info.replaceWith = unescaped(parts[1]);
    else if (parts[0] == "root" && parts.size() == 2)
        run.roots.push_back(withSlash(unescaped(parts[1]))); // checked to be absolute at use
    else if (parts[0] == "drop" && parts.size() == 2)
        std::erase_if(run.entries, [&](const Entry& e) { return e.number == parts[1]; });
    else if (parts[0] == "file" && parts.size() == 9 && isPlainNumber(parts[1]))
        run.entries.push_back({parts[1], parts[2],
                               static_cast<mode_t>(std::stoul(parts[3], nullptr, 8)), parts[6],
                               parts[7], unescaped(parts[8])});
}

} // namespace

UndoJournal::UndoJournal(const std::string& root, const UndoRunRequest& request) {
    const std::string base = withSlash(root);
    if (!util::makeFolders(base, util::NewFolderMode::Private, m_root))
        throw UndoJournalError("Cannot create the undo folder " + base + ": " + errnoText(errno));
    struct stat info = {};
    if (::fstat(m_root.fd.get(), &info) != 0 || !util::isPrivateFolder(info))
        throw UndoJournalError(base + " is not a folder of yours; no undo journal is kept there");
    // Undo may run from anywhere: relative names are kept from where this run is.
    std::error_code failed;
    m_workingFolder = withSlash(std::filesystem::current_path(failed).string());
    auto now = std::chrono::system_clock::now();
    for (;; now += std::chrono::microseconds(1)) {
        m_id = newRunId(now);
        m_folder = base + m_id + "/";
        if (m_root.makeSubfolder(m_id, 0700) == 0)
            break;
        if (errno != EEXIST)
            throw UndoJournalError("Cannot create the undo folder " + m_folder + ": " +
                                   errnoText(errno));
    }
    int err = 0;
    m_run.fd.reset(m_root.openSubfolder(m_id));
    m_run.path = m_folder;
    if (m_run.fd.isOpen() && ::fchmod(m_run.fd.get(), 0700) == 0) // whatever the umask
        m_manifest.reset(m_run.createFile(kManifest, 0600, true));
    const std::string header = std::string(kMagic) + "time\t" +
                               std::to_string(std::chrono::system_clock::to_time_t(now)) +
                               "\npattern\t" + escaped(request.pattern) + "\ntemplate\t" +
                               escaped(request.replaceWith) + "\n";
    if (!m_manifest.isOpen() || !util::writeAll(m_manifest.get(), header, err)) {
        err = err != 0 ? err : errno;
        removeRun(m_root, m_id);
        throw UndoJournalError("Cannot write the undo journal in " + m_folder + ": " +
                               errnoText(err));
    }
}

UndoJournal::~UndoJournal() {
    if (m_entries == 0) {
        m_manifest.close();
        m_run.fd.close();
        removeRun(m_root, m_id);
    }
}

void UndoJournal::expect(std::string oldHash, std::string newHash) {
    m_oldHash = std::move(oldHash);
    m_newHash = std::move(newHash);
}

void UndoJournal::recordRoots(const std::vector<std::string>& roots) {
    std::string lines;
    for (const std::string& root : roots) {
        if (std::find(m_roots.begin(), m_roots.end(), root) != m_roots.end())
            continue;
        m_roots.push_back(root);
        lines += "root\t" + escaped(root) + "\n";
    }
    int err = 0;
    util::writeAll(m_manifest.get(), lines, err); // flushed with the first file's line
}

// Keeps the old content as the entry: the very inode, linked, where the file is replaced by a
// rename on this file system; otherwise a flushed copy. Refused when the file is gone.
util::WriteOutcome UndoJournal::keepContent(const util::ReplacedFile& file,
                                            const std::string& entry, std::string& kind, int& err) {
    if (file.original == nullptr) {
        kind = "created";
        return util::WriteOutcome::Written;
    }
    if (file.rewrittenFd < 0 && m_run.linkFrom(file.folder, file.name, entry) == 0) {
        kind = "linked";
        return util::WriteOutcome::Written;
    }
    kind = "copied";
    const util::UniqueFd from(file.rewrittenFd >= 0 ? -1
                                                    : file.folder.openFile(file.name, O_RDONLY));
    if (file.rewrittenFd < 0 && !from.isOpen() && errno == ENOENT)
        return util::WriteOutcome::Refused;
    const int source = file.rewrittenFd >= 0 ? file.rewrittenFd : from.get();
    util::UniqueFd copy(m_run.createFile(entry, 0600));
    if (source < 0 || !copy.isOpen()) {
        err = errno;
        return util::WriteOutcome::Failed;
    }
    if (util::copyData(source, copy.get(), err) && syncFd(copy.get(), err))
        return util::WriteOutcome::Written;
    m_run.remove(entry);
    return util::WriteOutcome::Failed;
}

bool UndoJournal::appendEntry(const std::string& line, bool flush, int& err) {
    // The manifest line and the entry's name are flushed before the file is replaced.
    if (util::writeAll(m_manifest.get(), line, err) &&
        (!flush || m_holdFlushes ||
         (::fdatasync(m_manifest.get()) == 0 && syncFd(m_run.fd.get(), err))))
        return true;
    err = err != 0 ? err : errno;
    return false;
}

bool UndoJournal::flushHeld(std::string& error) {
    int err = 0;
    if (::fdatasync(m_manifest.get()) == 0 && syncFd(m_run.fd.get(), err))
        return true;
    error = "Cannot write the undo journal in " + m_folder + ": " +
            errnoText(err != 0 ? err : errno) + "; nothing more was replaced";
    return false;
}

void UndoJournal::drop(int32_t entry) {
    const std::string number = std::to_string(entry);
    m_run.remove(number);
    int err = 0;
    util::writeAll(m_manifest.get(), "drop\t" + number + "\n", err); // lost, undo refuses it
}

util::WriteOutcome UndoJournal::keepOldContent(const util::ReplacedFile& file, std::string& error) {
    const std::string entry = std::to_string(m_entries + 1);
    std::string kind;
    int err = 0;
    const util::WriteOutcome kept = keepContent(file, entry, kind, err);
    if (kept == util::WriteOutcome::Refused)
        return kept;
    // A new copy keeps nothing old: should its line be lost, undo merely leaves the copy.
    if (kept != util::WriteOutcome::Written ||
        !appendEntry(entryLine(file, entry, kind), kind != "created", err)) {
        if (kind != "created")
            m_run.remove(entry);
        error = "Cannot keep the old content of " + file.path + " for undo in " + m_folder + ": " +
                errnoText(err) + "; not replaced (--no-undo replaces without keeping it)";
        return util::WriteOutcome::Failed;
    }
    ++m_entries;
    m_oldHash.clear();
    m_newHash.clear();
    return util::WriteOutcome::Written;
}

// "file <n> <kind> <mode> <uid> <gid> <old hash> <new hash> <path>", tab-separated; the path is
// the file's place without links, where the gate found it.
std::string UndoJournal::entryLine(const util::ReplacedFile& file, const std::string& entry,
                                   const std::string& kind) const {
    const struct stat none = {};
    const struct stat& original = file.original != nullptr ? *file.original : none;
    char mode[16];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(original.st_mode & 07777));
    const std::string path = !file.folder.real.empty()    ? file.folder.real + file.name
                             : file.path.starts_with('/') ? file.path
                                                          : m_workingFolder + file.path;
    return "file\t" + entry + "\t" + kind + "\t" + mode + "\t" + std::to_string(original.st_uid) +
           "\t" + std::to_string(original.st_gid) + "\t" + m_oldHash + "\t" + m_newHash + "\t" +
           escaped(path) + "\n";
}

std::vector<UndoRunInfo> listUndoRuns(const std::string& root, std::vector<std::string>* notices) {
    std::vector<UndoRunInfo> runs;
    util::GatedFolder folder;
    std::string why;
    if (!openUndoRoot(root, folder, why)) {
        if (notices != nullptr && !why.empty())
            notices->push_back(why);
        return runs;
    }
    noteStrangers(folder, notices);
    for (const std::string& id : runIds(folder))
        if (const std::optional<RunRecord> run = readRun(folder, id); run && run->info.files > 0)
            runs.push_back(run->info);
    std::reverse(runs.begin(), runs.end());
    return runs;
}

namespace {

// Where an entry is put back: its folder, reached beneath one of the run's folders through no
// link (one that became a link since is refused), and its name there.
struct EntryPlace {
    util::GatedFolder folder;
    std::string name;
};

std::string placeOf(const RunRecord& run, const Entry& entry, EntryPlace& place, bool& missing) {
    missing = false;
    const std::string folder = util::fileFolder(entry.path);
    place.name = entry.path.substr(folder.size());
    std::vector<std::string> roots;
    for (const std::string& root : run.roots)
        if (root.starts_with('/') && entry.path.starts_with(root))
            roots.push_back(root);
    if (roots.empty() || place.name.empty())
        return "lies outside the folders the run searched; left alone";
    if (util::WriteRoots(roots).openFolder(folder, place.folder, false))
        return {};
    if (errno == ENOENT) {
        missing = true;
        return "no longer there";
    }
    if (errno == ELOOP || errno == EXDEV)
        return "a folder on its way is now a link; left as it is";
    return "cannot be reached: " + errnoText(errno);
}

// The hash of a regular file's content, read through the gated folder; "" with `why` when not.
std::string hashOf(const util::GatedFolder& folder, const std::string& name, std::string& why) {
    const util::UniqueFd file(folder.openFile(name, O_RDONLY | O_NONBLOCK));
    struct stat info = {};
    std::string content;
    int err = 0;
    if (!file.isOpen() || ::fstat(file.get(), &info) != 0 ||
        util::readOpenedFile(file, static_cast<size_t>(info.st_size), content, err) ==
            util::ReadStatus::Unreadable) {
        why = "cannot be read: " + errnoText(err != 0 ? err : errno);
        return {};
    }
    return util::contentHash(content);
}

// Why the entry's file may not be put back; empty when it may. A file already holding its old
// content needs nothing (`done`).
std::string refusalOf(const RunRecord& run, const Entry& entry, bool force, EntryPlace& place,
                      bool& done) {
    done = false;
    bool missing = false;
    if (std::string why = placeOf(run, entry, place, missing); !why.empty()) {
        done = missing && entry.kind == "created"; // the copy is gone already
        return done ? "" : why;
    }
    struct stat info = {};
    if (place.folder.stat(place.name, info) != 0) {
        if (entry.kind == "created") {
            done = true;
            return {};
        }
        return force ? std::string() : "no longer there";
    }
    if (!S_ISREG(info.st_mode))
        return "no longer a regular file";
    std::string why;
    const std::string hash = hashOf(place.folder, place.name, why);
    if (hash.empty())
        return why;
    if (entry.kind != "created" && !entry.oldHash.empty() && hash == entry.oldHash) {
        done = true;
        return {};
    }
    if (hash != entry.newHash && !force)
        return "changed since the run; left as it is (--force puts the old content back anyway)";
    return {};
}

// A backup left beside the file by a rewrite that was killed before it removed it; it holds the
// very content the journal kept, so it goes once that is back.
void removeStaleBackup(const EntryPlace& place, const Entry& entry, UndoOutcome& outcome) {
    const std::string backup = place.name + std::string(util::kBackupNameSuffix);
    struct stat info = {};
    std::string why;
    if (entry.oldHash.empty() || place.folder.stat(backup, info) != 0 || !S_ISREG(info.st_mode) ||
        hashOf(place.folder, backup, why) != entry.oldHash || place.folder.remove(backup) != 0)
        return;
    outcome.notices.push_back(util::fileFolder(entry.path) + backup +
                              ", left by an interrupted replacement of " + entry.path +
                              ", was removed; the old content came back from the undo journal");
}

// Puts one entry's old content back at its place, or removes the copy the run created.
std::string restore(const util::GatedFolder& run, const Entry& entry, const EntryPlace& place,
                    UndoOutcome& outcome) {
    if (entry.kind == "created")
        return place.folder.remove(place.name) == 0 || errno == ENOENT ? "" : errnoText(errno);
    struct stat now = {};
    // The kept inode itself goes back when it can: its mode, owner and attributes with it.
    if (entry.kind == "linked" && (place.folder.stat(place.name, now) != 0 || now.st_nlink <= 1) &&
        run.moveTo(entry.number, place.folder, place.name) == 0) {
        ::fsync(place.folder.fd.get());
        return {};
    }
    const util::UniqueFd kept(run.openFile(entry.number, O_RDONLY | O_NONBLOCK));
    struct stat info = {};
    std::string content;
    int err = 0;
    if (!kept.isOpen() || ::fstat(kept.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        util::readOpenedFile(kept, static_cast<size_t>(info.st_size), content, err) ==
            util::ReadStatus::Unreadable)
        return "the kept content cannot be read: " + errnoText(err != 0 ? err : errno);
    removeStaleBackup(place, entry, outcome);
    std::string message;
    if (util::writeIntoFolder(place.folder, place.name, content, message) !=
        util::WriteOutcome::Written)
        return message;
    if (const util::UniqueFd back(place.folder.openFile(place.name, O_RDONLY)); back.isOpen())
        ::fchmod(back.get(), entry.mode);
    return {};
}

// The run undo takes: the one named, or the newest not wholly undone yet.
std::optional<RunRecord> chosenRun(const std::string& root, const std::string& id,
                                   std::string& message, std::vector<std::string>* notices) {
    util::GatedFolder folder;
    std::string why;
    const bool opened = openUndoRoot(root, folder, why);
    if (!why.empty() && notices != nullptr)
        notices->push_back(why);
    if (opened)
        noteStrangers(folder, notices);
    if (!id.empty()) {
        std::optional<RunRecord> run = opened ? readRun(folder, id) : std::nullopt;
        util::GatedFolder named;
        struct stat info = {};
        if (opened && isRunName(id) && !openRun(folder, id, named) && folder.stat(id, info) == 0)
            message = folder.path + id + kNotYours;
        else if (!run || run->entries.empty())
            message = "No kept run " + id + " in " + root;
        return run && !run->entries.empty() ? run : std::nullopt;
    }
    if (opened) {
        const std::vector<std::string> ids = runIds(folder);
        for (auto it = ids.rbegin(); it != ids.rend(); ++it)
            if (std::optional<RunRecord> run = readRun(folder, *it);
                run && !run->entries.empty() && !run->info.undone)
                return run;
    }
    message = "Nothing to undo: no replacement kept in " + root + " is waiting to be undone";
    return std::nullopt;
}

} // namespace

std::optional<UndoRunInfo> undoCandidate(const std::string& root, const std::string& id,
                                         std::string& message) {
    const std::optional<RunRecord> run = chosenRun(root, id, message, nullptr);
    return run ? std::optional(run->info) : std::nullopt;
}

UndoOutcome undoRun(const std::string& root, const std::string& id, bool force) {
    UndoOutcome outcome;
    std::optional<RunRecord> run = chosenRun(root, id, outcome.message, &outcome.notices);
    if (!run)
        return outcome;
    outcome.runId = run->info.id;
    util::GatedFolder undo;
    util::GatedFolder folder;
    std::string why;
    if (!openUndoRoot(root, undo, why) || !openRun(undo, run->info.id, folder)) {
        outcome.message = withSlash(root) + run->info.id + kNotYours;
        return outcome;
    }
    std::string log;
    for (auto entry = run->entries.rbegin(); entry != run->entries.rend(); ++entry) {
        if (run->restored.contains(entry->number))
            continue;
        bool done = false;
        EntryPlace place;
        std::string refusal = refusalOf(*run, *entry, force, place, done);
        if (refusal.empty() && !done)
            refusal = restore(folder, *entry, place, outcome);
        if (!refusal.empty()) {
            outcome.refused.emplace_back(entry->path, refusal);
            continue;
        }
        outcome.restored.push_back(entry->path);
        log += entry->number + "\n";
        folder.remove(entry->number); // what went back needs no keeping
    }
    if (outcome.restored.empty() && outcome.refused.empty())
        outcome.message = "Run " + run->info.id + " was undone already; nothing to do";
    const util::UniqueFd undone(folder.appendToFile(kUndoneLog, 0600));
    int err = 0;
    if (undone.isOpen() && util::writeAll(undone.get(), log, err))
        ::fdatasync(undone.get());
    return outcome;
}

void pruneUndoRuns(const std::string& root, const JournalLimits& limits) {
    util::GatedFolder undo;
    std::string why;
    if (!openUndoRoot(root, undo, why))
        return;
    std::vector<std::string> ids = runIds(undo);
    int64_t total = 0;
    int32_t kept = 0;
    // Newest first: a run stays while both limits leave room for it. Only real runs count, and
    // only they are removed.
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        util::GatedFolder run;
        if (!openRun(undo, *it, run) || !completeLines(run, kManifest))
            continue;
        int64_t bytes = 0;
        for (const std::string& name : namesIn(run)) {
            struct stat info = {};
            if (name[0] != '.' && run.stat(name, info) == 0)
                bytes += info.st_size;
        }
        if (kept == 0 || (kept < limits.runs && total + bytes <= limits.bytes)) {
            total += bytes;
            ++kept;
        } else {
            run.fd.close();
            removeRun(undo, *it);
        }
    }
}

} // namespace kestrava::search
