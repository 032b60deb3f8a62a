// Searching on several threads must give exactly what one thread gives: the same records in the
// same order, the same files written, the same failure at the same place.
#include "search_test_tree.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrava::search {
using namespace kestrava::util::testing;
namespace {

// Everything a run leaves behind, as text, so two runs compare in one assertion.
std::string describe(const SearchResults& r) {
    std::ostringstream out;
    out << r.filesScanned << ' ' << r.filesWithMatches << ' ' << r.totalMatches << ' '
        << r.totalLines << ' ' << r.filesSkipped << ' ' << r.cancelled << '\n';
    for (const std::string& folder : r.folders)
        out << "folder " << folder << '\n';
    for (const FileMatches& file : r.files) {
        out << "file " << file.folderIndex << ' ' << file.fileName << ' ' << file.numMatches
            << '\n';
        for (const MatchedLine& line : file.lines) {
            out << "  [" << line.text() << "] " << line.truncated() << ' ' << line.matchStart << ' '
                << line.matchEnd;
            for (const MatchedSegment s : line.segments())
                out << ' ' << s.start << ':' << s.length << ':' << s.isMatch;
            out << '\n';
        }
    }
    for (const SkippedFile& skipped : r.skipped)
        out << "skipped " << skipped.fileName << ' ' << int(skipped.reason) << '\n';
    return out.str();
}

// Every file below the tree with its bytes, in name order.
std::string contents(const TempTree& tree) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.root()))
        if (entry.is_regular_file())
            files[entry.path().string().substr(tree.root().size())] =
                kestest::readFile(entry.path().string());
    std::string text;
    for (const auto& [name, bytes] : files)
        text += name + "=" + bytes + "\n";
    return text;
}

// A tree of many small files: matches on some lines, none in others, CR LF, TAB, NUL bytes,
// empty files, nested folders and an old kesReplace copy that a copy-mode replace overwrites.
void populate(const TempTree& tree) {
    for (int i = 0; i < 60; ++i) {
        const std::string folder = std::to_string(i % 5) + (i % 3 == 0 ? "/deep/" : "/");
        std::string text;
        for (int line = 0; line < i % 7; ++line)
            text +=
                "Line " + std::to_string(line) + (line % 2 ? " has Cat\tand cat\r\n" : " dog\n");
        if (i % 11 == 0)
            text += std::string("bin\0cat", 7);
        tree.write(folder + "f" + std::to_string(i) + ".txt", text);
    }
    tree.write("0/kesReplace/f0.txt", "old copy with cat");
    tree.write("0/kesReplace/f5.txt", "old copy with cat");
}

struct RunResult {
    std::string outcome;
    std::string files;
    std::string error;
};

// How a run is made: threads, letter case, and whether the engine runs alone (no study, so no
// byte search and no required-text search).
struct RunKind {
    int32_t threads = 1;
    bool caseSensitive = false;
    bool plainEngine = false;
};

RunResult runOn(RunKind kind, const std::string& files, const std::string& find,
                const std::string& replace, bool inPlace,
                const std::function<void(TempTree&)>& setUp = {}) {
    TempTree tree;
    populate(tree);
    if (setUp)
        setUp(tree);
    RunResult run;
    try {
        run.outcome = describe(searchTree(tree.root() + "<+>", files, find, replace, inPlace, {},
                                          {}, kind.threads, kind.caseSensitive, kind.plainEngine));
    } catch (const std::exception& e) {
        run.error = e.what();
    }
    // Paths differ between the two trees; compare them relative to each tree.
    auto relative = [&](std::string text) {
        for (size_t at; (at = text.find(tree.root())) != std::string::npos;)
            text.replace(at, tree.root().size(), "<root>");
        return text;
    };
    run.outcome = relative(run.outcome);
    run.error = relative(run.error);
    run.files = contents(tree);
    return run;
}

// Two threads: one worker beside the thread that walks, lists and commits (and searches once
// the list is complete). Four: more workers than jobs at times.
void expectSameOnOneAndManyThreads(const std::string& files, const std::string& find,
                                   const std::string& replace = "", bool inPlace = true,
                                   const std::function<void(TempTree&)>& setUp = {}) {
    const RunResult one = runOn({1}, files, find, replace, inPlace, setUp);
    for (const int32_t threads : {2, 4}) {
        const RunResult many = runOn({threads}, files, find, replace, inPlace, setUp);
        const std::string what =
            files + " / " + find + " / " + replace + " / threads " + std::to_string(threads);
        EXPECT_EQ(many.outcome, one.outcome) << what;
        EXPECT_EQ(many.files, one.files) << what;
        EXPECT_EQ(many.error, one.error) << what;
    }
}

