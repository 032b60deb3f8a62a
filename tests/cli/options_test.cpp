// Parsing the command line of kestrava-cli.
#include "cli/options.h"

#include <gtest/gtest.h>

namespace kestrava::cli {
namespace {

using Args = std::vector<std::string>;

TEST(CliOptions, ValuesFlagsAndViews) {
    const CliOptions o =
        parseCommandLine({"replace", "-d", "/a<+>", "--files=*.c", "-e", "x(y)", "--replace", "$1",
                          "--in-situ", "--yes", "--view", "unique-sorted", "--case-sensitive",
                          "--filenames-only", "--no-header", "--rtf", "--verbose", "-n"});
    EXPECT_EQ(o.command, Command::Replace);
    EXPECT_EQ(o.criteria.folders, "/a<+>");
    EXPECT_EQ(o.criteria.files, "*.c");
    EXPECT_EQ(o.criteria.find, "x(y)");
    EXPECT_EQ(o.criteria.replace, "$1");
    EXPECT_TRUE(o.inSitu && o.yes && o.caseSensitive && o.filenamesOnly && o.noHeader &&
                o.richText && o.verbose && o.lineNumbers);
    EXPECT_EQ(o.view, results::View::UniqueMatchesSorted);

    // Folders and masks given again add to the earlier ones; patterns are any of them, each
    // numbering its own groups.
    const CliOptions again = parseCommandLine(
        {"find", "-d", "/a", "--folders=/b<+>", "-f", "*.c", "-f", "*.h", "-e", "x", "-e", "y"});
    EXPECT_EQ(again.criteria.folders, "/a|/b<+>");
    EXPECT_EQ(again.criteria.files, "*.c|*.h");
    EXPECT_EQ(again.criteria.find, "(?|(?:x)|(?:y))");
    // As grep takes them: PATTERN [PATH ...], each folder with its subfolders and every file;
    // the flags that shape the pattern and its letter case.
    const struct {
        Args args;
        const char *folders, *files, *find, *replace;
        bool caseSensitive;
    } shortForms[] = {
        {{"find", "x"}, ".<+>", "*", "x", "", false},
        {{"find", "-f", "*.c", "x", "src", "a.c"}, "src<+>|a.c<+>", "*.c", "x", "", false},
        {{"find", "-e", "x", "src"}, "src<+>", "*", "x", "", false},
        {{"find", "--", "-x", "-src"}, "-src<+>", "*", "-x", "", false},
        {{"replace", "(a)", "$1b", "src"}, "src<+>", "*", "(a)", "$1b", false},
        {{"replace", "-r", "y", "x", "src"}, "src<+>", "*", "x", "y", false},
        {{"replace", "-e", "a", "-e", "b", "-r", "c", "-r", "c"},
         ".<+>",
         "*",
         "(?|(?:a)|(?:b))",
         "c",
         false},
        {{"find", "-F", "a.b\\Ec"}, ".<+>", "*", "\\Qa.b\\E\\\\E\\Qc\\E", "", false},
        {{"find", "-w", "-e", "a", "-e", "b"},
         ".<+>",
         "*",
         "(?<!\\w)(?:(?|(?:a)|(?:b)))(?!\\w)",
         "",
         false},
        {{"find", "-x", "-w", "a"}, ".<+>", "*", "(?m:^)(?:a)(?m:$)", "", false},
        {{"find", "-S", "\\Wa"}, ".<+>", "*", "\\Wa", "", false},
        {{"find", "-g", "*.rs", "-g", "!x.rs", "x"},
         ".<+>",
         "*.rs<excluding x.rs>",
         "x",
         "",
         false},
        {{"find", "-f", "*.c|*.h<excluding a.h>", "-g", "!b*", "x"},
         ".<+>",
         "*.c<excluding b*>|*.h<excluding a.h,b*>",
         "x",
         "",
         false},
        {{"find", "-S", "aB"}, ".<+>", "*", "aB", "", true},
        {{"find", "-S", "-i", "aB"}, ".<+>", "*", "aB", "", false},
        {{"find", "-s", "-i", "a"}, ".<+>", "*", "a", "", false},
        {{"find", "-i", "-s", "a"}, ".<+>", "*", "a", "", true},
    };
    for (const auto& c : shortForms) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const CliOptions parsed = parseCommandLine(c.args);
        EXPECT_EQ(parsed.criteria.folders, c.folders);
        EXPECT_EQ(parsed.criteria.files, c.files);
        EXPECT_EQ(parsed.criteria.find, c.find);
        EXPECT_EQ(parsed.criteria.replace, c.replace);
        EXPECT_EQ(parsed.caseSensitive, c.caseSensitive);
    }

