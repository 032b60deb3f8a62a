// kestrava-cli against the cases under tests/cli/golden, one folder each: the arguments in
// `args` (one a line), run in a fresh copy of `tree` (none: an empty folder) so that the paths
// it prints are relative; standard output compared byte for byte with `stdout`, and where the
// case has them standard error with `stderr`, the exit status with `status` (else 0) and the
// tree afterwards with `expected-tree`. `env` holds NAME=VALUE lines set for the run. Git keeps
// no folder named .git, so a `dot-git` folder in a tree is one. KES_UPDATE_GOLDEN=1 writes what
// the program gives instead, to take a change that is meant.
#include "cli_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Renames every folder called `from` below `root` to `to`.
void renameFolders(const fs::path& root, const std::string& from, const std::string& to) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_directory() && entry.path().filename() == from)
            found.push_back(entry.path());
    for (const fs::path& folder : found)
        fs::rename(folder, folder.parent_path() / to);
}

// Each file below `root` by its relative path, with its content.
std::map<std::string, std::string> filesIn(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = readFile(entry.path());
    return files;
}

using Golden = CliScratchTest;

TEST_F(Golden, EachGivesItsExpectedOutputAndTree) {
    const bool update = std::getenv("KES_UPDATE_GOLDEN") != nullptr;
    std::vector<fs::path> cases;
    for (const auto& entry : fs::directory_iterator(kGolden))
        if (entry.is_directory())
            cases.push_back(entry.path());
    std::sort(cases.begin(), cases.end());
    ASSERT_GE(cases.size(), 50u) << "the golden cases were not found in " << kGolden;
    setenv("LC_ALL", "en_US.UTF-8", 1);
    for (const fs::path& dir : cases) {
        SCOPED_TRACE(dir.filename().string());
        const fs::path tree = m_scratch / dir.filename();
        fs::create_directories(tree);
        if (fs::exists(dir / "tree")) {
            fs::copy(dir / "tree", tree, fs::copy_options::recursive);
            renameFolders(tree, "dot-git", ".git");
        }
        const std::vector<std::string> env = linesOf(dir / "env");
        for (const std::string& line : env)
            setenv(line.substr(0, line.find('=')).c_str(), line.substr(line.find('=') + 1).c_str(),
                   1);
        const CliRun run = runCli(linesOf(dir / "args"), m_scratch, "", tree);
        for (const std::string& line : env)
            unsetenv(line.substr(0, line.find('=')).c_str());
        const std::string status = std::to_string(run.status) + "\n";
        if (update) {
            writeFile(dir / "stdout", run.out);
            if (fs::exists(dir / "stderr") || !run.err.empty())
                writeFile(dir / "stderr", run.err);
            if (fs::exists(dir / "status") || status != "0\n")
                writeFile(dir / "status", status);
            if (fs::exists(dir / "expected-tree")) {
                fs::remove_all(dir / "expected-tree");
                fs::copy(tree, dir / "expected-tree", fs::copy_options::recursive);
                renameFolders(dir / "expected-tree", ".git", "dot-git");
            }
            continue;
        }
        EXPECT_EQ(run.out, readFile(dir / "stdout"));
        if (fs::exists(dir / "stderr")) {
            EXPECT_EQ(run.err, readFile(dir / "stderr"));
        }
        EXPECT_EQ(status, fs::exists(dir / "status") ? readFile(dir / "status") : "0\n") << run.err;
        if (fs::exists(dir / "expected-tree")) {
            renameFolders(tree, ".git", "dot-git");
            EXPECT_EQ(filesIn(tree), filesIn(dir / "expected-tree"));
        }
    }
}

} // namespace
