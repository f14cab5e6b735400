#include "CliPlatform.h"

#include "PortNames.h"

#include <cerrno>
#include <cstring>
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

} // namespace cli_platform