    const CliOptions plain = parseCommandLine({"find", "--find", "-dash-"});
    EXPECT_EQ(plain.criteria.find, "-dash-") << "a value may begin with a dash";
    EXPECT_EQ(plain.view, results::View::LinesWithMatches);
    EXPECT_EQ(plain.threads, 0);
    EXPECT_EQ(parseCommandLine({"find", "--threads", "3"}).threads, 3);
    EXPECT_FALSE(plain.caseSensitive);
    EXPECT_FALSE(plain.scan.skipBinary || plain.scan.respectGitignore);
    const CliOptions filters = parseCommandLine({"find", "--skip-binary", "--respect-gitignore"});
    EXPECT_TRUE(filters.scan.skipBinary && filters.scan.respectGitignore);
    // -C sets both sides, -A and -B one each; the last word on a side holds; grep's -C3 too.
    const std::pair<Args, std::pair<int, int>> contexts[] = {
        {{"-C", "2"}, {2, 2}},
        {{"-C3", "-A", "1"}, {3, 1}},
        {{"--before-context=4", "--after-context", "0"}, {4, 0}},
        {{"-B1", "--context=5", "-B", "2"}, {2, 5}},
    };
    for (const auto& [extra, expected] : contexts) {
        Args args{"find"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliOptions o2 = parseCommandLine(args);
        EXPECT_EQ(std::make_pair(o2.scan.contextBefore, o2.scan.contextAfter), expected)
            << ::testing::PrintToString(extra);
    }
    const CliOptions terminal = parseCommandLine(
        {"find", "--filenames-only", "-q", "--colour=always", "--json", "--", "-x"});
    EXPECT_TRUE(terminal.filenamesOnly && terminal.quiet && terminal.json);
    EXPECT_EQ(terminal.color, ColorChoice::Always);
    EXPECT_EQ(terminal.criteria.find, "-x") << "after --, an expression may begin with a dash";
    EXPECT_EQ(plain.color, ColorChoice::Auto);
    EXPECT_EQ(parseCommandLine({"find", "-d", "a", "-d", "b", "x|y"}).criteria.find, "x|y");
    EXPECT_EQ(parseCommandLine({"--version"}).command, Command::Version);
    EXPECT_EQ(parseCommandLine({"find", "-h"}).command, Command::Help);
}

TEST(CliOptions, MistakesAreExplained) {
    const std::pair<Args, const char*> cases[] = {
        {{}, "No command given"},
        {{"search"}, "Unknown command \"search\": use find, replace, script or undo"},
        {{"script", "--yes"}, "No script file given"},
        {{"script", "a.ksc", "-d", "x"}, "Unknown option \"-d\" for script"},
        {{"find", "-d"}, "Option --folders needs a value"},
        {{"find", "--view", "grid"}, "--view: grid not in {lines,matches,unique,unique-sorted}"},
        {{"find", "-d", "a", "x", "y"}, "Give the folders with -d or as PATH, not both (\"y\")"},
        {{"find", "--bogus"}, "Unknown option \"--bogus\" for find"},
        {{"find", "--hiden"}, "Unknown option \"--hiden\" for find: did you mean --hidden?"},
        {{"find", "--contxt=2"}, "Unknown option \"--contxt=2\" for find: did you mean --context?"},
        {{"replace", "-e", "a", "-e", "b", "-r", "x", "-r", "y"},
         "Several -r give different replacements: one replacement serves every pattern"},
        {{"find", "-l", "--json"}, "-l and -c print paths; leave out --json, --rtf and --preview"},
        {{"find", "-0"}, "-0 ends the paths of -l and -c; give one of them"},
        {{"find", "-g", "src/*.c", "x"},
         "-g takes a file name mask such as \"*.rs\" or \"!*.min.js\", without \"/\", \"|\", "
         "\"<\", \">\" or \",\" (\"src/*.c\")"},
        {{"find", "-r", "x"}, "Unknown option \"-r\" for find"},
        {{"find", "--in-situ"}, "Unknown option \"--in-situ\" for find"},
        {{"find", "--threads", "0"}, "--threads: Value 0 not in range 1 to 256"},
        {{"find", "--threads=2x"}, "--threads: Value 2x not in range 1 to 256"},
        {{"find", "-C", "-1"}, "--context: Value -1 not in range 0 to 1000000"},
        {{"find", "-Ax"}, "--after-context: Value x not in range 0 to 1000000"},
        {{"find", "-B"}, "Option --before-context needs a value"},
        {{"find", "--json", "--rtf"},
         "--json writes every matched line; leave out --rtf and --view"},
        {{"find", "--color", "sometimes"}, "--color: sometimes not in {auto,always,never}"},
        {{"find", "-C", "1", "--view", "matches"},
         "-A, -B and -C show context lines in the lines view only, not with --view matches, "
         "unique or unique-sorted"},
    };
    for (const auto& [args, message] : cases) {
        try {
            parseCommandLine(args);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

} // namespace
} // namespace kestrava::cli
