// kestrava-cli: find and replace across files from a terminal.
#include "cli/run.h"
#include "util/file_io.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <streambuf>
#include <unistd.h>

namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void onInterrupt(int signalNumber) {
    // The first Ctrl+C (or SIGTERM) stops the run where it stands; a second one ends the program
    // at once, unless a file is being rewritten through its inode: then once that is on disk.
    if (!gInterrupted.exchange(true) || kestrava::util::deferSignal(signalNumber))
        return;
    std::_Exit(kestrava::cli::kExitInterrupted);
}

// Standard output written straight to its descriptor in large blocks, remembering why the first
// failed write failed, so that the failure can be reported by name.
class OutputBuffer : public std::streambuf {
  public:
    OutputBuffer() { setp(m_buffer, m_buffer + sizeof m_buffer); }
    int error() const { return m_error; }
    const int* errorAddress() const { return &m_error; }

  protected:
    int_type overflow(int_type c) override {
        if (!drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    int sync() override { return drain() ? 0 : -1; }

  private:
    bool drain() {
        for (const char* at = pbase(); at < pptr() && m_error == 0;) {
            const ssize_t written = ::write(STDOUT_FILENO, at, static_cast<size_t>(pptr() - at));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                m_error = written < 0 ? errno : EIO;
            else
                at += written;
        }
        setp(m_buffer, m_buffer + sizeof m_buffer);
        return m_error == 0;
    }

    char m_buffer[1 << 20];
    int m_error = 0;
};

// A closed standard descriptor would be handed to the next file opened, and results written
// into it; each closed one is taken by /dev/null opened read-only, so writes to it fail.
void occupyClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDONLY) != fd)
            std::_Exit(kestrava::cli::kExitError);
}

} // namespace

int main(int argc, char** argv) {
    occupyClosedStandardDescriptors();
    std::ios::sync_with_stdio(false);
    // Never freed: standard output is flushed once more when the program ends.
    static OutputBuffer* const kOutput = new OutputBuffer;
    std::cout.rdbuf(kOutput);
    kestrava::cli::CliOptions options;
    try {
        options = kestrava::cli::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::cerr << "kestrava-cli: " << e.what() << "\nTry 'kestrava-cli --help'.\n";
        return kestrava::cli::kExitError;
    }
    std::signal(SIGINT, onInterrupt);
    // A run that may write files stops cleanly on SIGTERM; one that only reads may simply end.
    if (options.command == kestrava::cli::Command::Replace ||
        options.command == kestrava::cli::Command::Script)
        std::signal(SIGTERM, onInterrupt);
    const bool errIsTerminal = isatty(STDERR_FILENO) != 0;
    kestrava::cli::Console console{
        std::cout,     std::cerr,     std::cin, errIsTerminal && isatty(STDIN_FILENO) != 0,
        errIsTerminal, &gInterrupted, true,     kOutput->errorAddress()};
    console.outIsTerminal = isatty(STDOUT_FILENO) != 0;
    const char* noColor = std::getenv("NO_COLOR"); // set and not empty, as its convention says
    console.noColor = noColor != nullptr && *noColor != '\0';
    int status = kestrava::cli::runCommand(options, console);
    // Some file systems tell of a failed write only when the file is closed.
    if (::close(STDOUT_FILENO) != 0 && kOutput->error() == 0 && errno != EBADF) {
        std::cerr << "kestrava-cli: write error: " << std::strerror(errno) << '\n';
        status = kestrava::cli::kExitError;
    }
    return status;
}
