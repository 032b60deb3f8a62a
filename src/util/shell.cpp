#include "util/shell.h"

#include "util/unique_fd.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrava::util {
namespace {

constexpr const char* kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

bool isExecutableFile(const std::string& path) {
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

std::string searchPath(const std::string& name) {
    const char* env = std::getenv("PATH");
    const std::string path = env != nullptr ? env : kDefaultPath;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        // An empty entry would mean the current folder, which must never supply programs.
        if (end > start) {
            std::string candidate = path.substr(start, end - start);
            candidate += (candidate.back() == '/' ? "" : "/") + name;
            if (isExecutableFile(candidate))
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

// Only async-signal-safe calls from here on: the caller may have other threads.
[[noreturn]] void reportAndExit(int reportFd) {
    const int err = errno;
    if (::write(reportFd, &err, sizeof err) < 0) {
        // Nobody left to tell.
    }
    ::_exit(127);
}

// The program must not inherit the caller's blocked or ignored signals.
void resetSignals() {
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        ::sigaction(sig, &byDefault, nullptr); // fails harmlessly for SIGKILL, SIGSTOP
}

[[noreturn]] void execProgram(const char* program, char* const* argv, int reportFd) {
    resetSignals();
    // Keep the report channel clear of the three standard descriptors it is about to replace.
    const int channel = ::fcntl(reportFd, F_DUPFD_CLOEXEC, 3);
    if (channel < 0)
        reportAndExit(reportFd);
    const int null = ::open("/dev/null", O_RDWR);
    if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0)
        reportAndExit(channel);
    if (null > 2)
        ::close(null);
    ::execv(program, argv);
    reportAndExit(channel);
}

// The middle process of the double fork: it leaves at once, so the program is adopted by init and
// never becomes our zombie; setsid detaches it from our terminal and process group.
[[noreturn]] void startGrandchild(const char* program, char* const* argv, int reportFd) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0)
        execProgram(program, argv, reportFd);
    if (grandchild < 0)
        reportAndExit(reportFd);
    ::_exit(0);
}

// Reads the start report: end of file (the descriptor closed by exec) means the program runs.
bool programStarted(int readFd) {
    int err = 0;
    ssize_t got = 0;
    do {
        got = ::read(readFd, &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    return got == 0;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Inside double quotes a backslash escapes only these, as in a POSIX shell.
bool escapableInDoubleQuotes(char c) {
    return c == '"' || c == '\\' || c == '$' || c == '`';
}

} // namespace

std::string findProgram(const std::string& program) {
    if (program.empty())
        return {};
    if (program.find('/') != std::string::npos)
        return isExecutableFile(program) ? program : std::string();
    return searchPath(program);
}

bool startDetached(const std::vector<std::string>& argv) {
    if (argv.empty())
        return false;
    const std::string program = findProgram(argv[0]);
    if (program.empty())
        return false;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return false;
    UniqueFd readEnd(report[0]);
    UniqueFd writeEnd(report[1]);
    const pid_t child = ::fork();
    if (child == 0)
        startGrandchild(program.c_str(), args.data(), writeEnd.get());
    writeEnd.close(); // else the read below would wait for our own copy
    if (child < 0)
        return false;
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return programStarted(readEnd.get());
}

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    std::string current;
    bool inArgument = false; // a quote pair alone makes an (empty) argument
    char quote = 0;
    const size_t size = commandLine.size();
    for (size_t i = 0; i < size; ++i) {
        const char c = commandLine[i];
        const bool hasNext = i + 1 < size;
        if (quote == '\'') {
            if (c == '\'')
                quote = 0;
            else
                current += c;
        } else if (quote == '"') {
            if (c == '"')
                quote = 0;
            else
                current += c == '\\' && hasNext && escapableInDoubleQuotes(commandLine[i + 1])
                               ? commandLine[++i]
                               : c;
        } else if (isBlank(c)) {
            if (inArgument)
                args.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            inArgument = true;
            if (c == '\'' || c == '"')
                quote = c;
            else
                current += c == '\\' && hasNext ? commandLine[++i] : c;
        }
    }
    if (inArgument)
        args.push_back(std::move(current));
    return args;
}

bool openDocument(const std::string& fileName) {
    if (fileName.empty())
        return false;
    // A name starting with "-" would be taken for an option.
    return startDetached({"xdg-open", fileName.front() == '-' ? "./" + fileName : fileName});
}

} // namespace kestrava::util
