// Whole-file reading with POSIX calls, so errno tells why a read failed.
#include "config/kes_uReadFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kes {

namespace {

class TFileDescriptor {
  public:
    explicit TFileDescriptor(int fd) : Fd_(fd) {}
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    ~TFileDescriptor() {
        if (Fd_ >= 0)
            ::close(Fd_);
    }
    int Get() const { return Fd_; }

  private:
    int Fd_;
};

std::string ErrorText(const std::string& fileName, int error) {
    return "Cannot read " + fileName + ": " + std::strerror(error);
}

} // namespace

TReadFileStatus ldiReadWholeFile(const std::string& fileName, std::string& text,
                                 std::string& errorMessage) {
    text.clear();
    TFileDescriptor file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        const int error = errno;
        errorMessage = ErrorText(fileName, error);
        // ENOTDIR: a part of the path is a file, so this file cannot exist either.
        return (error == ENOENT || error == ENOTDIR) ? rfMissing : rfFailed;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(file.Get(), buffer, sizeof buffer);
        if (count == 0)
            return rfOk;
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            errorMessage = ErrorText(fileName, errno);
            text.clear();
            return rfFailed;
        }
        text.append(buffer, static_cast<size_t>(count));
    }
}

} // namespace kes
