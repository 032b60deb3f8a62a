// The search on hostile input (runaway patterns, failing batches, special files, huge and deep
// trees, read-only targets) and replace output: where replaced text goes, what it holds, and that
// failures never damage the searched files.
#include "search_test_tree.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

extern char** environ;

namespace kestrava::search {
using namespace kestrava::util::testing;
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Backtracking without end ends the run with the limit's message. A pattern whose time grows with
// the square of the file is stopped inside the file, whose half-made results are dropped; the
// file that would take minutes is never finished.
TEST(RunawayPatterns, EndTheRunWithTheLimitsMessageAndHearAStopInsideOneSlowFile) {
    TempTree tree;
    tree.write("a/b.txt", std::string(40, 'a') + "b");
    EXPECT_THAT(
        errorOf([&] { searchTree(tree.path("a"), "*.txt", "(a+)+$"); }),
        ::testing::HasSubstr("The recursion and backtracking limit (MatchLimit) was reached"));
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += "word ";
    tree.write("slow.txt", text);
    for (const int32_t threads : {1, 2}) {
        std::stop_source stop;
        std::jthread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            stop.request_stop();
        });
        const SearchResults results =
            searchTree(tree.root(), "*.txt", "\\s.*\\d", "", true, {}, stop.get_token(), threads);
        EXPECT_TRUE(results.cancelled) << threads;
        EXPECT_EQ(results.filesScanned, 0) << threads;
        EXPECT_TRUE(results.files.empty()) << threads;
    }
}

// File 100's copy cannot be written: the test build's fault hook fills the disk for it.
TEST(FailingBatch, KeepsEarlierWritesNamesTheFileClearsTheResultsAndLeavesNoTemporaryFile) {
    const auto name = [](int i) { return "f" + std::to_string(1000 + i).substr(1) + ".txt"; };
    for (const int32_t threads : {1, 4}) {
        SCOPED_TRACE(threads);
        TempTree tree;
        std::string originals; // and then the copies made before the failure, in path order
        std::string expected;
        for (int i = 1; i <= 200; ++i) {
            tree.write(name(i), "old");
            originals += "/" + name(i) + "=old\n";
            expected += i < 100 ? "/kesReplace/" + name(i) + "=new\n" : "";
        }
        CompiledRequest request;
        ASSERT_EQ(prepareFindReplace({"-", "-", "old", "new", ""}, true, false, request), "");
        const Entries entries(tree.root(), "*.txt");
        SearchResults results;
        ::setenv("KESTRAVA_FAULT", ("disk-full:" + name(100)).c_str(), 1);
        const std::string error = errorOf([&] {
            scanFiles(entries.folders, entries.files, request, false, results, {}, {}, threads);
        });
        ::unsetenv("KESTRAVA_FAULT");
        EXPECT_TRUE(results.totalMatches == 0 && results.filesScanned == 0 && results.files.empty())
            << "a failed run keeps no results";
        for (const std::string& part :
             {tree.path("kesReplace/" + name(100)) + ": No space left on device",
              "\r\n99 files were replaced before the error; 101 files were not touched"s})
            EXPECT_THAT(error, ::testing::HasSubstr(part));
        EXPECT_EQ(filesBelow(tree.root()), originals + expected); // the run ends at the failure
    }
}

