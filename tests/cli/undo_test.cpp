// kestrava-cli undo: what a replace (or script) run changed goes back exactly, and nothing a
// user changed since is lost without --force.
#include "cli_test_util.h"

#include "search/undo_journal.h"
#include "util/content_hash.h"
#include "util/file_io.h"
#include "util/unique_fd.h"

#include <climits>
#include <cstdlib>
#include <pty.h>
#include <sys/stat.h>

#include <map>

namespace kestrava::cli::test {
namespace {

using namespace std::string_literals;

class Undo : public CliScratchTest {
  protected:
    // Every name below the tree: its kind, mode, link count and content (or link target).
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> state;
        for (const auto& entry : fs::recursive_directory_iterator(m_root)) {
            struct stat info = {};
            lstat(entry.path().c_str(), &info);
            std::string what = std::to_string(info.st_mode) + "/" + std::to_string(info.st_nlink);
            what += S_ISLNK(info.st_mode)   ? "->" + fs::read_symlink(entry.path()).string()
                    : S_ISREG(info.st_mode) ? ":" + readFile(entry.path())
                                            : "";
            state[entry.path().string()] = what;
        }
        return state;
    }
    CliRun replace(const std::string& find, const std::string& with,
                   std::vector<std::string> more = {"--in-situ"}) const {
        more.insert(more.begin(), {"replace", "-d", m_root + "<+>", "-f", "*.txt", "-e", find, "-r",
                                   with, "--yes", "--threads", "1"});
        return cli(more);
    }
    // Under the test build's fault hook, KESTRAVA_FAULT.
    CliRun replaceUnder(const char* fault, const std::string& with) const {
        setenv("KESTRAVA_FAULT", fault, 1);
        CliRun run = replace("world", with);
        unsetenv("KESTRAVA_FAULT");
        return run;
    }
    CliRun undo(const std::string& more = "") const {
        return cli(more.empty() ? std::vector<std::string>{"undo", "--yes"}
                                : std::vector<std::string>{"undo", "--yes", more});
    }
    std::string lastRunId() const {
        const CliRun list = cli({"undo", "--list"});
        return list.out.substr(0, list.out.find(' '));
    }
    void writeTree() {
        writeFile(m_root + "/a.txt", "hello world\r\nbye world\0tail"s);
        chmod((m_root + "/a.txt").c_str(), 0640);
        writeFile(m_root + "/sub/b.txt", "world\n");
        writeFile(m_root + "/sub/m.txt", "multi world\n");
        fs::create_hard_link(m_root + "/sub/m.txt", m_root + "/sub/m2.dat");
        fs::create_symlink("../a.txt", m_root + "/sub/link.txt");
    }
};

// A preview writes nothing. Runs go back newest first, byte for byte: modes, links, hard links
// (rewritten through their inode). A run is undone once all its files are back, and a file changed
// since is kept unless --force, which then acts on that same run. A script run is one step, even
// where two of its groups wrote one file. The copies a run made go, unless changed since.
TEST_F(Undo, RunsGoBackNewestFirstOnceAndNeverOverALaterEdit) {
    writeTree();
    const auto before = snapshot();
    EXPECT_EQ(replace("world", "planet", {"--in-situ", "--preview"}).status, 0);
    EXPECT_EQ(snapshot(), before) << "a preview writes nothing";
    ASSERT_EQ(replace("world", "planet").status, 0);
    EXPECT_EQ(readFile(m_root + "/sub/m2.dat"), "multi planet\n");
    const std::string first = lastRunId();
    writeFile(m_scratch / "two.ksc", "Folder(s):  " + m_root +
                                         "<+>\nFile(s):    *.txt\n\n"
                                         "Find:       planet\nReplace:    moon\n\n"
                                         "Folder(s):  " +
                                         m_root +
                                         "<+>\nFile(s):    *.txt\n\n"
                                         "Find:       moon\nReplace:    star\n");
    ASSERT_EQ(cli({"script", (m_scratch / "two.ksc").string(), "--in-situ", "--yes"}).status, 0);
    EXPECT_EQ(readFile(m_root + "/sub/b.txt"), "star\n");
    EXPECT_EQ(undo().status, 0);
    EXPECT_EQ(readFile(m_root + "/sub/b.txt"), "planet\n") << "the whole script is one step";

    writeFile(m_root + "/sub/b.txt", "edited by hand\n");
    CliRun run = undo();
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr(m_root + "/sub/b.txt: changed since the run"));
    EXPECT_EQ(readFile(m_root + "/sub/b.txt"), "edited by hand\n");
    EXPECT_EQ(readFile(m_root + "/a.txt"), "hello world\r\nbye world\0tail"s);

