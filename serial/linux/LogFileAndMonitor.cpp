// The traffic log and its monitor mirror on Linux: an flock'ed log file checked to be our own, and a
// Unix datagram socket for the monitor (datagrams keep message boundaries as a mailslot does).
#include "SerialSystem.h"

#include "FdGuard.h"
#include "MonitorPath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace serial_os {

Handle CreateLogFile(const char* fileName) {
    if (fileName == nullptr)
        return kNoHandle;
    // The name is in a directory others may write to, and the dump holds the PIN: a link planted
    // there must not make us empty or write any file it points to, a FIFO must not hold up the
    // connection, and another user's file must not receive the dump. So the name is opened without
    // following a link and without waiting, and the file itself is checked before anything changes.
    // No O_TRUNC: a copy of the program that already logs here must keep its file, so the file is
    // emptied only once the lock is ours. 0600 because the dump holds the PIN.
    FdGuard fd(open(fileName, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (fd.get() < 0)
        return kNoHandle;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != geteuid())
        return kNoHandle;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ftruncate(fd.get(), 0) != 0)
        return kNoHandle;
    if ((st.st_mode & 07777) != 0600 && fchmod(fd.get(), 0600) != 0)
        return kNoHandle;
    return fd.release();
}

bool WriteLogFile(Handle file, const void* data, uint32_t length, uint32_t& written) {
    written = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (written < length) {
        const ssize_t n = write(file, bytes + written, length - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<uint32_t>(n);
    }
    return true;
}

void CloseLogFile(Handle file) {
    if (file >= 0)
        close(file);
}

Handle OpenMonitor() {
    const std::string path = monitor_path::SocketPath();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path ||
        !monitor_path::IsPrivateDirectory(monitor_path::Directory(), false))
        return kNoHandle;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    FdGuard fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 || connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return kNoHandle;
    return fd.release();
}

void WriteMonitor(Handle monitor, const void* data, uint32_t length) {
    // A monitor that stopped reading must never hold up the line.
    send(monitor, data, length, MSG_DONTWAIT | MSG_NOSIGNAL);
}

void CloseMonitor(Handle monitor) {
    close(monitor);
}

} // namespace serial_os
