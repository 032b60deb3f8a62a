// Parsing the command line of kestrava-cli.
#include "cli/kes_cliOptions.h"

#include <gtest/gtest.h>

namespace kes::cli {
namespace {

using TArgs = std::vector<std::string>;

TEST(CliOptions, ValuesFlagsAndViews) {
    const TCliOptions o =
        ParseCommandLine({"replace", "-d", "/a<+>", "--files=*.c", "-e", "x(y)", "--replace", "$1",
                          "--in-situ", "--yes", "--view", "unique-sorted", "--case-sensitive",
                          "--filenames-only", "--no-header", "--rtf", "--verbose"});
    EXPECT_EQ(o.Command, ccReplace);
    EXPECT_EQ(o.Criteria.Folders, "/a<+>");
    EXPECT_EQ(o.Criteria.Files, "*.c");
    EXPECT_EQ(o.Criteria.Find, "x(y)");
    EXPECT_EQ(o.Criteria.Replace, "$1");
    EXPECT_TRUE(o.InSitu && o.Yes && o.CaseSensitive && o.FilenamesOnly && o.NoHeader &&
                o.RichText && o.Verbose);
    EXPECT_EQ(o.View, rvUniqueMatchesSorted);

    const TCliOptions plain = ParseCommandLine({"find", "--find", "-dash-"});
    EXPECT_EQ(plain.Criteria.Find, "-dash-") << "a value may begin with a dash";
    EXPECT_EQ(plain.View, rvLinesWithMatches);
    EXPECT_EQ(plain.Threads, 0);
    EXPECT_EQ(ParseCommandLine({"find", "--threads", "3"}).Threads, 3);
    EXPECT_FALSE(plain.CaseSensitive);
    EXPECT_EQ(ParseCommandLine({"--version"}).Command, ccVersion);
    EXPECT_EQ(ParseCommandLine({"find", "-h"}).Command, ccHelp);
}

TEST(CliOptions, MistakesAreExplained) {
    const std::pair<TArgs, const char*> cases[] = {
        {{}, "No command given"},
        {{"search"}, "Unknown command \"search\": use find, replace or script"},
        {{"script", "--yes"}, "No script file given"},
        {{"script", "a.ksc", "-d", "x"}, "Unknown option \"-d\" for script"},
        {{"find", "-d"}, "Option -d needs a value"},
        {{"find", "--view", "grid"},
         "Unknown view \"grid\": use lines, matches, unique or unique-sorted"},
        {{"find", "--bogus"}, "Unknown option \"--bogus\" for find"},
        {{"find", "-r", "x"}, "Unknown option \"-r\" for find"},
        {{"find", "--in-situ"}, "Unknown option \"--in-situ\" for find"},
        {{"find", "--rtf=1"}, "Unknown option \"--rtf=1\" for find"},
        {{"find", "--threads", "0"}, "--threads needs a number from 1 to 256, not \"0\""},
        {{"find", "--threads=2x"}, "--threads needs a number from 1 to 256, not \"2x\""},
    };
    for (const auto& [args, message] : cases) {
        try {
            ParseCommandLine(args);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
}

} // namespace
} // namespace kes::cli
