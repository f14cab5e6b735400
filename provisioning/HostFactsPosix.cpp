#include "HostFacts.h"

#include "PortNames.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace host_facts {

std::string DeviceOf(const std::string& portName) {
    return port_names::PosixDevicePath(portName.c_str(), port_names::DeviceDirectory());
}

std::string DeviceIdentity(const std::string& portName) {
    struct stat st {};
    if (stat(DeviceOf(portName).c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return {};
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
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

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "unknown";
    return name;
}

} // namespace host_facts
