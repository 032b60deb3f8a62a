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

void removeRunFolder(const std::string& folder) {
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                ::unlink((folder + entry->d_name).c_str());
        ::closedir(dir);
    }
    ::rmdir(folder.c_str());
}

std::vector<std::string> runIds(const std::string& root) {
    std::vector<std::string> ids;
    if (DIR* dir = ::opendir(root.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                ids.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The complete lines of a journal file (a last line without its line feed was cut short by a
// crash and does not count); nothing when the file is missing.
std::optional<std::vector<std::string>> completeLines(const std::string& path) {
    std::string text;
    int err = 0;
    if (util::readWholeRegularFile(path, text, err, int64_t{1} << 30) == util::ReadStatus::Missing)
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
};

void readManifestLine(const std::vector<std::string>& parts, RunRecord& run);

// Reads a run's folder.
std::optional<RunRecord> readRun(const std::string& root, const std::string& id) {
    const std::string folder = withSlash(root) + id + "/";
    const std::optional<std::vector<std::string>> manifest = completeLines(folder + kManifest);
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
    run.info.files = static_cast<int32_t>(run.entries.size());
    const std::optional<std::vector<std::string>> undone = completeLines(folder + kUndoneLog);
    run.info.undone = undone.has_value();
    if (undone)
        run.restored.insert(undone->begin(), undone->end());
    return run;
}

void readManifestLine(const std::vector<std::string>& parts, RunRecord& run) {
    if (parts[0] == "time" && parts.size() == 2)
        run.info.time = std::stoll(parts[1]);
    else if (parts[0] == "pattern" && parts.size() == 2)
        run.info.pattern = unescaped(parts[1]);
    else if (parts[0] == "template" && parts.size() == 2)
        run.info.replaceWith = unescaped(parts[1]);
    else if (parts[0] == "drop" && parts.size() == 2)
        std::erase_if(run.entries, [&](const Entry& e) { return e.number == parts[1]; });
    else if (parts[0] == "file" && parts.size() == 9)
        run.entries.push_back({parts[1], parts[2],
                               static_cast<mode_t>(std::stoul(parts[3], nullptr, 8)), parts[6],
                               parts[7], unescaped(parts[8])});
}

} // namespace

UndoJournal::UndoJournal(const std::string& root, const UndoRunRequest& request) {
    const std::string base = withSlash(root);
    if (!util::forceFileFolder(base + "x"))
        throw UndoJournalError("Cannot create the undo folder " + base + ": " +
                               errnoText(errno != 0 ? errno : EACCES));
    // Undo may run from anywhere: relative names are kept from where this run is.
    std::error_code failed;
    m_workingFolder = withSlash(std::filesystem::current_path(failed).string());
    auto now = std::chrono::system_clock::now();
    for (;; now += std::chrono::microseconds(1)) {
        m_id = newRunId(now);
        m_folder = base + m_id + "/";
        if (::mkdir(m_folder.c_str(), 0700) == 0)
            break;
        if (errno != EEXIST)
            throw UndoJournalError("Cannot create the undo folder " + m_folder + ": " +
                                   errnoText(errno));
    }
    int err = 0;
    m_folderFd.reset(::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    m_manifest.reset(::openat(m_folderFd.get(), kManifest,
                              O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600));
    const std::string header = std::string(kMagic) + "time\t" +
                               std::to_string(std::chrono::system_clock::to_time_t(now)) +
                               "\npattern\t" + escaped(request.pattern) + "\ntemplate\t" +
                               escaped(request.replaceWith) + "\n";
    if (!m_manifest.isOpen() || !util::writeAll(m_manifest.get(), header, err)) {
        err = err != 0 ? err : errno;
        removeRunFolder(m_folder);
        throw UndoJournalError("Cannot write the undo journal in " + m_folder + ": " +
                               errnoText(err));
    }
}

UndoJournal::~UndoJournal() {
    if (m_entries == 0) {
        m_manifest.close();
        m_folderFd.close();
        removeRunFolder(m_folder);
    }
}

void UndoJournal::expect(std::string oldHash, std::string newHash) {
    m_oldHash = std::move(oldHash);
    m_newHash = std::move(newHash);
}

// Keeps the old content as the entry: the very inode, linked, where the file is replaced by a
// rename on this file system; otherwise a flushed copy.
bool UndoJournal::keepContent(const util::ReplacedFile& file, const std::string& entry,
                              std::string& kind, int& err) {
    if (file.original == nullptr) {
        kind = "created";
        return true;
    }
    if (file.rewrittenFd < 0 &&
        ::linkat(file.folderFd, file.name.c_str(), m_folderFd.get(), entry.c_str(), 0) == 0) {
        kind = "linked";
        return true;
    }
    kind = "copied";
    const util::UniqueFd from(file.rewrittenFd >= 0 ? -1
                                                    : ::openat(file.folderFd, file.name.c_str(),
                                                               O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const int source = file.rewrittenFd >= 0 ? file.rewrittenFd : from.get();
    util::UniqueFd copy(
        ::openat(m_folderFd.get(), entry.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (source < 0 || !copy.isOpen()) {
        err = errno;
        return false;
    }
    if (util::copyData(source, copy.get(), err) && syncFd(copy.get(), err))
        return true;
    ::unlinkat(m_folderFd.get(), entry.c_str(), 0);
    return false;
}

bool UndoJournal::appendEntry(const std::string& line, bool flush, int& err) {
    // The manifest line and the entry's name are flushed before the file is replaced.
    if (util::writeAll(m_manifest.get(), line, err) &&
        (!flush || m_holdFlushes ||
         (::fdatasync(m_manifest.get()) == 0 && syncFd(m_folderFd.get(), err))))
        return true;
    err = err != 0 ? err : errno;
    return false;
}

bool UndoJournal::flushHeld(std::string& error) {
    int err = 0;
    if (::fdatasync(m_manifest.get()) == 0 && syncFd(m_folderFd.get(), err))
        return true;
    error = "Cannot write the undo journal in " + m_folder + ": " +
            errnoText(err != 0 ? err : errno) + "; nothing more was replaced";
    return false;
}

void UndoJournal::drop(int32_t entry) {
    const std::string number = std::to_string(entry);
    ::unlinkat(m_folderFd.get(), number.c_str(), 0);
    int err = 0;
    util::writeAll(m_manifest.get(), "drop\t" + number + "\n", err); // lost, undo refuses it
}

bool UndoJournal::keepOldContent(const util::ReplacedFile& file, std::string& error) {
    const std::string entry = std::to_string(m_entries + 1);
    std::string kind;
    int err = 0;
    // A new copy keeps nothing old: should its line be lost, undo merely leaves the copy.
    if (!keepContent(file, entry, kind, err) ||
        !appendEntry(entryLine(file, entry, kind), kind != "created", err)) {
        if (kind != "created")
            ::unlinkat(m_folderFd.get(), entry.c_str(), 0);
        error = "Cannot keep the old content of " + file.path + " for undo in " + m_folder + ": " +
                errnoText(err) + "; not replaced (--no-undo replaces without keeping it)";
        return false;
    }
    ++m_entries;
    m_oldHash.clear();
    m_newHash.clear();
    return true;
}

// "file <n> <kind> <mode> <uid> <gid> <old hash> <new hash> <path>", tab-separated.
std::string UndoJournal::entryLine(const util::ReplacedFile& file, const std::string& entry,
                                   const std::string& kind) const {
    const struct stat none {};
    const struct stat& original = file.original != nullptr ? *file.original : none;
    char mode[16];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(original.st_mode & 07777));
    return "file\t" + entry + "\t" + kind + "\t" + mode + "\t" + std::to_string(original.st_uid) +
           "\t" + std::to_string(original.st_gid) + "\t" + m_oldHash + "\t" + m_newHash + "\t" +
           escaped(file.path.starts_with('/') ? file.path : m_workingFolder + file.path) + "\n";
}

std::vector<UndoRunInfo> listUndoRuns(const std::string& root) {
    std::vector<UndoRunInfo> runs;
    for (const std::string& id : runIds(root))
        if (const std::optional<RunRecord> run = readRun(root, id); run && run->info.files > 0)
            runs.push_back(run->info);
    std::reverse(runs.begin(), runs.end());
    return runs;
}

namespace {

// Why the file at entry.path may not be put back; empty when it may. A file already holding its
// old content needs nothing (`done`).
std::string refusalOf(const Entry& entry, bool force, bool& done) {
    done = false;
    struct stat info {};
    if (::lstat(entry.path.c_str(), &info) != 0) {
        if (entry.kind == "created") {
            done = true; // the copy is gone already
            return {};
        }
        return force ? std::string() : "no longer there";
    }
    if (!S_ISREG(info.st_mode))
        return "no longer a regular file";
    std::string content;
    int err = 0;
    if (util::readWholeRegularFile(entry.path, content, err, int64_t{1} << 31) ==
        util::ReadStatus::Unreadable)
        return "cannot be read: " + errnoText(err);
    const std::string hash = util::contentHash(content);
    if (entry.kind != "created" && !entry.oldHash.empty() && hash == entry.oldHash) {
        done = true;
        return {};
    }
    if (hash != entry.newHash && !force)
        return "changed since the run; left as it is (--force puts the old content back anyway)";
    return {};
}

// Puts one entry's old content back at its path, or removes the copy the run created.
std::string restore(const std::string& folder, const Entry& entry) {
    if (entry.kind == "created")
        return ::unlink(entry.path.c_str()) == 0 || errno == ENOENT ? "" : errnoText(errno);
    const std::string kept = folder + entry.number;
    struct stat now {};
    // The kept inode itself goes back when it can: its mode, owner and attributes with it.
    if (entry.kind == "linked" && (::lstat(entry.path.c_str(), &now) != 0 || now.st_nlink <= 1) &&
        ::rename(kept.c_str(), entry.path.c_str()) == 0) {
        if (const util::UniqueFd parent(
                ::open(util::fileFolder(entry.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            parent.isOpen())
            ::fsync(parent.get());
        return {};
    }
    std::string content;
    int err = 0;
    if (util::readWholeRegularFile(kept, content, err, int64_t{1} << 31) ==
        util::ReadStatus::Unreadable)
        return "the kept content cannot be read: " + errnoText(err);
    std::string message;
    if (!util::writeFileAtomically(entry.path, content, message))
        return message;
    ::chmod(entry.path.c_str(), entry.mode);
    return {};
}

// The run undo takes: the one named, or the newest not undone yet.
std::optional<RunRecord> chosenRun(const std::string& root, const std::string& id,
                                   std::string& message) {
    if (!id.empty()) {
        std::optional<RunRecord> run = readRun(root, id);
        if (!run || run->entries.empty())
            message = "No kept run " + id + " in " + root;
        return run && !run->entries.empty() ? run : std::nullopt;
    }
    const std::vector<std::string> ids = runIds(root);
    for (auto it = ids.rbegin(); it != ids.rend(); ++it)
        if (std::optional<RunRecord> run = readRun(root, *it);
            run && !run->entries.empty() && !run->info.undone)
            return run;
    message = "Nothing to undo: no replacement kept in " + root + " is waiting to be undone";
    return std::nullopt;
}

} // namespace

std::optional<UndoRunInfo> undoCandidate(const std::string& root, const std::string& id,
                                         std::string& message) {
    const std::optional<RunRecord> run = chosenRun(root, id, message);
    return run ? std::optional(run->info) : std::nullopt;
}

UndoOutcome undoRun(const std::string& root, const std::string& id, bool force) {
    UndoOutcome outcome;
    std::optional<RunRecord> run = chosenRun(root, id, outcome.message);
    if (!run)
        return outcome;
    outcome.runId = run->info.id;
    const std::string folder = withSlash(root) + run->info.id + "/";
    std::string log;
    for (auto entry = run->entries.rbegin(); entry != run->entries.rend(); ++entry) {
        if (run->restored.contains(entry->number))
            continue;
        bool done = false;
        std::string why = refusalOf(*entry, force, done);
        if (why.empty() && !done)
            why = restore(folder, *entry);
        if (!why.empty()) {
            outcome.refused.emplace_back(entry->path, why);
            continue;
        }
        outcome.restored.push_back(entry->path);
        log += entry->number + "\n";
        ::unlink((folder + entry->number).c_str()); // what went back needs no keeping
    }
    if (outcome.restored.empty() && outcome.refused.empty())
        outcome.message = "Run " + run->info.id + " was undone already; nothing to do";
    const util::UniqueFd undone(
        ::open((folder + kUndoneLog).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    int err = 0;
    if (undone.isOpen() && util::writeAll(undone.get(), log, err))
        ::fdatasync(undone.get());
    return outcome;
}

void pruneUndoRuns(const std::string& root, const JournalLimits& limits) {
    std::vector<std::string> ids = runIds(root);
    const std::string base = withSlash(root);
    int64_t total = 0;
    int32_t kept = 0;
    // Newest first: a run stays while both limits leave room for it.
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        const std::string folder = base + *it + "/";
        int64_t bytes = 0;
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                struct stat info {};
                if (entry->d_name[0] != '.' && ::stat((folder + entry->d_name).c_str(), &info) == 0)
                    bytes += info.st_size;
            }
            ::closedir(dir);
        }
        const bool first = it == ids.rbegin();
        if (first || (kept < limits.runs && total + bytes <= limits.bytes)) {
            total += bytes;
            ++kept;
        } else {
            removeRunFolder(folder);
        }
    }
}

} // namespace kestrava::search
