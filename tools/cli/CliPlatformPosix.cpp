#include "CliPlatform.h"

#include "PortNames.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli_platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

std::string DeviceOf(const std::string& portName) {
    return port_names::PosixDevicePath(portName.c_str(), port_names::DeviceDirectory());
}

std::string WhyNotOpened(const std::string& portName) {
    const std::string path = DeviceOf(portName);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "missing (no " + path + ")" : std::strerror(errno);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            return "no permission (" + path + "; serial devices usually belong to group dialout)";
        if (errno == EBUSY)
            return "busy (held by another program)";
        return std::strerror(errno);
    }
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return locked ? "busy (held by another program)" : "it did not open as a serial line";
}

bool ReadSmallInput(const std::string& path, size_t maxBytes, std::string& text, std::string& error) {
    // Not waiting in open: a FIFO that no program has opened for writing would keep it for ever.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const std::unique_ptr<const int, void (*)(const int*)> closer(&fd, [](const int* f) { close(*f); });
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    const bool pipe = S_ISFIFO(st.st_mode);
    if (!S_ISREG(st.st_mode) && !pipe) {
        error = S_ISDIR(st.st_mode) ? "it is a directory" : "it is neither a regular file nor a pipe";
        return false;
    }
    const std::string tooLarge = "it is larger than " + std::to_string(maxBytes) + " bytes";
    if (S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) > maxBytes) {
        error = tooLarge;
        return false;
    }
    // From here reads may wait: a file has its bytes, and a pipe's writer is one the user started. A
    // pipe with no writer at all reads as empty at once.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = std::strerror(errno);
        return false;
    }
    std::string read;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            error = errno == EINTR ? "interrupted" : std::strerror(errno);
            return false;
        }
        if (n == 0)
            break;
        read.append(chunk, static_cast<size_t>(n));
        if (read.size() > maxBytes) {
            error = tooLarge;
            return false;
        }
    }
    if (pipe && read.empty()) {
        error = "nothing came from the pipe (is a program writing to it?)";
        return false;
    }
    text = std::move(read);
    return true;
}

} // namespace cli_platform
