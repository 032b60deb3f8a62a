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
    run.files = filesBelow(tree.root());
    return run;
}

// Two and four threads with every shortcut (byte search of plain texts and alternations,
// searching only lines that hold a required text) against one thread on the library's
// interpreter alone. "*.txt|f1*" lists f1.txt, f10.txt ... twice: in place, the second pass must
// see the first.
TEST(ParallelSearch, ShortcutsOnManyThreadsGiveWhatThePlainEngineGivesOnOne) {
    const char* finds[] = {
        "cat",          "(?-i)Cat",          "c.t\\r\\n",   "\\bline \\d\\b", "x*",
        "dog|cat\tand", "dog|cat\tand|line", "[a-z]+at\\b", "\\w+\\s+\\d",    "n.\\d",
        "at\\r"};
    for (const bool caseSensitive : {false, true})
        for (const char* find : finds)
            for (const char* replace : {"", "<$0>"}) {
                const RunResult plain =
                    runOn({1, caseSensitive, true}, "*.txt|f1*", find, replace, true);
                for (const int32_t threads : {2, 4}) {
                    const RunResult shortcuts =
                        runOn({threads, caseSensitive, false}, "*.txt|f1*", find, replace, true);
                    const std::string what = std::string(find) + " / " + replace + " / threads " +
                                             std::to_string(threads) +
                                             (caseSensitive ? " / case sensitive" : "");
                    EXPECT_EQ(shortcuts.outcome, plain.outcome) << what;
                    EXPECT_EQ(shortcuts.files, plain.files) << what;
                }
            }
}

// Each row adds to the tree, and may set the test build's fault hook.
TEST(ParallelSearch, WalksCopiesAndFailsAsOneThreadDoes) {
    const struct {
        const char* what;
        const char* find;
        const char* replace;
        bool inPlace;
        std::function<void(TempTree&)> setUp;
        const char* fault = nullptr;
    } cases[] = {
        {"many small folders hand the workers a few files at a time; a link up is walked once",
         "cat", "", true,
         [](TempTree& tree) {
             for (int i = 0; i < 300; ++i)
                 tree.write("many/" + std::to_string(i % 37) + "/" + std::to_string(i) + "/f.txt",
                            i % 4 == 0 ? "a cat\n" : "no\n");
             std::filesystem::create_directory_symlink(tree.root() + "/many",
                                                       tree.root() + "/many/5/up");
         }},
        {"old kesReplace copies are searched after being overwritten", "(c)at", "$1ow", false, {}},
        {"a kesReplace that is a file: copies for folder 2 cannot be made", "cat", "x", false,
         [](TempTree& tree) { tree.write("2/kesReplace", "in the way"); }},
        // In place, later files are written beside their originals ahead of their turn.
        {"an earlier write fails: later ones vanish and their originals stay", "cat", "x", true,
         [](TempTree& tree) { tree.write("0/big.txt", std::string(5000, 'c') + "cat\n"); },
         "write:nospace"}, // a disk that takes no file past 4 KiB
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.fault != nullptr)
            ::setenv("KESTRAVA_FAULT", c.fault, 1);
        // Two threads: one worker beside the thread that walks, lists and commits (and searches
        // once the list is complete). Four: more workers than jobs at times.
        const RunResult one = runOn({1}, "*.txt", c.find, c.replace, c.inPlace, c.setUp);
        for (const int32_t threads : {2, 4}) {
            const RunResult many = runOn({threads}, "*.txt", c.find, c.replace, c.inPlace, c.setUp);
            EXPECT_EQ(many.outcome, one.outcome) << threads;
            EXPECT_EQ(many.files, one.files) << threads;
            EXPECT_EQ(many.error, one.error) << threads;
        }
        ::unsetenv("KESTRAVA_FAULT");
    }
}

// A stop heard while the outcomes are committed (here by the first file's progress) ends the run
// after that file, keeping what was found, whichever thread was searching what comes next. A stop
// heard while listing ends it before any file.
TEST(Cancellation, EndsTheRunAfterTheFileBeingCommittedKeepingWhatWasFound) {
    TempTree tree;
    for (int i = 0; i < 30; ++i)
        tree.write(std::to_string(i % 3) + "/" + std::to_string(i) + ".txt", "hit");
    for (const int32_t threads : {1, 2, 4})
        for (const bool whileListing : {false, true}) {
            SCOPED_TRACE(std::to_string(threads) +
                         (whileListing ? " threads, listing" : " threads"));
            std::stop_source stop;
            if (whileListing)
                stop.request_stop();
            const ProgressEvent stopAtFirstFile = [&](const Progress& progress) {
                if (progress.filesDone > 0)
                    stop.request_stop();
            };
            const SearchResults r = searchTree(tree.root() + "<+>", "*.txt", "hit", "", true,
                                               stopAtFirstFile, stop.get_token(), threads);
            EXPECT_TRUE(r.cancelled);
            EXPECT_EQ(r.filesScanned, whileListing ? 0 : 1);
            EXPECT_EQ(r.totalMatches, r.filesScanned);
            EXPECT_EQ(r.files.size(), static_cast<size_t>(r.filesScanned));
        }
}

} // namespace
} // namespace kestrava::search
