// The search engine on hostile input: runaway patterns, empty matches, failing batches, odd
// bytes, unreadable and special files, link loops, huge and deep trees, read-only targets.
#include "search_test_tree.h"
#include "util/unique_fd.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include <cstring>
#include <filesystem>

namespace kestrava::search {
using namespace kestrava::util::testing;
namespace {

namespace fs = std::filesystem;

constexpr const char* kLimitText = "The recursion and backtracking limit (MatchLimit) was reached";

bool isRoot() {
    return ::geteuid() == 0;
}

// Every name below the folder, recursively, relative to it.
std::vector<std::string> allNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

bool hasTempName(const std::vector<std::string>& names) {
    return std::any_of(names.begin(), names.end(), [](const std::string& name) {
        return name.find(util::kTempNameMarker) != std::string::npos;
    });
}

// ---- Runaway patterns -----------------------------------------------------------------------

struct RunawayCase {
    const char* name;
    const char* pattern;
    std::string text;
};

TEST(RunawayPatterns, ReportTheLimitNeverNoMatchWithAndWithoutJit) {
    const RunawayCase cases[] = {
        {"nested plus", "(a+)+$", std::string(40, 'a') + "b"},
        {"alternation over 1 MB", "(.|\r\n)+$", std::string(1 << 20, 'x') + "\r\n" + "\x01"},
        {"words and blanks", "^(\\w+\\s?)*$", std::string(40, 'w') + "!"},
    };
    for (const RunawayCase& c : cases) {
        for (const bool study : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (study ? " (JIT)" : " (interpreter)"));
            regex::PatternSet regex;
            regex::PatternOptions options = regex.defaultPatternOptions();
            if (!study)
                options.include(regex::PatternOption::NoStudy);
            regex.setDefaultPatternOptions(options);
            regex.defaultMatchLimit = 100000; // keeps the interpreter's case short
            int32_t id = -1;
            regex::PatternStatus status;
            ASSERT_TRUE(regex.addPattern(c.pattern, id, status)) << status.errorMessage;
            regex::MatchCollection matches;
            const std::string error = errorOf([&] {
                regex.matches(id, c.text.data(), static_cast<uint32_t>(c.text.size()), 0, {},
                              matches);
            });
            EXPECT_NE(error.find(kLimitText), std::string::npos) << error;
        }
    }
}

TEST(RunawayPatterns, EndTheSearchRunWithTheLimitsMessage) {
    TempTree tree;
    tree.write("a.txt", "plain\n");
    tree.write("b.txt", std::string(40, 'a') + "b");
    const std::string error = errorOf([&] { searchTree(tree.root(), "*.txt", "(a+)+$"); });
    EXPECT_NE(error.find(kLimitText), std::string::npos) << error;
}

// A pattern whose time grows with the square of the file is stopped inside the file, whose
// half-made results are dropped; the file that would take minutes is never finished.
TEST(RunawayPatterns, AStopIsHeardInsideOneSlowFile) {
    TempTree tree;
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

// ---- Empty-matching patterns ----------------------------------------------------------------

// Every match as "start-end", so two engines can be compared.
std::string matchList(const std::string& pattern, const std::string& text, bool study) {
    regex::PatternSet regex;
    regex::PatternOptions options = regex.defaultPatternOptions();
    if (!study)
        options.include(regex::PatternOption::NoStudy);
    regex.setDefaultPatternOptions(options);
    int32_t id = -1;
    regex::PatternStatus status;
    if (!regex.addPattern(pattern, id, status))
        return "compile failed: " + status.errorMessage;
    regex::MatchCollection matches;
    regex.matches(id, text.data(), static_cast<uint32_t>(text.size()), 0, {}, matches);
    std::string list;
    for (const regex::MatchResult& m : matches)
        list += std::to_string(m.groupStartEnd[0]) + "-" + std::to_string(m.groupStartEnd[1]) + " ";
    return list;
}

TEST(EmptyMatches, EndAndAgreeWithAndWithoutJit) {
    const std::string texts[] = {"ax xa\nb", "x\r\n\r\nxx\r\n", "\xe9x\xff\x80 a\xc3\xa9",
                                 std::string("\0x\0", 3), ""};
    const char* patterns[] = {"x*", "^", "$", "\\b", "(?=a)", "(?m)^", "\\B", "a??"};
    for (const std::string& text : texts)
        for (const char* pattern : patterns) {
            SCOPED_TRACE(std::string(pattern) + " over \"" + text + "\"");
            const std::string jit = matchList(pattern, text, true);
            EXPECT_EQ(jit, matchList(pattern, text, false));
            // Each position is reported at most once, so the list is bounded by the text.
            EXPECT_LE(std::count(jit.begin(), jit.end(), ' '),
                      static_cast<std::ptrdiff_t>(2 * text.size() + 2));
        }
}

TEST(EmptyMatches, AreNeitherCountedNorReplaced) {
    TempTree tree;
    const std::string content = "x\r\nab\xe9\r\n";
    tree.write("a.txt", content);
    for (const char* pattern : {"^", "\\b", "(?=a)", "q*"}) {
        SCOPED_TRACE(pattern);
        const SearchResults results = searchTree(tree.root(), "*.txt", pattern, "Z");
        EXPECT_EQ(results.totalMatches, 0);
        EXPECT_EQ(tree.read("a.txt"), content);
    }
    const SearchResults results = searchTree(tree.root(), "*.txt", "x*", "Z");
    EXPECT_EQ(results.totalMatches, 1);
    EXPECT_EQ(tree.read("a.txt"), "Z\r\nab\xe9\r\n");
}

// ---- A failing batch ------------------------------------------------------------------------

// The files of a folder in the order the run takes them (its directory listing order).
std::vector<std::string> listingOrder(const TempTree& tree, const std::string& mask) {
    FolderSpecs folders;
    FileMaskSpecs files;
    parseBoth(tree.root(), mask, folders, files);
    FileList list;
    int32_t fileCount = 0;
    buildScanList(folders, files, list, fileCount);
    std::vector<std::string> names;
    for (const FileListItem& item : list)
        if (item.isFile)
            names.push_back(item.name);
    return names;
}

// File 100's copy cannot be written: the test build's fault hook fills the disk for it.
TEST(FailingBatch, KeepsEarlierWritesNamesTheFileAndLeavesNoTemporaryFile) {
    for (const int32_t threads : {1, 4}) {
        SCOPED_TRACE(threads);
        TempTree tree;
        for (int i = 1; i <= 200; ++i)
            tree.write("f" + std::to_string(1000 + i).substr(1) + ".txt", "old\n");
        const std::vector<std::string> order = listingOrder(tree, "*.txt");
        ASSERT_EQ(order.size(), 200u);
        ::setenv("KESTRAVA_FAULT", ("disk-full:" + order[99]).c_str(), 1);
        const std::string error = errorOf(
            [&] { searchTree(tree.root(), "*.txt", "old", "new", false, {}, {}, threads); });
        ::unsetenv("KESTRAVA_FAULT");
        EXPECT_NE(error.find(tree.path("kesReplace/" + order[99])), std::string::npos) << error;
        EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
        EXPECT_NE(
            error.find("\r\n99 files were replaced before the error; 101 files were not touched"),
            std::string::npos)
            << error;
        for (size_t i = 0; i < order.size(); ++i) {
            if (i == 99)
                continue;
            const std::string copy = tree.path("kesReplace/" + order[i]);
            // Files before the failure are written, none after it: the run ends there.
            EXPECT_EQ(fs::exists(copy), i < 99) << order[i];
            if (i < 99) {
                EXPECT_EQ(kestest::readFile(copy), "new\n") << order[i];
            }
            EXPECT_EQ(tree.read(order[i]), "old\n");
        }
        EXPECT_FALSE(hasTempName(allNames(tree.root())));
    }
}

TEST(FailingBatch, ClearsTheResults) {
    TempTree tree;
    tree.write("a.txt", "old\n");
    tree.write("b.txt", "old\n");
    ::setenv("KESTRAVA_FAULT", "disk-full:b.txt", 1);
    CompiledRequest specs;
    ASSERT_EQ(prepareFindReplace({"-", "-", "old", "new", ""}, true, false, specs), "");
    FolderSpecs folders;
    FileMaskSpecs files;
    parseBoth(tree.root(), "*.txt", folders, files);
    SearchResults results;
    EXPECT_THROW(scanFiles(folders, files, specs, false, results, {}, {}, 1), std::runtime_error);
    ::unsetenv("KESTRAVA_FAULT");
    EXPECT_EQ(results.totalMatches, 0);
    EXPECT_EQ(results.filesScanned, 0);
    EXPECT_TRUE(results.files.empty());
}

// ---- Unreadable files and folders -----------------------------------------------------------

TEST(Unreadable, FilesAreSkippedAndCountedAndFoldersDoNotEndTheRun) {
    if (isRoot())
        GTEST_SKIP() << "as root every file can be read";
    TempTree tree;
    tree.write("a.txt", "hit\n");
    tree.write("locked.txt", "hit\n");
    tree.write("closed/inner.txt", "hit\n");
    tree.write("open/z.txt", "hit\n");
    ::chmod(tree.path("locked.txt").c_str(), 0);
    ::chmod(tree.path("closed").c_str(), 0);
    const SearchResults results = searchTree(tree.root() + "<+>", "*.txt", "hit");
    ::chmod(tree.path("closed").c_str(), 0700);
    EXPECT_EQ(results.filesWithMatches, 2); // a.txt and open/z.txt
    ASSERT_EQ(results.filesSkipped, 2);
    ASSERT_EQ(results.skipped.size(), 2u);
    // The folder is met while listing, before any file is read.
    EXPECT_EQ(results.skipped[0].fileName, tree.path("closed/"));
    EXPECT_EQ(results.skipped[0].message, "Cannot list folder: Permission denied");
    EXPECT_EQ(results.skipped[1].fileName, tree.path("locked.txt"));
    EXPECT_EQ(results.skipped[1].message, "Read Error: Permission denied");
    for (const SkippedFile& skipped : results.skipped)
        EXPECT_EQ(skipped.reason, SkipReason::Unreadable);
}

// ---- Special files --------------------------------------------------------------------------

TEST(SpecialFiles, AreNeverOpenedAndAreCounted) {
    TempTree tree;
    tree.write("a.txt", "hit\n");
    ASSERT_EQ(::mkfifo(tree.path("pipe.txt").c_str(), 0600), 0);
    fs::create_directories(tree.path("sub"));
    ASSERT_EQ(::mkfifo(tree.path("sub/exact").c_str(), 0600), 0);
    const util::UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = tree.path("sock.txt");
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::symlink("/dev/zero", tree.path("zero.txt").c_str()), 0);

    // A FIFO opened for reading would wait for a writer forever: reaching the end is the proof.
    const SearchResults results = searchTree(tree.root() + "<+>", "*.txt|exact", "hit");
    EXPECT_EQ(results.filesWithMatches, 1);
    std::vector<std::string> skipped;
    for (const SkippedFile& file : results.skipped) {
        EXPECT_EQ(file.reason, SkipReason::NotRegular) << file.fileName;
        skipped.push_back(file.fileName.substr(tree.path("").size()));
    }
    std::sort(skipped.begin(), skipped.end());
    EXPECT_EQ(skipped, (std::vector<std::string>{"pipe.txt", "sock.txt", "sub/exact", "zero.txt"}));
}

TEST(SpecialFiles, AFifoInPlaceOfAListedFileIsNotWaitedOn) {
    TempTree tree;
    const std::string path = tree.path("p");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::string buffer;
    std::string error;
    EXPECT_EQ(readWholeFile(path, buffer, error), util::ReadStatus::NotRegular);
    EXPECT_EQ(error, "Not a regular file");
}

// ---- Sizes and depths -----------------------------------------------------------------------

TEST(Sizes, ASparse3GiBFileIsSkippedAsTooLarge) {
    TempTree tree;
    tree.write("small.txt", "hit\n");
    const std::string big = tree.write("big.txt", "hit\n");
    ASSERT_EQ(::truncate(big.c_str(), int64_t{3} << 30), 0);
    const SearchResults results = searchTree(tree.root(), "*.txt", "hit");
    EXPECT_EQ(results.filesWithMatches, 1);
    ASSERT_EQ(results.skipped.size(), 1u);
    EXPECT_EQ(results.skipped[0].fileName, big);
    EXPECT_EQ(results.skipped[0].reason, SkipReason::TooLarge);
    EXPECT_EQ(results.skipped[0].message, "File is 2 GiB or larger");
}

TEST(Sizes, AFileOf2GiBExactlyIsTooLarge) {
    TempTree tree;
    const std::string path = tree.write("edge.bin", "");
    std::string buffer;
    std::string error;
    ASSERT_EQ(::truncate(path.c_str(), int64_t{1} << 31), 0);
    EXPECT_EQ(readWholeFile(path, buffer, error), util::ReadStatus::TooLarge);
    EXPECT_TRUE(buffer.empty());
}

TEST(Sizes, ATreeTwoThousandLevelsDeepIsWalkedWhole) {
    TempTree tree;
    // Built relative to the last folder, so no path passes PATH_MAX while building it.
    const int depth = 2000;
    std::string relative;
    {
        const int top = ::open(tree.root().c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(top, 0);
        int dir = top;
        for (int i = 0; i < depth; ++i) {
            ASSERT_EQ(::mkdirat(dir, "d", 0700), 0);
            const int next = ::openat(dir, "d", O_RDONLY | O_DIRECTORY);
            if (dir != top)
                ::close(dir);
            ASSERT_GE(next, 0);
            dir = next;
        }
        const int file = ::openat(dir, "deep.txt", O_WRONLY | O_CREAT, 0600);
        ASSERT_EQ(::write(file, "hit\n", 4), 4);
        ::close(file);
        ::close(dir);
        ::close(top);
    }
    FolderSpecs folders;
    FileMaskSpecs files;
    parseBoth(tree.root() + "<+>", "*.txt", folders, files);
    FileList list;
    int32_t fileCount = 0;
    buildScanList(folders, files, list, fileCount);
    EXPECT_EQ(fileCount, 1);
    EXPECT_EQ(list.size(), static_cast<size_t>(depth) + 2);
    // Its full path passes PATH_MAX, so reading it fails and is counted, never a crash.
    const SearchResults results = searchTree(tree.root() + "<+>", "*.txt", "hit");
    EXPECT_EQ(results.filesWithMatches + results.filesSkipped, 1);
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
    ASSERT_EQ(results.totalMatches, 1);
    ASSERT_EQ(results.files.size(), 1u);
    ASSERT_EQ(results.files[0].lines.size(), 1u);
    EXPECT_EQ(results.files[0].lines[0].matchStart, 100 << 20);
}

// ---- Link loops -----------------------------------------------------------------------------

TEST(LinkLoops, EndAndListEveryFileOnce) {
    TempTree tree;
    tree.write("d/x.txt", "hit\n");
    tree.write("a/y.txt", "hit\n");
    tree.write("b/z.txt", "hit\n");
    ASSERT_EQ(::symlink("..", tree.path("d/up").c_str()), 0);
    ASSERT_EQ(::symlink("../b", tree.path("a/to_b").c_str()), 0);
    ASSERT_EQ(::symlink("../a", tree.path("b/to_a").c_str()), 0);
    ASSERT_EQ(::symlink("self", tree.path("self").c_str()), 0);
    FolderSpecs folders;
    FileMaskSpecs files;
    parseBoth(tree.root() + "<+>", "*.txt", folders, files);
    FileList list;
    int32_t fileCount = 0;
    buildScanList(folders, files, list, fileCount);
    // a/to_b/z.txt and b/to_a/y.txt are reached once each through a link; nothing loops.
    EXPECT_EQ(fileCount, 5);
    EXPECT_LT(list.size(), 20u);
}

// ---- Byte fidelity --------------------------------------------------------------------------

TEST(ByteFidelity, BytesOutsideReplacedSpansAreKept) {
    const std::string cases[] = {
        "\xef\xbb\xbfone old\r\ntwo\r\n",
        "old\rlone\rcr\r",
        "mix\r\nold\nand\rend",
        "no final line end old",
        std::string("nul\0old\0\0tail", 14),
        std::string("\xff\xfe"
                    "o\0l\0d\0 old",
                    12),
        "\x80\x81old\xfe\xff",
    };
    for (const bool inPlace : {true, false})
        for (const std::string& content : cases) {
            SCOPED_TRACE(content);
            TempTree tree;
            tree.write("a.bin", content);
            searchTree(tree.root(), "*.bin", "old", "NEW", inPlace);
            std::string expected = content;
            expected.replace(expected.find("old"), 3, "NEW");
            EXPECT_EQ(tree.read(inPlace ? "a.bin" : "kesReplace/a.bin"), expected);
            if (!inPlace) {
                EXPECT_EQ(tree.read("a.bin"), content);
            }
        }
}

// ---- Copy mode twice ------------------------------------------------------------------------

TEST(CopyMode, ASecondRunWritesBesideTheFirstAndNeverNestsInItsOwnOutput) {
    TempTree tree;
    tree.write("a.txt", "old\n");
    tree.write("sub/b.txt", "old\n");
    searchTree(tree.root() + "<+>", "*.txt", "old", "new", false);
    EXPECT_EQ(allNames(tree.root()),
              (std::vector<std::string>{"a.txt", "kesReplace", "kesReplace/a.txt", "sub",
                                        "sub/b.txt", "sub/kesReplace", "sub/kesReplace/b.txt"}));
    // The first run's copies are searched too; each goes into a kesReplace beside it, but this
    // run's new folders are not searched again.
    // The first run's folders are searched like any other, so a file found there gets its own
    // copy one level down; this run's new folders are not searched again.
    tree.write("kesReplace/c.txt", "old again\n");
    const SearchResults second = searchTree(tree.root() + "<+>", "*.txt", "old", "new", false);
    EXPECT_EQ(second.filesWithMatches, 3); // a.txt, kesReplace/c.txt, sub/b.txt
    EXPECT_EQ(tree.read("kesReplace/kesReplace/c.txt"), "new again\n");
    EXPECT_EQ(tree.read("kesReplace/c.txt"), "old again\n");
    EXPECT_FALSE(fs::exists(tree.path("kesReplace/kesReplace/kesReplace")));
    EXPECT_FALSE(fs::exists(tree.path("sub/kesReplace/kesReplace")));
    EXPECT_EQ(tree.read("a.txt"), "old\n");
}

// ---- Read-only targets ----------------------------------------------------------------------

// No write bit means read-only whoever runs the search, root included; the others are replaced.
TEST(ReadOnlyTargets, AreNotReplacedThoughTheFolderWouldAllowIt) {
    TempTree tree;
    tree.write("ro.txt", "old\n");
    tree.write("rw.txt", "old\n");
    ::chmod(tree.path("ro.txt").c_str(), 0444);
    const SearchResults results = searchTree(tree.root(), "*.txt", "old", "new");
    ASSERT_EQ(results.notReplaced.size(), 1u);
    EXPECT_EQ(results.notReplaced[0].fileName, tree.path("ro.txt"));
    EXPECT_EQ(results.notReplaced[0].message, "Permission denied");
    EXPECT_EQ(tree.read("ro.txt"), "old\n");
    EXPECT_EQ(tree.read("rw.txt"), "new\n");
}

TEST(ReadOnlyTargets, AWritableFileInALockedFolderFailsClearlyAndStaysIntact) {
    if (isRoot())
        GTEST_SKIP() << "as root every folder can be written";
    TempTree tree;
    tree.write("locked/w.txt", "old\n");
    ::chmod(tree.path("locked").c_str(), 0555);
    const std::string error =
        errorOf([&] { searchTree(tree.path("locked"), "*.txt", "old", "new"); });
    ::chmod(tree.path("locked").c_str(), 0700);
    EXPECT_NE(error.find("Cannot create a temporary file in"), std::string::npos) << error;
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    EXPECT_EQ(tree.read("locked/w.txt"), "old\n");
    EXPECT_EQ(kestest::names(tree.path("locked")), std::vector<std::string>{"w.txt"});
}

// ---- Leftover temporary files ---------------------------------------------------------------

TEST(LeftoverTemporaryFiles, AReplaceKilledBeforeItsRenameLeavesOneThatIsNeverSearched) {
    TempTree tree;
    tree.write("a.txt", "hit old\r\n");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("KESTRAVA_FAULT", "after-temp-write:abort", 1);
        searchTree(tree.root(), "*.txt", "old", "new", true, {}, {}, 1);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the fault hook did not fire";
    EXPECT_EQ(tree.read("a.txt"), "hit old\r\n");
    ASSERT_TRUE(hasTempName(allNames(tree.root())));
    for (const char* mask : {"*", "*.*", "*a.txt*", ".*"}) {
        const SearchResults results = searchTree(tree.root() + "<+>", mask, "hit");
        EXPECT_LE(results.filesWithMatches, 1) << mask;
        EXPECT_EQ(results.filesSkipped, 0) << mask;
        for (const FileMatches& file : results.files)
            EXPECT_EQ(file.fileName, "a.txt") << mask;
    }
}

TEST(LeftoverTemporaryFiles, AreNeitherListedNorSearched) {
    TempTree tree;
    tree.write("a.txt", "hit\n");
    tree.write(std::string(".a.txt") + std::string(util::kTempNameMarker) + "Ab12Cd", "hit\n");
    const SearchResults results = searchTree(tree.root() + "<+>", "*", "hit");
    EXPECT_EQ(results.filesWithMatches, 1);
    EXPECT_EQ(results.filesSkipped, 0);
}

} // namespace
} // namespace kestrava::search
