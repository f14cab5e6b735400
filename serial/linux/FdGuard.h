// A descriptor owned by one scope, and the switch of its blocking mode.
#pragma once

#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace serial_os {

// Closes the descriptor unless handed on with release(), so no failure path leaks one.
class FdGuard {
public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() {
        if (m_fd >= 0)
            close(m_fd);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

// Reads and writes on fd return at once (on) or wait (off).
inline bool SetNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

} // namespace serial_os