// Many small folders hand the workers their files a few at a time; a link back up the tree is
// walked once.
void addManySmallFolders(TempTree& tree) {
    for (int i = 0; i < 300; ++i)
        tree.write("many/" + std::to_string(i % 37) + "/" + std::to_string(i) + "/f.txt",
                   i % 4 == 0 ? "a cat\n" : "no\n");
    std::filesystem::create_directory_symlink(tree.root() + "/many", tree.root() + "/many/5/up");
}

TEST(ParallelSearch, FindsWhatOneThreadFinds) {
    for (const char* find :
         {"cat", "(?-i)Cat", "c.t\\r\\n", "\\bline \\d\\b", "x*", "dog|cat\tand"})
        expectSameOnOneAndManyThreads("*.txt|f1*", find);
    expectSameOnOneAndManyThreads("*.txt", "cat", "", true, addManySmallFolders);
}

TEST(ParallelSearch, ReplacesWhatOneThreadReplaces) {
    // "*.txt|f1*" lists f1.txt, f10.txt ... twice: in place, the second pass must see the first.
    expectSameOnOneAndManyThreads("*.txt|f1*", "cat", "[$0]", true);
    // Copy mode over old kesReplace copies, which are searched after being overwritten.
    expectSameOnOneAndManyThreads("*.txt", "(c)at", "$1ow", false);
}

// Four threads with every shortcut (byte search of plain texts and alternations, searching only
// lines that hold a required text) against one thread on the library's interpreter alone.
TEST(ParallelSearch, ShortcutsOnFourThreadsGiveWhatThePlainEngineGivesOnOne) {
    const char* finds[] = {"cat",         "dog|cat\tand|line", "\\bline \\d\\b",
                           "[a-z]+at\\b", "\\w+\\s+\\d",       "n.\\d",
                           "at\\r"};
    for (const bool caseSensitive : {false, true})
        for (const char* find : finds)
            for (const char* replace : {"", "<$0>"}) {
                const RunResult plain =
                    runOn({1, caseSensitive, true}, "*.txt", find, replace, true);
                const RunResult shortcuts =
                    runOn({4, caseSensitive, false}, "*.txt", find, replace, true);
                const std::string what = std::string(find) + " / " + replace +
                                         (caseSensitive ? " / case sensitive" : "");
                EXPECT_EQ(shortcuts.outcome, plain.outcome) << what;
                EXPECT_EQ(shortcuts.files, plain.files) << what;
            }
}

TEST(ParallelSearch, AFailedWriteStopsAtTheSamePlace) {
    // A "kesReplace" that is a file: copies for folder 2 cannot be made.
    expectSameOnOneAndManyThreads("*.txt", "cat", "x", false,
                                  [](TempTree& tree) { tree.write("2/kesReplace", "in the way"); });
}

// In place, later files are written beside their originals ahead of their turn. When an earlier
// write fails (a disk that takes no file past 4 KiB), those must vanish and their originals stay.
TEST(ParallelSearch, AFailedInPlaceWriteLeavesLaterFilesUntouched) {
    ::setenv("KESTRAVA_FAULT", "write:nospace", 1);
    expectSameOnOneAndManyThreads("*.txt", "cat", "x", true, [](TempTree& tree) {
        tree.write("0/big.txt", std::string(5000, 'c') + "cat\n");
    });
    ::unsetenv("KESTRAVA_FAULT");
}

// A stop heard while the outcomes are committed (here by the first file's progress) ends the
// run there, whichever thread was searching what comes next.
TEST(ParallelSearch, AStopWhileCommittingEndsTheRunAfterThatFile) {
    TempTree tree;
    populate(tree);
    for (const int32_t threads : {1, 2, 4}) {
        std::stop_source stop;
        const ProgressEvent stopAtFirstFile = [&](const Progress& progress) {
            if (progress.filesDone > 0)
                stop.request_stop();
        };
        const SearchResults r = searchTree(tree.root() + "<+>", "*.txt", "cat", "", true,
                                           stopAtFirstFile, stop.get_token(), threads);
        EXPECT_TRUE(r.cancelled) << threads;
        EXPECT_EQ(r.filesScanned, 1) << threads;
    }
}

TEST(ParallelSearch, AStopWhileListingCountsAsCancelled) {
    TempTree tree;
    populate(tree);
    std::stop_source stop;
    stop.request_stop();
    const SearchResults r =
        searchTree(tree.root() + "<+>", "*.txt", "cat", "", true, {}, stop.get_token(), 4);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.filesScanned, 0);
}

} // namespace
} // namespace kestrava::search
