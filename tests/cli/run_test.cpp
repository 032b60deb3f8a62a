// kestrava-cli end to end on a line too long for a golden tree, its standard output compared byte
// for byte. (The preview diff, checked once with git apply and patch, and the JSON lines, checked
// once against rg's reader, are golden.)
#include "cli_test_util.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using namespace kestrava::cli::test;

using RunOutput = CliScratchTest;

// A line too long to keep, in a file large enough to be mapped, is read back from the file a
// piece at a time when it is shown: with matches far apart in it, a match that runs into it from
// the line before, colours and lines around it, it comes out as any line does.
TEST_F(RunOutput, ALineOfSeveralMegabytesComesOutAsAnyLine) {
    std::string line(size_t{6} << 20, 'x');
    std::string painted;
    size_t from = 0;
    for (const size_t at : {size_t{0}, size_t{300} << 10, (size_t{1} << 20) - 2, size_t{5} << 20}) {
        line.replace(at, 4, "beta");
        painted += line.substr(from, at - from) + "\x1b[1;31mbeta\x1b[0m";
        from = at + 4;
    }
    painted += line.substr(from);
    writeFile(m_root + "/long.txt", "alpha\n" + line + "\ngamma\n");
    const std::string f = "./long.txt";
    const auto head = [&](int n) {
        return "Found " + std::to_string(n) + (n == 1 ? " match in " : " matches in ") + f + "\n";
    };
    const std::string beta = "2:beta\n";
    const struct {
        std::vector<std::string> options;
        std::string out;
    } cases[] = {
        {{}, head(4) + line + "\n\n\n"},
        {{"-n", "--view", "matches"}, head(4) + beta + beta + beta + beta + "\n\n"},
        {{"-n", "--color", "always"},
         "\x1b[1m" + head(4).substr(0, head(4).size() - 1) +
             "\x1b[0m\n\x1b[32m2\x1b[0m\x1b[36m:\x1b[0m" + painted + "\n\n\n"},
        {{"-C", "1", "-n"}, head(4) + "1-alpha\n2:" + line + "\n3-gamma\n\n\n"},
        {{"-C", "1", "-n", "-e", "a\\sbeta"}, head(1) + "1:alpha\n2:" + line + "\n3-gamma\n\n\n"},
        {{"--filenames-only"}, head(4) + "\n\n"},
        {{"-l"}, f + "\n"},
        {{"-c", "-0"}, f + std::string(1, '\0') + "1\n"},
        {{"-m", "1", "-c", "-e", "alpha|beta|gamma"}, f + ":1\n"},
        {{"-m", "2", "-H", "-e", "alpha|gamma"}, f + ":1:alpha\n" + f + ":3:gamma\n"},
        {{"-H"}, f + ":2:" + line + "\n"},
        {{"-H", "-e", "a\\sbeta"}, f + ":1:alpha\n" + f + ":2:" + line + "\n"},
        {{"--vimgrep", "-e", "beta|gamma"},
         f + ":2:1:" + line + "\n" + f + ":2:307201:" + line + "\n" + f + ":2:1048575:" + line +
             "\n" + f + ":2:5242881:" + line + "\n" + f + ":3:1:gamma\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        std::vector<std::string> args{"find", "-d", ".", "-f", "*", "--no-header"};
        if (std::find(c.options.begin(), c.options.end(), "-e") == c.options.end())
            args.insert(args.end(), {"-e", "beta"});
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun run = cli(args);
        EXPECT_TRUE(run.out == c.out) << run.out.size() << " bytes, not " << c.out.size();
        EXPECT_EQ(run.status, 0);
    }
}

} // namespace
