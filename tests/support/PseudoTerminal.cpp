#include "PseudoTerminal.h"
#include "Deadline.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return;
    const char* name = (grantpt(master) == 0 && unlockpt(master) == 0) ? ptsname(master) : nullptr;
    if (name == nullptr) {
        close(master);
        return;
    }
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // Raw from the start, so nothing the test sends is echoed back or translated before the port
    // under test sets its own line settings.
    termios raw{};
    if (m_slave < 0 || tcgetattr(m_slave, &raw) != 0) {
        close(master);
        return;
    }
    cfmakeraw(&raw);
    tcsetattr(m_slave, TCSANOW, &raw);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
}

PseudoTerminal::~PseudoTerminal() {
    if (m_slave >= 0)
        close(m_slave);
    if (m_master >= 0)
        close(m_master);
}

size_t PseudoTerminal::QueuedForPort() const {
    int queued = 0;
    if (m_slave < 0 || ioctl(m_slave, FIONREAD, &queued) != 0)
        return 0;
    return static_cast<size_t>(queued);
}

bool PseudoTerminal::SendToPort(std::string_view bytes, int timeoutMs) {
    const Deadline deadline(timeoutMs);
    const size_t target = QueuedForPort() + bytes.size();
    while (!bytes.empty()) {
        const ssize_t n = write(m_master, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (deadline.Passed()) {
            return false;
        } else {
            pollfd p{m_master, POLLOUT, 0};
            poll(&p, 1, deadline.MsLeft());
        }
    }
    // The line discipline moves the bytes over asynchronously; the port must see all of them.
    return WaitUntil(deadline, std::chrono::microseconds(200), [&] { return QueuedForPort() >= target; });
}

std::string PseudoTerminal::ReadFromPort(size_t minBytes, int timeoutMs, int quietMs) {
    std::string received;
    const Deadline deadline(timeoutMs);
    char chunk[4096];
    for (;;) {
        const int wait = received.size() < minBytes ? deadline.MsLeft() : quietMs;
        pollfd p{m_master, POLLIN, 0};
        // A wait of nothing still takes what is there already: Drain is made of it.
        if (poll(&p, 1, wait) <= 0)
            break;
        const ssize_t n = read(m_master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        received.append(chunk, static_cast<size_t>(n));
    }
    return received;
}

std::string PseudoTerminal::Drain() {
    return ReadFromPort(0, 0, 0);
}

bool PseudoTerminal::HoldPortOutput() {
    return m_slave >= 0 && tcflow(m_slave, TCOOFF) == 0;
}