    run = undo();
    EXPECT_EQ(run.status, 2) << "a run with a refused file stays the one to undo";
    EXPECT_THAT(run.err, HasSubstr("Undid run " + first));
    run = undo("--force");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(snapshot(), before) << "--force puts back that same run";
    run = undo();
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("Nothing to undo"));
    run = undo(first);
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("was undone already; nothing to do"));

    ASSERT_EQ(replace("world", "planet", {}).status, 0);
    writeFile(m_root + "/kesReplace/a.txt", "kept\n");
    EXPECT_EQ(undo().status, 2);
    EXPECT_FALSE(fs::exists(m_root + "/sub/kesReplace/b.txt"));
    EXPECT_EQ(readFile(m_root + "/kesReplace/a.txt"), "kept\n");
}

// The undo folder is the user's alone: made 0700 whatever the umask, and what in it is not a run
// of the user's own (a link, a folder others may write to) is named and never restored from or
// pruned through. A run puts files back only beneath the folders it searched, through no link,
// even with --force.
TEST_F(Undo, TheJournalIsTheUsersAloneAndPutsBackOnlyWhereTheRunWrote) {
    writeFile(m_root + "/sub/b.txt", "world\n");
    const mode_t umaskBefore = ::umask(0);
    ASSERT_EQ(replace("world", "planet").status, 0);
    ::umask(umaskBefore);
    const std::string undoRoot = (m_scratch / "state/kestrava/undo/").string();
    const std::string run = lastRunId();
    for (const std::string& folder :
         std::vector<std::string>{undoRoot + "..", undoRoot, undoRoot + run}) {
        struct stat info = {};
        ASSERT_EQ(::stat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u) << folder;
    }
    const std::string outside = (m_scratch / "outside").string();
    writeFile(outside + "/b.txt", "planet\n");
    fs::copy(undoRoot + run, m_scratch / "copy");
    fs::create_directory_symlink(m_scratch / "copy", undoRoot + "99990101T000000.000001");
    fs::copy(undoRoot + run, undoRoot + "99990101T000000.000002");
    ::chmod((undoRoot + "99990101T000000.000002").c_str(), 0777);
    const std::string crafted = undoRoot + "99990101T000000.000003/";
    fs::create_directory(crafted);
    ::chmod(crafted.c_str(), 0700);
    writeFile(crafted + "1", "evil\n");
    writeFile(crafted + "manifest",
              "kestrava-undo\t1\ntime\t0\npattern\tx\ntemplate\ty\nroot\t" + m_root +
                  "\nfile\t1\tcopied\t644\t0\t0\t" + util::contentHash("x") + "\t" +
                  util::contentHash("planet\n") + "\t" + outside +
                  "/b.txt\nfile\t../1\tcopied\t644\t0\t0\tx\ty\t" + m_root + "/sub/b.txt\n");

    CliRun undone = undo("--force");
    EXPECT_EQ(undone.status, 2);
    for (const std::string& named : std::vector<std::string>{
             undoRoot + "99990101T000000.000001 is not a run of yours; left alone",
             undoRoot + "99990101T000000.000002 is not a run of yours; left alone",
             outside + "/b.txt: lies outside the folders the run searched; left alone",
             "0 files put back, 1 refused"})
        EXPECT_THAT(undone.err, HasSubstr(named));
    EXPECT_EQ(readFile(outside + "/b.txt"), "planet\n");
    EXPECT_EQ(readFile(m_root + "/sub/b.txt"), "planet\n");

    search::pruneUndoRuns(undoRoot, {1, int64_t{1} << 30});
    EXPECT_FALSE(fs::exists(undoRoot + run)) << "the older real run goes";
    EXPECT_TRUE(fs::is_symlink(undoRoot + "99990101T000000.000001"));
    EXPECT_TRUE(fs::exists(m_scratch / "copy/manifest")) << "no removal follows a link";
    EXPECT_TRUE(fs::exists(undoRoot + "99990101T000000.000002/manifest"));

    // A folder on the way that became a link since the run is refused, with or without --force.
    fs::remove_all(crafted);
    ASSERT_EQ(replace("planet", "moon").status, 0);
    fs::rename(m_root + "/sub", m_root + "/moved");
    fs::create_directory_symlink(outside, m_root + "/sub");
    writeFile(outside + "/b.txt", "moon\n");
    for (const char* force : {"--yes", "--force"}) {
        undone = undo(force);
        EXPECT_EQ(undone.status, 2);
        EXPECT_THAT(undone.err,
                    HasSubstr(m_root + "/sub/b.txt: a folder on its way is now a link"));
        EXPECT_EQ(readFile(outside + "/b.txt"), "moon\n");
    }
}

