// The search run: counters, records, items, progress and cancellation. Searching on several
// threads must give exactly what one thread gives: the same records in the same order, the same
// files written, the same failure at the same place.
#include "search_test_tree.h"
#include "util/file_text.h"

#include <algorithm>
#include <gmock/gmock.h>
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

// Everything a run on a fresh tree leaves behind: its outcome or its error, then the files. Paths
// differ between two trees, so the root is given as "<root>". plainEngine: see searchTree.
std::string runOn(int32_t threads, const std::string& files, const std::string& find,
                  const std::string& replace, bool inPlace,
                  const std::function<void(TempTree&)>& setUp = {}, bool caseSensitive = false,
                  bool plainEngine = false) {
    TempTree tree;
    populate(tree);
    if (setUp)
        setUp(tree);
    std::string run;
    try {
        run = describe(searchTree(tree.root() + "<+>", files, find, replace, inPlace, {}, {},
                                  threads, caseSensitive, plainEngine));
    } catch (const std::exception& e) {
        run = std::string("error ") + e.what() + "\n";
    }
    run += filesBelow(tree.root());
    for (size_t at; (at = run.find(tree.root())) != std::string::npos;)
        run.replace(at, tree.root().size(), "<root>");
    return run;
}

// Two or four threads with every shortcut (byte search of plain texts and alternations, searching
// only lines that hold a required text) against one thread on the library's interpreter alone;
// two threads for every third combination. "*.txt|f1*" lists f1.txt, f10.txt ... twice: in place,
// the second pass must see the first.
TEST(ParallelSearch, ShortcutsOnManyThreadsGiveWhatThePlainEngineGivesOnOne) {
    const char* finds[] = {
        "cat",          "(?-i)Cat",          "c.t\\r\\n",   "\\bline \\d\\b", "x*",
        "dog|cat\tand", "dog|cat\tand|line", "[a-z]+at\\b", "\\w+\\s+\\d",    "n.\\d",
        "at\\r"};
    int combination = 0;
    for (const bool caseSensitive : {false, true})
        for (const char* find : finds)
            for (const char* replace : {"", "<$0>"}) {
                const int32_t threads = combination++ % 3 == 0 ? 2 : 4;
                EXPECT_EQ(runOn(threads, "*.txt|f1*", find, replace, true, {}, caseSensitive),
                          runOn(1, "*.txt|f1*", find, replace, true, {}, caseSensitive, true))
                    << find << " / " << replace << " / threads " << threads
                    << (caseSensitive ? " / case sensitive" : "");
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
        const std::string one = runOn(1, "*.txt", c.find, c.replace, c.inPlace, c.setUp);
        for (const int32_t threads : {2, 4})
            EXPECT_EQ(runOn(threads, "*.txt", c.find, c.replace, c.inPlace, c.setUp), one)
                << threads;
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

// Every file is shown below fifty, then the first, every tenth and the last; the detail tells the
// files listed so far, then the bytes and matches so far with the file being read.
TEST(Progress, ShowsFilesDoneBytesAndMatchesSoFarAndTheFileRead) {
    for (const int files : {3, 305}) {
        TempTree tree;
        for (int i = 0; i < files; ++i)
            tree.write("f" + std::to_string(i) + ".txt", "text");
        std::vector<std::string> texts;
        std::vector<std::string> details;
        searchTree(tree.root(), "*.txt", "x", "", true, [&](const Progress& p) {
            texts.push_back(progressText(p));
            details.push_back(progressDetail(p));
        });
        // Listing tells every 256 files.
        std::vector<std::string> expected(files / 256 + 1, "Creating list of files to scan ..");
        for (int n = 1; n <= files; ++n)
            if (files < 50 || n == 1 || n % 10 == 0 || n == files)
                expected.push_back("Processing file " + std::to_string(n) + " of " +
                                   std::to_string(files));
        EXPECT_EQ(texts, expected);
        EXPECT_EQ(details.at(0), "");
        if (files > 256) {
            EXPECT_EQ(details.at(1), "256 files listed");
            EXPECT_THAT(details.back(), ::testing::StartsWith("1.2 KB searched, 305 matches, in " +
                                                              tree.root() + "/f"));
        }
    }

    // A long file tells how far it has come before it ends, on the thread that commits and from
    // the others; then, done, it is counted whole.
    TempTree longFile;
    std::string text;
    for (int line = 0; line < 100000; ++line)
        text += "a kestrel hovers over the field at dawn\n";
    longFile.write("long.txt", text);
    for (const int32_t threads : {1, 2}) {
        std::vector<Progress> told;
        searchTree(
            longFile.root(), "*.txt", "kestrel", "", true,
            [&](const Progress& p) { told.push_back(p); }, {}, threads);
        ASSERT_FALSE(told.empty());
        EXPECT_FALSE(told.back().partway);
        EXPECT_EQ(progressText(told.back()), "Processing file 1 of 1");
        EXPECT_EQ(told.back().bytesSearched, static_cast<int64_t>(text.size()));
        const auto partway =
            std::find_if(told.begin(), told.end(), [](const Progress& p) { return p.partway; });
        if (threads == 2 && partway == told.end())
            continue; // the other thread may read it before a tick of the committing one
        ASSERT_NE(partway, told.end()) << threads;
        EXPECT_EQ(progressText(*partway), "Processing file 1 of 1");
        EXPECT_GT(partway->bytesSearched, 0);
        EXPECT_LT(partway->bytesSearched, told.back().bytesSearched);
        EXPECT_GT(partway->matches, 0);
        EXPECT_EQ(partway->currentFile, longFile.path("long.txt"));
    }
}

// "(foo|needle)?" also matches empty text everywhere: only the non-empty matches may count. A file
// from the size on which files are mapped rather than read is searched and replaced alike.
TEST(Run, RecordsNonEmptyMatchesAndAppliesEveryItemInOrderInSmallAndMappedFiles) {
    TempTree tree;
    tree.write("a/x.txt", "one\nfoo two\nfoo\n");
    tree.write("b/y.txt", "nothing here");
    std::string big = "needle first\n";
    while (big.size() < util::FileText::kMapFrom)
        big += "hay hay hay hay hay hay hay hay hay hay hay hay hay hay hay\n";
    tree.write("b/z.txt", big + "last FOO");
    const SearchResults r =
        searchTree(tree.path("a") + "|" + tree.path("b"), "*.txt", "(foo|needle)?");
    // Counters, folders, then each file's lines: [text] truncated start end, then the segments.
    EXPECT_EQ(describe(r), "3 2 4 4 0 0\nfolder " + tree.path("a/") + "\nfolder " +
                               tree.path("b/") +
                               "\nfile 0 x.txt 2\n  [\nfoo two] 0 4 7 2:0:0 2:3:1 5:4:0\n"
                               "  [\nfoo] 0 12 15 2:0:0 2:3:1\nfile 1 z.txt 2\n"
                               "  [needle first] 0 0 6 1:0:0 1:6:1 7:6:0\n  [\nlast FOO] 0 " +
                               std::to_string(big.size() + 5) + " " +
                               std::to_string(big.size() + 8) + " 2:5:0 7:3:1\n");
    // Every item searches the file as read; each replacing item works on the previous one's
    // output, so "pin" is found only once it is written. One file listed: no workers start.
    CompiledRequest request;
    int32_t needle = -1, pin = -1;
    regex::PatternStatus status;
    ASSERT_TRUE(request.regEx.addPattern("needle", needle, status));
    ASSERT_TRUE(request.regEx.addPattern("pin|FOO", pin, status));
    request.items = {{needle, true, "pin"}, {pin, true, "tack"}};
    request.replace = true;
    SearchResults replaced;
    EXPECT_EQ(scanFiles({{tree.path("b"), false, {}}}, {{"z.txt", {}}}, request, true, replaced),
              2);
    EXPECT_TRUE(tree.read("b/z.txt") == "tack" + big.substr(6) + "last tack");
}

} // namespace
} // namespace kestrava::search
