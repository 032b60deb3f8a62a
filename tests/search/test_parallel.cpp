// Searching on several threads must give exactly what one thread gives: the same records in the
// same order, the same files written, the same failure at the same place.
#include "SearchTestTree.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kes::testing {
namespace {

// Everything a run leaves behind, as text, so two runs compare in one assertion.
std::string Describe(const TkesMatchResults& r) {
    std::ostringstream out;
    out << r.FilesScanned << ' ' << r.FilesWithMatches << ' ' << r.TotalMatches << ' '
        << r.TotalLines << ' ' << r.FilesSkipped << ' ' << r.Cancelled << '\n';
    for (const std::string& folder : r.Folders)
        out << "folder " << folder << '\n';
    for (const TkesFile& file : r.Files) {
        out << "file " << file.FolderIndex << ' ' << file.FileName << ' ' << file.NumMatches
            << '\n';
        for (const TMatchedLines& line : file.Lines) {
            out << "  [" << line.Text << "] " << line.Truncated << ' ' << line.MatchStart << ' '
                << line.MatchEnd;
            for (const TMatchedSegment s : line.Segments())
                out << ' ' << s.Start << ':' << s.Length << ':' << s.IsMatch;
            out << '\n';
        }
    }
    for (const TkesSkippedFile& skipped : r.Skipped)
        out << "skipped " << skipped.FileName << ' ' << int(skipped.Reason) << '\n';
    return out.str();
}

// Every file below the tree with its bytes, in name order.
std::string Contents(const TempTree& tree) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree.Root()))
        if (entry.is_regular_file())
            files[entry.path().string().substr(tree.Root().size())] =
                kestest::ReadFile(entry.path().string());
    std::string text;
    for (const auto& [name, bytes] : files)
        text += name + "=" + bytes + "\n";
    return text;
}

// A tree of many small files: matches on some lines, none in others, CR LF, TAB, NUL bytes,
// empty files, nested folders and an old kesReplace copy that a copy-mode replace overwrites.
void Populate(const TempTree& tree) {
    for (int i = 0; i < 60; ++i) {
        const std::string folder = std::to_string(i % 5) + (i % 3 == 0 ? "/deep/" : "/");
        std::string text;
        for (int line = 0; line < i % 7; ++line)
            text +=
                "Line " + std::to_string(line) + (line % 2 ? " has Cat\tand cat\r\n" : " dog\n");
        if (i % 11 == 0)
            text += std::string("bin\0cat", 7);
        tree.Write(folder + "f" + std::to_string(i) + ".txt", text);
    }
    tree.Write("0/kesReplace/f0.txt", "old copy with cat");
    tree.Write("0/kesReplace/f5.txt", "old copy with cat");
}

struct TRun {
    std::string Outcome;
    std::string Files;
    std::string Error;
};

// How a run is made: threads, letter case, and whether the engine runs alone (no study, so no
// byte search and no required-text search).
struct TRunKind {
    int32_t Threads = 1;
    bool CaseSensitive = false;
    bool PlainEngine = false;
};

TRun RunOn(TRunKind kind, const std::string& files, const std::string& find,
           const std::string& replace, bool inPlace,
           const std::function<void(TempTree&)>& setUp = {}) {
    TempTree tree;
    Populate(tree);
    if (setUp)
        setUp(tree);
    TRun run;
    try {
        run.Outcome = Describe(Search(tree.Root() + "<+>", files, find, replace, inPlace, {}, {},
                                      kind.Threads, kind.CaseSensitive, kind.PlainEngine));
    } catch (const std::exception& e) {
        run.Error = e.what();
    }
    // Paths differ between the two trees; compare them relative to each tree.
    auto relative = [&](std::string text) {
        for (size_t at; (at = text.find(tree.Root())) != std::string::npos;)
            text.replace(at, tree.Root().size(), "<root>");
        return text;
    };
    run.Outcome = relative(run.Outcome);
    run.Error = relative(run.Error);
    run.Files = Contents(tree);
    return run;
}

void ExpectSameOnOneAndFourThreads(const std::string& files, const std::string& find,
                                   const std::string& replace = "", bool inPlace = true,
                                   const std::function<void(TempTree&)>& setUp = {}) {
    const TRun one = RunOn({1}, files, find, replace, inPlace, setUp);
    const TRun four = RunOn({4}, files, find, replace, inPlace, setUp);
    const std::string what = files + " / " + find + " / " + replace;
    EXPECT_EQ(four.Outcome, one.Outcome) << what;
    EXPECT_EQ(four.Files, one.Files) << what;
    EXPECT_EQ(four.Error, one.Error) << what;
}

TEST(ParallelSearch, FindsWhatOneThreadFinds) {
    for (const char* find :
         {"cat", "(?-i)Cat", "c.t\\r\\n", "\\bline \\d\\b", "x*", "dog|cat\tand"})
        ExpectSameOnOneAndFourThreads("*.txt|f1*", find);
}

TEST(ParallelSearch, ReplacesWhatOneThreadReplaces) {
    // "*.txt|f1*" lists f1.txt, f10.txt ... twice: in place, the second pass must see the first.
    ExpectSameOnOneAndFourThreads("*.txt|f1*", "cat", "[$0]", true);
    // Copy mode over old kesReplace copies, which are searched after being overwritten.
    ExpectSameOnOneAndFourThreads("*.txt", "(c)at", "$1ow", false);
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
                const TRun plain = RunOn({1, caseSensitive, true}, "*.txt", find, replace, true);
                const TRun shortcuts =
                    RunOn({4, caseSensitive, false}, "*.txt", find, replace, true);
                const std::string what = std::string(find) + " / " + replace +
                                         (caseSensitive ? " / case sensitive" : "");
                EXPECT_EQ(shortcuts.Outcome, plain.Outcome) << what;
                EXPECT_EQ(shortcuts.Files, plain.Files) << what;
            }
}

TEST(ParallelSearch, AFailedWriteStopsAtTheSamePlace) {
    // A "kesReplace" that is a file: copies for folder 2 cannot be made.
    ExpectSameOnOneAndFourThreads("*.txt", "cat", "x", false,
                                  [](TempTree& tree) { tree.Write("2/kesReplace", "in the way"); });
}

// In place, later files are written beside their originals ahead of their turn. When an earlier
// write fails (a disk that takes no file past 4 KiB), those must vanish and their originals stay.
TEST(ParallelSearch, AFailedInPlaceWriteLeavesLaterFilesUntouched) {
    ::setenv("KESTRAVA_FAULT", "write:nospace", 1);
    ExpectSameOnOneAndFourThreads("*.txt", "cat", "x", true, [](TempTree& tree) {
        tree.Write("0/big.txt", std::string(5000, 'c') + "cat\n");
    });
    ::unsetenv("KESTRAVA_FAULT");
}

TEST(ParallelSearch, AStopWhileListingCountsAsCancelled) {
    TempTree tree;
    Populate(tree);
    std::stop_source stop;
    stop.request_stop();
    const TkesMatchResults r =
        Search(tree.Root() + "<+>", "*.txt", "cat", "", true, {}, stop.get_token(), 4);
    EXPECT_TRUE(r.Cancelled);
    EXPECT_EQ(r.FilesScanned, 0);
}

} // namespace
} // namespace kes::testing
