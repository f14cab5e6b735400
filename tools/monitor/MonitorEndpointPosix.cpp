#include "MonitorEndpoint.h"

#include "MonitorPath.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Larger than any piece of the dump; a longer datagram from elsewhere is cut, not fatal.
constexpr size_t kLargestMessage = 65536;

} // namespace

CMonitorEndpoint::~CMonitorEndpoint() {
    if (m_handle < 0)
        return;
    close(static_cast<int>(m_handle));
    unlink(m_name.c_str());
}

bool CMonitorEndpoint::Create(std::string& errorOut) {
    const std::string directory = monitor_path::Directory();
    const std::string path = monitor_path::SocketPath();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        errorOut = "the path is too long for a socket: " + path;
        return false;
    }
    // The dump carries the PIN: nobody else may read the directory the tool sends it to.
    if (!monitor_path::IsPrivateDirectory(directory, true)) {
        errorOut = directory + " is not a directory of this user's alone (mode 0700)";
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        errorOut = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    // A socket file that nobody answers on is left from a monitor that died; a live one refuses
    // the probe's connect only when it is not ours to take.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        const int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const bool alive = S_ISSOCK(st.st_mode) && probe >= 0 &&
                           connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0)
            close(probe);
        if (alive || !S_ISSOCK(st.st_mode)) {
            close(fd);
            errorOut = alive ? "another monitor is listening on " + path : path + " exists and is no socket";
            return false;
        }
        unlink(path.c_str());
    }
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        errorOut = "bind " + path + ": " + std::strerror(errno);
        close(fd);
        return false;
    }
    m_handle = fd;
    m_name = path;
    return true;
}

CMonitorEndpoint::Receipt CMonitorEndpoint::Receive(std::string& messageOut, int timeoutMs) {
    if (m_handle < 0)
        return Receipt::kFailed;
    const int fd = static_cast<int>(m_handle);
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, timeoutMs);
    if (ready == 0 || (ready < 0 && errno == EINTR))
        return Receipt::kTimeout;
    if (ready < 0)
        return Receipt::kFailed;
    messageOut.resize(kLargestMessage);
    const ssize_t n = recv(fd, messageOut.data(), messageOut.size(), MSG_DONTWAIT);
    if (n < 0) {
        messageOut.clear();
        return errno == EAGAIN || errno == EINTR ? Receipt::kTimeout : Receipt::kFailed;
    }
    messageOut.resize(static_cast<size_t>(n));
    return Receipt::kMessage;
}

void UseBinaryOutput() {}
