// A descriptor owned by one scope.
#pragma once

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

} // namespace serial_os
