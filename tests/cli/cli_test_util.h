// Runs the built kestrava-cli and reads and writes the files of its test trees.
#pragma once

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

struct CliRun {
    std::string out;
    std::string err;
    int status = -1;
};

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Runs the program with standard input from /dev/null, so it never sees a terminal. Standard
// output goes to `outTo` when given ("-": closed), else to a file read back into Out.
inline CliRun runCli(const std::vector<std::string>& args, const fs::path& scratch,
                     const std::string& outTo = "") {
    const fs::path out = outTo.empty() ? scratch / "stdout" : fs::path(outTo);
    const fs::path err = scratch / "stderr";
    const pid_t pid = fork();
    if (pid == 0) {
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
        std::vector<char*> argv{const_cast<char*>(KESTRAVA_CLI)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(KESTRAVA_CLI, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {outTo.empty() ? readFile(out) : "", readFile(err),
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

} // namespace kestrava::cli::test
