// An owned POSIX file descriptor: closed on every way out of a scope, so no early return or
// exception leaks one (descriptors outlive exec and fork otherwise).
#pragma once

#include <unistd.h>

namespace kes {

class TFileHandle {
  public:
    explicit TFileHandle(int fd = -1) : fd_(fd) {}
    ~TFileHandle() { Close(); }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
    // What close() says (0 or -1 with errno): some file systems report late write errors here.
    int Close() {
        const int result = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

} // namespace kes
