// An owned POSIX file descriptor: closed on every way out of a scope, so no early return or
// exception leaks one (descriptors outlive exec and fork otherwise).
#pragma once

#include <unistd.h>

namespace kestrava::util {

class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    // Hands the descriptor over; this one then owns none.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd) {
        close();
        m_fd = fd;
    }
    // What close() says (0 or -1 with errno): some file systems report late write errors here.
    int close() {
        const int result = m_fd >= 0 ? ::close(m_fd) : 0;
        m_fd = -1;
        return result;
    }

  private:
    int m_fd;
};

} // namespace kestrava::util
