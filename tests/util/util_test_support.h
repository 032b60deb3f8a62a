// Scratch folders and small file helpers for the tests.
#pragma once

#include "util/file_io.h"
#include "util/unique_fd.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestrava::util::testing {

// A fresh folder under TMPDIR, removed with everything in it; path() ends with "/".
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/kestest-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec); // deeper than PATH_MAX too
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeRaw(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

inline std::vector<std::string> names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A case kept as files: <name><extension> in a folder, its expected lines in <name>.expected.
struct FileCase {
    std::string name, input;
    std::vector<std::string> expected;
};

inline std::vector<FileCase> fileCases(const std::string& folder, const std::string& extension) {
    std::vector<FileCase> cases;
    for (const std::string& name : names(folder)) {
        const std::string base = name.substr(0, name.rfind('.'));
        const std::string input = folder + base + extension;
        if (!name.ends_with(".expected") || !std::filesystem::exists(input))
            continue;
        std::istringstream in(readFile(folder + name));
        cases.push_back({base, readFile(input), {}});
        for (std::string line; std::getline(in, line);)
            cases.back().expected.push_back(line);
    }
    return cases;
}

// The message of the std::runtime_error that body raises; "(no error)" when it raises none.
inline std::string errorOf(const std::function<void()>& body) {
    try {
        body();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no error)";
}

// Forks a child that runs body and exits (1 when body raises); the child's pid.
inline pid_t startChild(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            body();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    return pid;
}

// Runs body in a forked child (for process-wide limits and other users) and returns its text.
inline std::string runInChild(const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = startChild([&] {
        ::close(fds[0]);
        const std::string text = body();
        if (::write(fds[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            ::_exit(1);
    });
    ::close(fds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(got));
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return text;
}

// Gives up after a while so a program that never starts fails the test instead of hanging it.
inline std::string waitForFile(const std::string& path) {
    using namespace std::chrono;
    const auto giveUp = steady_clock::now() + seconds(20);
    while (!std::filesystem::exists(path) && steady_clock::now() < giveUp)
        std::this_thread::sleep_for(milliseconds(10));
    return std::filesystem::exists(path) ? readFile(path) : "<never written>";
}

inline ReadTarget readTargetOf(const std::string& path) {
    UniqueFd file;
    size_t size = 0;
    int error = 0;
    ReadTarget target;
    openRegularFile(path, INT64_MAX, file, size, error, &target);
    return target;
}

} // namespace kestrava::util::testing

namespace kestest = kestrava::util::testing;
