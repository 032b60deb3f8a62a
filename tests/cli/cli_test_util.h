// Runs the built kestrava-cli and reads and writes the files of its test trees.
#pragma once

#include "../util/util_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kestrava::cli::test {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct CliRun {
    std::string out;
    std::string err;
    int status = -1;
};

using kestrava::util::testing::readFile;

inline void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    kestrava::util::testing::writeRaw(path, text);
}

// What a terminal shows, until `until` appears or the child closes it.
inline std::string readTerminal(int terminal, const char* until = nullptr) {
    std::string shown;
    char buffer[4096];
    for (ssize_t got = 0; (until == nullptr || shown.find(until) == std::string::npos) &&
                          (got = read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<size_t>(got));
    return shown;
}

// In a forked child: becomes the program with these arguments.
[[noreturn]] inline void execCli(const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(KESTRAVA_CLI)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(KESTRAVA_CLI, argv.data());
    _exit(127);
}

// Runs the program with standard input from /dev/null, so it never sees a terminal, in `cwd`
// when given. Standard output goes to `outTo` when given ("-": closed), else to a file read back
// into Out.
inline CliRun runCli(const std::vector<std::string>& args, const fs::path& scratch,
                     const std::string& outTo = "", const fs::path& cwd = {}) {
    const fs::path out = outTo.empty() ? scratch / "stdout" : fs::path(outTo);
    const fs::path err = scratch / "stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        const int in = open("/dev/null", O_RDONLY);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        if (outTo == "-") {
            close(1);
        } else {
            const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(o, 1);
        }
        dup2(e, 2);
        execCli(args);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {outTo.empty() ? readFile(out) : "", readFile(err),
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

// A scratch folder per test: the tree to search goes in m_root (its "tree"), which is also the
// working folder of the runs, the program's output beside it.
class CliScratchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrava-cli-XXXXXX";
        m_scratch = mkdtemp(pattern);
        m_root = (m_scratch / "tree").string();
        fs::create_directories(m_root);
        // Undo journals of the runs stay in the scratch folder, never in the user's own.
        setenv("XDG_STATE_HOME", (m_scratch / "state").c_str(), 1);
    }
    void TearDown() override {
        // Whatever a test made unreadable is opened up again first, so all of it can go.
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(m_scratch, ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_scratch, ec);
    }
    CliRun cli(const std::vector<std::string>& args, const std::string& outTo = "") const {
        return runCli(args, m_scratch, outTo, m_root);
    }

    fs::path m_scratch;
    std::string m_root;
};

} // namespace kestrava::cli::test