// Root reads anything, so files are made unreadable in ways that hold for root too: a link to
// itself cannot be opened and a dangling link names a missing file. FIFOs (one named exactly by
// a mask), a socket and a link to a device are no regular files; a FIFO opened for reading would
// wait for a writer forever, so it is never listed, and reaching the end is the proof. The large
// files are sparse: 2 GiB exactly, and 3 GiB, past what a 32-bit size holds.
TEST(SpecialFiles, AreNeverOpenedAndAreCountedWithTheirReason) {
    TempTree tree;
    tree.write("a.txt", "hit");
    tree.write("empty.txt", "");
    tree.write("sub/d.txt", "hit");
    ASSERT_EQ(::mkfifo(tree.path("pipe.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(tree.path("sub/exact").c_str(), 0600), 0);
    const util::UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree.path("sock.txt");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::symlink("/dev/zero", tree.path("zero.txt").c_str()), 0);
    ASSERT_EQ(::symlink("self.txt", tree.path("self.txt").c_str()), 0);
    ASSERT_EQ(::symlink("gone.txt", tree.path("dangling.txt").c_str()), 0);
    ASSERT_EQ(::truncate(tree.write("big.txt", "hit\n").c_str(), int64_t{1} << 31), 0);
    ASSERT_EQ(::truncate(tree.write("huge.txt", "hit\n").c_str(), int64_t{3} << 30), 0);

    std::string last;
    const SearchResults r = searchTree(tree.root() + "<+>", "*.txt|exact", "hit", "", true,
                                       [&](const Progress& p) { last = progressText(p); });
    // Seven listed (the regular files and the two bad links): no FIFO was ever opened. The empty
    // file is not counted as scanned either.
    EXPECT_EQ(last, "Processing file 2 of 7");
    EXPECT_EQ(std::tie(r.filesScanned, r.filesWithMatches, r.totalMatches, r.filesSkipped),
              std::tuple(2, 2, 2, 8));
    std::map<SkipReason, std::string> skipped; // the names skipped for each reason
    const std::string tooLarge = "File is 2 GiB or larger";
    for (const SkippedFile& file : r.skipped) {
        skipped[file.reason] += file.fileName.substr(tree.path("").size()) + " ";
        EXPECT_TRUE(file.reason != SkipReason::TooLarge || file.message == tooLarge)
            << file.message;
    }
    using enum SkipReason;
    EXPECT_EQ(skipped, (std::map<SkipReason, std::string>{
                           {TooLarge, "big.txt huge.txt "},
                           {Unreadable, "self.txt "},
                           {Missing, "dangling.txt "},
                           {NotRegular, "pipe.txt sock.txt zero.txt sub/exact "}}));

    // Read directly, as a listed file is: a FIFO put in its place is not waited on, and a file
    // of 2 GiB exactly is refused before any of it is read.
    const std::tuple<std::string, util::ReadStatus, std::string> reads[] = {
        {"pipe.txt", util::ReadStatus::NotRegular, "Not a regular file"},
        {"big.txt", util::ReadStatus::TooLarge, tooLarge}};
    for (const auto& [name, status, message] : reads) {
        std::string buffer, error;
        EXPECT_EQ(readWholeFile(tree.path(name), buffer, error), status) << name;
        EXPECT_EQ(error + buffer, message);
    }
}

// 2000 levels, each folder made below the last, so neither the walk's depth nor a full path
// past PATH_MAX is a limit; the files found there are read by their full names. Two subfolders at
// the bottom: the walk must find its way back for the second.
TEST(Sizes, ATreeTwoThousandLevelsDeepIsWalkedWholeAndItsFilesRead) {
    TempTree tree;
    const int depth = 2000;
    {
        util::UniqueFd folder(::open(tree.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (int i = 0; i < depth; ++i) {
            ASSERT_EQ(::mkdirat(folder.get(), "dd", 0700), 0);
            folder.reset(::openat(folder.get(), "dd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            ASSERT_TRUE(folder.isOpen());
        }
        for (const std::string file : {"deep.txt", "a/f.txt", "b/f.txt"}) {
            if (file[1] == '/')
                ::mkdirat(folder.get(), file.substr(0, 1).c_str(), 0700);
            util::UniqueFd out(::openat(folder.get(), file.c_str(), O_WRONLY | O_CREAT, 0600));
            ASSERT_EQ(::write(out.get(), file.data(), file.size()), std::ssize(file));
        }
    }
    int32_t count = 0;
    EXPECT_EQ(listScan(tree.root() + "<+>", "*.txt", {}, &count).size(),
              static_cast<size_t>(depth) + 6); // the top, a/, b/ and three files
    EXPECT_EQ(count, 3);
    const SearchResults results = searchTree(tree.root() + "<+>", "*.txt", "\\.txt");
    EXPECT_EQ(results.filesWithMatches, 3);
    EXPECT_TRUE(results.skipped.empty());
    for (const FileMatches& file : results.files) { // each file holds its own name
        const std::string path = results.folders.at(file.folderIndex) + file.fileName;
        EXPECT_TRUE(path.size() > PATH_MAX && path.ends_with(file.lines.at(0).text())) << path;
    }
    // rm removes a tree this deep without naming its full paths; started without a shell.
    const std::string top = tree.path("dd");
    const char* argv[] = {"rm", "-rf", "--", top.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawnp(&pid, "rm", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    ::waitpid(pid, nullptr, 0);
}

TEST(Sizes, ALineOf200MBIsSearchedAsOneLine) {
    TempTree tree;
    std::string line(200u << 20, 'a');
    line[100u << 20] = 'X';
    line += "\n";
    tree.write("long.txt", line);
    line.clear();
    line.shrink_to_fit();
    const SearchResults results = searchTree(tree.root(), "*.txt", "X");
    ASSERT_EQ(results.totalLines, 1);
    EXPECT_EQ(results.files.at(0).lines.at(0).matchStart, 100 << 20);
}

// No write bit means read-only whoever runs the search, root included; the others are replaced.
// Only an ordinary user meets unreadable files and folders, and a folder that takes no new file.
TEST(Permissions, ReadOnlyFilesAreLeftUnreadableOnesSkippedAndALockedFolderFailsClearly) {
    TempTree tree;
    tree.write("ro.txt", "old\n");
    tree.write("rw.txt", "old\n");
    ::chmod(tree.path("ro.txt").c_str(), 0444);
    const SearchResults results = searchTree(tree.root(), "*.txt", "old", "new");
    ASSERT_EQ(results.notReplaced.size(), 1u);
    EXPECT_EQ(results.notReplaced[0].fileName + ": " + results.notReplaced[0].message,
              tree.path("ro.txt") + ": Permission denied");
    EXPECT_EQ(filesBelow(tree.root()), "/ro.txt=old\n\n/rw.txt=new\n\n");
    if (::geteuid() == 0)
        GTEST_SKIP() << "as root every file can be read and every folder written";

    TempTree unreadable;
    unreadable.write("a.txt", "hit\n");
    unreadable.write("locked.txt", "hit\n");
    unreadable.write("closed/inner.txt", "hit\n");
    unreadable.write("open/z.txt", "hit\n");
    ::chmod(unreadable.path("locked.txt").c_str(), 0);
    ::chmod(unreadable.path("closed").c_str(), 0);
    const SearchResults found = searchTree(unreadable.root() + "<+>", "*.txt", "hit");
    ::chmod(unreadable.path("closed").c_str(), 0700);
    EXPECT_EQ(found.filesWithMatches, 2); // a.txt and open/z.txt
    EXPECT_EQ(found.filesSkipped, 2);
    std::vector<std::string> skipped;
    for (const SkippedFile& file : found.skipped)
        skipped.push_back(file.fileName + ": " + file.message +
                          (file.reason == SkipReason::Unreadable ? "" : " (another reason)"));
    // The folder is met while listing, before any file is read.
    EXPECT_EQ(skipped, (std::vector<std::string>{
                           unreadable.path("closed/") + ": Cannot list folder: Permission denied",
                           unreadable.path("locked.txt") + ": Read Error: Permission denied"}));

    tree.write("locked/w.txt", "old");
    ::chmod(tree.path("locked").c_str(), 0555);
    const std::string error =
        errorOf([&] { searchTree(tree.path("locked"), "*.txt", "old", "new"); });
    ::chmod(tree.path("locked").c_str(), 0700);
    EXPECT_THAT(error, ::testing::HasSubstr("Cannot create a temporary file in " +
                                            tree.path("locked/") + ": Permission denied"));
    EXPECT_EQ(filesBelow(tree.path("locked")), "/w.txt=old\n");
}

TEST(LeftoverTemporaryFiles, AReplaceKilledBeforeItsRenameLeavesOneThatIsNeverSearched) {
    TempTree tree;
    tree.write("a.txt", "hit old\r\n");
    kestest::runInChild([&] { // the fault hook aborts it
        ::setenv("KESTRAVA_FAULT", "after-temp-write:abort", 1);
        searchTree(tree.root(), "*.txt", "old", "new", true, {}, {}, 1);
        return std::string();
    });
    EXPECT_EQ(tree.read("a.txt"), "hit old\r\n");
    ASSERT_NE(filesBelow(tree.root()).find(util::kTempNameMarker), std::string::npos);
    for (const char* mask : {"*", "*.*", "*a.txt*", ".*"}) {
        const SearchResults results = searchTree(tree.root() + "<+>", mask, "hit");
        EXPECT_LE(results.filesWithMatches, 1) << mask;
        EXPECT_EQ(results.filesSkipped, 0) << mask;
        for (const FileMatches& file : results.files)
            EXPECT_EQ(file.fileName, "a.txt") << mask;
    }
}

// In place or into a kesReplace copy, every byte outside the replaced spans is kept and nothing
// else is created. Empty matches are neither counted nor replaced, nor is a file written for them.
TEST(ReplaceInPlace, RewritesEveryMatchKeepsEveryOtherByteAndCreatesNothingElse) {
    struct {
        const char* name;
        std::string text, find, replace, expected;
        int32_t matches;
    } const cases[] = {
        {"Plain", "one two one\r\n", "one", "1", "1 two 1\r\n", 2},
        {"CaretDollarDeletesKeepingOtherBytes", "x-y\0-\xff"s, "-", "^$", "xy\0\xff"s, 2},
        {"AllOf2500Matches", std::string(2500, 'a'), "a", "bb", std::string(5000, 'b'), 2500},
        {"EmptyAtLineStarts", "x\r\nab\xe9\r\n", "^", "Z", "x\r\nab\xe9\r\n", 0},
        {"EmptyStar", "x\r\nab\xe9\r\n", "q*", "Z", "x\r\nab\xe9\r\n", 0},
        {"StarOnlyWhereNotEmpty", "x\r\nab\xe9\r\n", "x*", "Z", "Z\r\nab\xe9\r\n", 1},
        {"ByteOrderMark", "\xef\xbb\xbfone old\r\n", "old", "NEW", "\xef\xbb\xbfone NEW\r\n", 1},
        {"MixedLineEndsNoneLast", "mix\r\nold\rlone\nold", "old", "NEW", "mix\r\nNEW\rlone\nNEW",
         2},
        {"Utf16HighAndNulBytes", "\xff\xfeo\0l\0d\0\x80 old"s, "old", "NEW",
         "\xff\xfeo\0l\0d\0\x80 NEW"s, 1},
    };
    for (const bool inPlace : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (inPlace ? " in place" : " into a copy"));
            TempTree tree;
            tree.write("a.txt", c.text);
            tree.write("b.txt", "nothing");
            EXPECT_EQ(searchTree(tree.root(), "*.txt", c.find, c.replace, inPlace).totalMatches,
                      c.matches);
            const std::string copy =
                !inPlace && c.matches > 0 ? "/kesReplace/a.txt=" + c.expected + "\n" : "";
            EXPECT_EQ(filesBelow(tree.root()),
                      "/a.txt=" + (inPlace ? c.expected : c.text) + "\n/b.txt=nothing\n" + copy);
            EXPECT_EQ(kestest::names(tree.root()).size(), copy.empty() ? 2u : 3u); // no folder left
        }
}

// Each copy goes into a kesReplace beside its file, originals untouched; a planted kesReplace
// that is no real folder is refused for its folder and the run goes on. An old copy is searched
// like any other file, its copy one level down; what the run writes is never searched in it,
// though the replaced text still matches.
TEST(CopyMode, CopiesGoBesideEachFileAPlantedFileIsRefusedAndNoCopyIsCopiedAgain) {
    for (const int32_t threads : {1, 2}) {
        TempTree tree;
        tree.write("a.txt", "one");
        const std::string planted = "a regular file where the folder should be";
        tree.write("kesReplace", planted);
        tree.write("sub/b.txt", "one one");
        tree.write("sub/kesReplace/c.txt", "old copy: one");
        tree.write("sub/deeper/d.txt", "one");
        const SearchResults r =
            searchTree(tree.root() + "<+>", "*.txt", "one", "one1", false, {}, {}, threads);
        ASSERT_EQ(r.notReplaced.size(), 1u);
        EXPECT_EQ(r.notReplaced[0].fileName + ": " + r.notReplaced[0].message,
                  tree.path("a.txt") + ": " + tree.path("kesReplace") +
                      " is not a folder but a link or a file; nothing is written into it");
        EXPECT_EQ(r.filesReplaced, 3);
        EXPECT_EQ(
            filesBelow(tree.root()),
            "/a.txt=one\n/kesReplace=" + planted +
                "\n/sub/b.txt=one one\n/sub/deeper/d.txt=one\n/sub/deeper/kesReplace/d.txt=one1\n"
                "/sub/kesReplace/b.txt=one1 one1\n/sub/kesReplace/c.txt=old copy: one\n"
                "/sub/kesReplace/kesReplace/c.txt=old copy: one1\n")
            << threads;
    }
}

// Between the read and the rename, a.txt is swapped for a link to a file outside the tree: the
// new text must not land there (on one thread and on several, whose renames wait their turn).
TEST(ReplaceRefusal, AFileSwappedForALinkMidRunIsLeftAlone) {
    for (const int32_t threads : {1, 2}) {
        TempTree tree;
        tree.write("tree/a.txt", "one");
        tree.write("tree/b.txt", "one");
        tree.write("victim/passwd", "secret");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("KESTRAVA_FAULT", "after-temp-write:pause", 1);
            const SearchResults r =
                searchTree(tree.path("tree"), "*.txt", "one", "1", true, {}, {}, threads);
            ::_exit(r.notReplaced.size() == 1 && r.filesReplaced == 1 ? 0 : 1);
        }
        int status = 0;
        // Stopped before a rename: a.txt is swapped once its own replaced text waits beside it.
        for (bool swapped = false;
             ::waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status);) {
            if (!swapped &&
                filesBelow(tree.path("tree")).find("/.a.txt.kestrava-tmp-") != std::string::npos) {
                swapped = true;
                fs::rename(tree.path("tree/a.txt"), tree.path("tree/moved"));
                fs::create_symlink(tree.path("victim/passwd"), tree.path("tree/a.txt"));
            }
            ::kill(pid, SIGCONT);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << threads;
        EXPECT_EQ(filesBelow(tree.root()), // a.txt is the planted link, followed
                  "/tree/a.txt=secret\n/tree/b.txt=1\n/tree/moved=one\n/victim/passwd=secret\n")
            << threads;
        EXPECT_TRUE(fs::is_symlink(tree.path("tree/a.txt"))) << threads;
    }
}

// A file size limit makes the write fail for root as well; a child process takes the limit so
// the test process never does.
TEST(ReplaceFailure, FailedInPlaceWriteNamesTheFileAndLeavesItIntact) {
    TempTree tree;
    const std::string original(3000, 'a');
    tree.write("a.txt", original);
    const std::string failure = kestest::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        return errorOf([&] { searchTree(tree.root(), "*.txt", "a", "aaaa"); });
    });
    EXPECT_NE(
        failure.find("(" + tree.path("a.txt") + ")\r\n0 files were replaced before the error"),
        std::string::npos)
        << failure;
    EXPECT_EQ(tree.read("a.txt"), original);
}

} // namespace
} // namespace kestrava::search
