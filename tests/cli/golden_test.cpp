// kestrava-cli against the cases under tests/cli/golden, one folder each: the arguments in
// `args` (one a line), run in a fresh copy of `tree` (a folder of the case's own, or a file naming
// one of the shared folders under golden/trees; none: an empty folder) so that the paths
// it prints are relative; standard output compared byte for byte with `stdout`, and where the
// case has them standard error with `stderr`, the exit status with `status` (else 0) and the
// tree afterwards with `expected-tree`. `env` holds NAME=VALUE lines set for the run. Git keeps
// no folder named .git, so a `dot-git` folder in a tree is one. KES_UPDATE_GOLDEN=1 writes what
// the program gives instead, to take a change that is meant. The timings in JSON output differ
// from run to run, so each one of the shape rg writes reads as zero.
#include "cli_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

using namespace kestrava::cli::test;

const fs::path kGolden = KES_SOURCE_DIR "/tests/cli/golden";

std::vector<std::string> linesOf(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(readFile(file));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Each file below `root` by its path there (a folder named `from` read as `to`), with its content.
std::map<fs::path, std::string> filesIn(const fs::path& root, const fs::path& from,
                                        const fs::path& to) {
    std::map<fs::path, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        fs::path name;
        for (const fs::path& part : fs::relative(entry.path(), root))
            name /= part == from ? to : part;
        if (entry.is_regular_file())
            files[name] = readFile(entry.path());
    }
    return files;
}

fs::path treeOf(const fs::path& dir) {
    fs::path tree = dir / "tree";
    if (fs::is_directory(tree) || !fs::exists(tree))
        return tree;
    return kGolden / "trees" / linesOf(tree).at(0);
}

// A timing has the shape rg writes (whole seconds, the nanoseconds below them, both as a text).
std::string withoutTimings(std::string out) {
    const std::string zero = R"({"secs":0,"nanos":0,"human":"0.000000s"})";
    for (size_t at = 0; (at = out.find(R"({"secs":)", at)) != std::string::npos;
         at += zero.size()) {
        long long secs = -1;
        long long nanos = -1;
        char human[32] = "";
        int length = 0;
        std::sscanf(out.c_str() + at, R"({"secs":%lld,"nanos":%lld,"human":"%31[0-9.]s"}%n)", &secs,
                    &nanos, human, &length);
        if (length > 0 && secs >= 0 && nanos >= 0 && nanos < 1'000'000'000)
            out.replace(at, static_cast<size_t>(length), zero);
    }
    return out;
}

using Golden = CliScratchTest;

TEST_F(Golden, EachGivesItsExpectedOutputAndTree) {
    const bool update = std::getenv("KES_UPDATE_GOLDEN") != nullptr;
    std::vector<fs::path> cases;
    for (const auto& entry : fs::directory_iterator(kGolden))
        if (entry.is_directory() && entry.path().filename() != "trees")
            cases.push_back(entry.path());
    std::sort(cases.begin(), cases.end());
    ASSERT_GE(cases.size(), 50u) << "the golden cases were not found in " << kGolden;
    setenv("LC_ALL", "en_US.UTF-8", 1);
    for (const fs::path& dir : cases) {
        SCOPED_TRACE(dir.filename().string());
        const fs::path tree = m_scratch / dir.filename();
        fs::create_directories(tree);
        if (fs::exists(treeOf(dir)))
            for (const auto& [name, text] : filesIn(treeOf(dir), "dot-git", ".git"))
                writeFile(tree / name, text);
        const std::vector<std::string> env = linesOf(dir / "env");
        for (const std::string& line : env)
            setenv(line.substr(0, line.find('=')).c_str(), line.substr(line.find('=') + 1).c_str(),
                   1);
        CliRun run = runCli(linesOf(dir / "args"), m_scratch, "", tree);
        run.out = withoutTimings(run.out);
        for (const std::string& line : env)
            unsetenv(line.substr(0, line.find('=')).c_str());
        const std::string status = std::to_string(run.status) + "\n";
        const fs::path expectedTree = dir / "expected-tree";
        if (update) {
            writeFile(dir / "stdout", run.out);
            if (fs::exists(dir / "stderr") || !run.err.empty())
                writeFile(dir / "stderr", run.err);
            if (fs::exists(dir / "status") || status != "0\n")
                writeFile(dir / "status", status);
            if (fs::exists(expectedTree)) {
                fs::remove_all(expectedTree);
                for (const auto& [name, text] : filesIn(tree, ".git", "dot-git"))
                    writeFile(expectedTree / name, text);
            }
            continue;
        }
        EXPECT_EQ(run.out, readFile(dir / "stdout"));
        if (fs::exists(dir / "stderr")) {
            EXPECT_EQ(run.err, readFile(dir / "stderr"));
        }
        EXPECT_EQ(status, fs::exists(dir / "status") ? readFile(dir / "status") : "0\n") << run.err;
        if (fs::exists(expectedTree)) {
            EXPECT_EQ(filesIn(tree, ".git", "dot-git"), filesIn(expectedTree, "", ""));
        }
    }
}

} // namespace
