#include "Processes.h"

#include "FdGuard.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

namespace serial_os {

bool IsRunning(pid_t pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

// The program a process runs, as ps shows it; empty when the process is gone or hidden from us.
std::string ProgramOf(pid_t pid) {
    FdGuard fd(open(("/proc/" + std::to_string(pid) + "/comm").c_str(), O_RDONLY | O_CLOEXEC));
    char text[64] = {};
    const ssize_t n = fd.get() < 0 ? -1 : read(fd.get(), text, sizeof text - 1);
    std::string name = n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

void NameHolder(serial_result::OpenFailure& why, pid_t pid) {
    why.pid = pid;
    why.program = pid > 0 ? ProgramOf(pid) : std::string();
}

bool RunsThisProgram(pid_t pid) {
    struct stat self {};
    struct stat other {};
    return stat("/proc/self/exe", &self) == 0 &&
           stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &other) == 0 && self.st_dev == other.st_dev &&
           self.st_ino == other.st_ino;
}

} // namespace serial_os
