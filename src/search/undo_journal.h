// The undo journal of replacing runs. Before a run replaces a file, the file's old content is
// kept in the run's folder (its inode hard-linked there, or a copy where a link cannot be made or
// would change with the file) and a line of the run's manifest says where it came from and what
// was written; both are on disk before the file is replaced. undoRun puts the old files back.
#pragma once

#include "util/file_io.h"
#include "util/unique_fd.h"
#include "util/write_gate.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrava::search {

// Raised when a run's journal cannot be made; the message names the folder and the reason.
struct UndoJournalError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// How many runs are kept, and how many bytes of old content; older runs go first.
struct JournalLimits {
    int32_t runs = 20;
    int64_t bytes = int64_t{1} << 30;
};

// What the user asked of a run, recorded in its manifest and shown in listings.
struct UndoRunRequest {
    std::string pattern;     // the expression, or "script <file>"
    std::string replaceWith; // the template
};

class UndoJournal final : public util::OldContentKeeper {
  public:
    // Makes a new run folder under root (root and its parents are made when missing, each for
    // this user alone). Raises UndoJournalError when root is not a folder of this user's own.
    UndoJournal(const std::string& root, const UndoRunRequest& request);
    ~UndoJournal() override; // a run that kept nothing leaves nothing behind
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    // The hashes (util::contentHash) of the next replaced file's old and new content.
    void expect(std::string oldHash, std::string newHash);
    util::WriteOutcome keepOldContent(const util::ReplacedFile& file, std::string& error) override;
    // The folders the run writes beneath (absolute, without links): undo puts files back only
    // there.
    void recordRoots(const std::vector<std::string>& roots);

    // While held, kept files are not flushed one by one; flushHeld then makes all of them durable
    // with one flush, before any of them is replaced.
    void holdFlushes(bool hold) { m_holdFlushes = hold; }
    bool flushHeld(std::string& error);
    // File number `entry` (files() after it was kept) was not replaced after all.
    void drop(int32_t entry);

    const std::string& id() const { return m_id; }
    int32_t files() const { return m_entries; }

  private:
    util::WriteOutcome keepContent(const util::ReplacedFile& file, const std::string& entry,
                                   std::string& kind, int& err);
    bool appendEntry(const std::string& line, bool flush, int& err);
    std::string entryLine(const util::ReplacedFile& file, const std::string& entry,
                          const std::string& kind) const;

    std::string m_folder; // the run's folder, ending with "/"
    std::string m_workingFolder;
    std::string m_id;
    util::GatedFolder m_root;
    util::GatedFolder m_run;
    util::UniqueFd m_manifest;
    std::vector<std::string> m_roots;
    int32_t m_entries = 0;
    bool m_holdFlushes = false;
    std::string m_oldHash;
    std::string m_newHash;
};

// A kept run, as listings show it.
struct UndoRunInfo {
    std::string id;
    int64_t time = 0; // seconds since the epoch
    std::string pattern;
    std::string replaceWith;
    int32_t files = 0;
    bool undone = false; // undone already (files it refused then are still kept)
};

// The kept runs under root, newest first; runs that kept nothing are left out. What there is not
// this user's own is left alone and named in `notices`.
std::vector<UndoRunInfo> listUndoRuns(const std::string& root,
                                      std::vector<std::string>* notices = nullptr);

struct UndoOutcome {
    std::string runId; // the run undone; empty when there was none to undo
    std::vector<std::string> restored;
    std::vector<std::pair<std::string, std::string>> refused; // path and why
    std::vector<std::string> notices; // what else was done or left alone, such as a stale backup
    std::string message;              // when nothing was tried: why
};

// The run undoRun(root, id) would undo; nothing, with `message` saying why, when there is none.
std::optional<UndoRunInfo> undoCandidate(const std::string& root, const std::string& id,
                                         std::string& message);

// Puts back the old content of run `id` (empty: the newest run not undone yet, which a run with
// refused files stays), the latest replacement first, only beneath the folders the run searched
// and never through a link. A file that no longer holds what the run wrote is refused, unless
// `force`; one that holds its old content already counts as restored. Copies the run created are
// removed.
UndoOutcome undoRun(const std::string& root, const std::string& id, bool force);

// Removes the oldest runs beyond the limits; the newest run is always kept. Only this user's own
// run folders are removed, and no removal follows a link.
void pruneUndoRuns(const std::string& root, const JournalLimits& limits);

} // namespace kestrava::search
