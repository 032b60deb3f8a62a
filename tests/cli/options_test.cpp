// Parsing the command line of kestrava-cli. What each mistake says is in the golden usage-*
// cases, as the user sees it.
#include "cli/options.h"

#include <gtest/gtest.h>

namespace kestrava::cli {
namespace {

using Args = std::vector<std::string>;

// The flags themselves show in the golden cases; these are the values that combine.
TEST(Options, CriteriaAndContextAsGiven) {
    // Folders and masks given again add to the earlier ones; patterns are any of them, each
    // numbering its own groups. As grep takes them: PATTERN [PATH ...]. Each row: the folders,
    // masks, pattern and replacement parsed, then "Aa" when case matters.
    const std::pair<Args, const char*> criteria[] = {
        {{"replace", "-d", "/a<+>", "--files=*.c", "-e", "x(y)", "--replace", "$1", "-s"},
         "/a<+> *.c x(y) $1Aa"},
        {{"find", "-d", "/a", "--folders=/b<+>", "-f", "*.c", "-f", "*.h", "-e", "x", "-e", "y"},
         "/a|/b<+> *.c|*.h (?|(?:x)|(?:y)) "},
        {{"find", "x"}, ".<+> * x "},
        {{"find", "--find", "-dash-"}, ".<+> * -dash- "},
        {{"find", "-d", "a", "-d", "b", "x|y"}, "a|b  x|y "},
        {{"find", "-f", "*.c", "x", "src", "a.c"}, "src<+>|a.c<+> *.c x "},
        {{"find", "-e", "x", "src"}, "src<+> * x "},
        {{"find", "--", "-x", "-src"}, "-src<+> * -x "},
        {{"replace", "(a)", "$1b", "src"}, "src<+> * (a) $1b"},
        {{"replace", "-r", "y", "x", "src"}, "src<+> * x y"},
        {{"replace", "-e", "a", "-e", "b", "-r", "c", "-r", "c"}, ".<+> * (?|(?:a)|(?:b)) c"},
        {{"find", "-F", "a.b\\Ec"}, ".<+> * \\Qa.b\\E\\\\E\\Qc\\E "},
        {{"find", "-w", "-e", "a", "-e", "b"}, ".<+> * (?<!\\w)(?:(?|(?:a)|(?:b)))(?!\\w) "},
        {{"find", "-x", "-w", "a"}, ".<+> * (?m:^)(?:a)(?m:$) "},
        {{"find", "-S", "\\Wa"}, ".<+> * \\Wa "},
        {{"find", "-g", "*.rs", "-g", "!x.rs", "x"}, ".<+> *.rs<excluding x.rs> x "},
        {{"find", "-f", "*.c|*.h<excluding a.h>", "-g", "!b*", "x"},
         ".<+> *.c<excluding b*>|*.h<excluding a.h,b*> x "},
        {{"find", "-S", "aB"}, ".<+> * aB Aa"},
        {{"find", "-S", "-i", "aB"}, ".<+> * aB "},
        {{"find", "-s", "-i", "a"}, ".<+> * a "},
        {{"find", "-i", "-s", "a"}, ".<+> * a Aa"},
    };
    for (const auto& [args, expected] : criteria) {
        const CliOptions p = parseCommandLine(args);
        EXPECT_EQ(p.criteria.folders + " " + p.criteria.files + " " + p.criteria.find + " " +
                      p.criteria.replace + (p.caseSensitive ? "Aa" : ""),
                  expected)
            << ::testing::PrintToString(args);
    }

    EXPECT_EQ(parseCommandLine({"find", "-h"}).command, Command::Help);
    // -C sets both sides, -A and -B one each; the last word on a side holds; grep's -C3 too.
    const std::pair<Args, std::pair<int, int>> contexts[] = {
        {{"find", "-C", "2"}, {2, 2}},
        {{"find", "-C3", "-A", "1"}, {3, 1}},
        {{"find", "--before-context=4", "--after-context", "0"}, {4, 0}},
        {{"find", "-B1", "--context=5", "-B", "2"}, {2, 5}},
    };
    for (const auto& [args, expected] : contexts) {
        const CliOptions p = parseCommandLine(args);
        EXPECT_EQ(std::make_pair(p.scan.contextBefore, p.scan.contextAfter), expected)
            << ::testing::PrintToString(args);
    }
}

} // namespace
} // namespace kestrava::cli