// A file deeper than PATH_MAX is replaced and put back like any other.
TEST_F(Undo, AFilePastPathMaxIsPutBack) {
    std::string bottom = m_root;
    {
        util::UniqueFd folder(::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (; bottom.size() <= PATH_MAX; bottom += "/dd") {
            ASSERT_EQ(::mkdirat(folder.get(), "dd", 0700), 0);
            folder.reset(::openat(folder.get(), "dd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        }
        const util::UniqueFd out(
            ::openat(folder.get(), "deep.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        ASSERT_EQ(::write(out.get(), "world\n", 6), 6);
    }
    const auto content = [&] {
        std::string text;
        int error = 0;
        util::readWholeRegularFile(bottom + "/deep.txt", text, error, 100);
        return text;
    };
    ASSERT_EQ(replace("world", "planet").status, 0);
    EXPECT_EQ(content(), "planet\n");
    const CliRun run = undo();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(content(), "world\n");
    // Too deep for the scratch folder's removal.
    EXPECT_EQ(std::system(("rm -rf -- '" + m_root + "/dd'").c_str()), 0);
}

// A file listed twice is read the second time only once the first write is in place, even while
// writes wait in a batch for the journal's flush.
TEST_F(Undo, AFileListedTwiceIsReplacedTwiceAndUndoneInOneStep) {
    for (const char* threads : {"1", "2"}) {
        writeFile(m_root + "/a.txt", "o\n");
        writeFile(m_root + "/b.txt", "o\n");
        const CliRun run = cli({"replace", "-d", m_root + "|" + m_root, "-f", "*.txt", "-e", "o",
                                "-r", "oo", "--in-situ", "--yes", "--threads", threads});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(readFile(m_root + "/a.txt") + readFile(m_root + "/b.txt"), "oooo\noooo\n");
        EXPECT_EQ(undo().status, 0);
        EXPECT_EQ(readFile(m_root + "/a.txt") + readFile(m_root + "/b.txt"), "o\no\n");
    }
}

// --interactive on a terminal: y, n, a, d and q per change, as git add -p asks them; a file
// changed after the search is named and left as it is.
TEST_F(Undo, InteractiveReplacesOnlyWhatWasChosen) {
    writeFile(m_root + "/a.txt", "x x\r\nx\n");
    writeFile(m_root + "/b.txt", "x\nx\n");
    writeFile(m_root + "/c.txt", "x\n");
    writeFile(m_root + "/d.txt", "x\n");
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0)
        execCli({"replace", "-d", m_root, "-f", "*.txt", "-e", "x", "-r", "Y", "--in-situ",
                 "--interactive"});
    ASSERT_GT(pid, 0);
    std::string shown = readTerminal(terminal, "Replace this?");
    writeFile(m_root + "/b.txt", "changed\n"); // searched already, not yet asked for
    const std::string answers = "y\nwhat\nn\na\nd\nq\n";
    ASSERT_EQ(write(terminal, answers.data(), answers.size()), ssize_t(answers.size()));
    shown += readTerminal(terminal);
    int status = 0;
    waitpid(pid, &status, 0);
    close(terminal);
    EXPECT_EQ(WEXITSTATUS(status), 2) << shown;
    EXPECT_THAT(shown, HasSubstr(m_root + "/a.txt:1\r\n-x x\r\n+x Y\r\n"));
    EXPECT_THAT(shown, HasSubstr("y: replace this, n: keep it")) << "help on a typo";
    EXPECT_THAT(shown, HasSubstr(m_root + "/b.txt: changed since it was searched; left as it is"));
    EXPECT_THAT(shown, HasSubstr("2 changes replaced in 1 file"));
    EXPECT_EQ(readFile(m_root + "/a.txt"), "Y x\r\nY\n");
    EXPECT_EQ(readFile(m_root + "/b.txt") + readFile(m_root + "/c.txt") +
                  readFile(m_root + "/d.txt"),
              "changed\nx\nx\n");
    EXPECT_EQ(undo().status, 0);
    EXPECT_EQ(readFile(m_root + "/a.txt"), "x x\r\nx\n");
}

// Without a journal nothing is replaced, whatever keeps it from being written; --no-undo goes on
// without one. A kill between journaling a file and replacing it loses nothing either.
TEST_F(Undo, NoFileIsReplacedBeforeItsOldContentIsKept) {
    writeFile(m_root + "/0big.txt", std::string(8192, 'x') + "world\n");
    fs::create_hard_link(m_root + "/0big.txt", m_root + "/0big.dat"); // copied, not linked
    writeFile(m_root + "/a.txt", "world\n");
    writeFile(m_root + "/b.txt", "world\n");
    const auto before = snapshot();

    CliRun run = replaceUnder("write:nospace", "planet"); // a nearly full disk
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err,
                HasSubstr("Cannot keep the old content of " + m_root + "/0big.txt for undo"));
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(cli({"undo", "--list"}).status, 1) << "a journal that kept nothing is not a run";

    writeFile(m_scratch / "file", "");
    setenv("XDG_STATE_HOME", (m_scratch / "file").c_str(), 1);
    run = replace("world", "planet");
    EXPECT_EQ(run.status, 2);
    EXPECT_THAT(run.err, HasSubstr("add --no-undo to replace without keeping"));
    EXPECT_THAT(run.err, HasSubstr(": Not a directory")) << "the real reason";
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(replace("world", "planet", {"--in-situ", "--no-undo"}).status, 0);
    setenv("XDG_STATE_HOME", (m_scratch / "state").c_str(), 1);

    writeFile(m_root + "/a.txt", "world\n");
    writeFile(m_root + "/b.txt", "world\n");
    EXPECT_EQ(replaceUnder("after-keep:abort:b.txt", "moon").status, -1); // before b.txt's rename
    EXPECT_EQ(readFile(m_root + "/a.txt"), "moon\n");
    EXPECT_EQ(undo().status, 0);
    EXPECT_EQ(readFile(m_root + "/a.txt"), "world\n");
    EXPECT_EQ(readFile(m_root + "/b.txt"), "world\n");

    // Killed once a hard-linked file is rewritten, before its backup is removed: undo puts the
    // journal's copy back and removes the stale backup, naming both.
    writeFile(m_root + "/0big.txt", std::string(8192, 'x') + "world\n");
    EXPECT_EQ(replaceUnder("after-rewrite:abort:0big.txt", "moon").status, -1);
    const std::string backup = m_root + "/0big.txt.kestrava-backup";
    ASSERT_TRUE(fs::exists(backup));
    run = undo();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr(backup + ", left by an interrupted replacement of " + m_root +
                                   "/0big.txt, was removed"));
    auto after = snapshot();
    std::erase_if(after, [](const auto& entry) { // what a kill leaves; hidden, and never read
        return entry.first.find(".kestrava-tmp-") != std::string::npos;
    });
    EXPECT_TRUE(after == before);
}

} // namespace
} // namespace kestrava::cli::test
