#include "OtherProgram.h"

#include "DeviceLocks.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

pid_t Spawn(const char* program, const std::string& heldPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!heldPath.empty())
        posix_spawn_file_actions_addopen(&actions, 3, heldPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK, 0);
    char* args[] = {const_cast<char*>(program), const_cast<char*>("60"), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program, &actions, nullptr, args, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

} // namespace

OtherProgram::OtherProgram(const std::string& path) : m_pid(Spawn("/bin/sleep", path)), m_running(m_pid > 0) {
    // The descriptor is the child's once it runs the program: wait until /proc shows it.
    const std::string fd = "/proc/" + std::to_string(m_pid) + "/fd/3";
    for (int i = 0; i < 500 && m_running && access(fd.c_str(), F_OK) != 0; ++i)
        usleep(2000);
}

OtherProgram::OtherProgram() : m_pid(Spawn("/bin/true", "")) {
    int status = 0;
    if (m_pid > 0)
        waitpid(m_pid, &status, 0);
}

OtherProgram::~OtherProgram() {
    if (m_running) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
}

FileLockHolder::FileLockHolder(const std::string& path) {
    int ready[2];
    int release[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return;
    if (pipe2(release, O_CLOEXEC) != 0) {
        close(ready[0]);
        close(ready[1]);
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        // Only calls a child of a threaded process may make.
        close(release[1]);
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const char taken = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 1 : 0;
        [[maybe_unused]] ssize_t n = write(ready[1], &taken, 1);
        char ignored;
        n = read(release[0], &ignored, 1); // until the test closes its end, or ends
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    m_release = release[1];
    char taken = 0;
    m_locked = m_pid > 0 && read(ready[0], &taken, 1) == 1 && taken == 1;
    close(ready[0]);
}

void FileLockHolder::Release() {
    if (m_release >= 0)
        close(m_release);
    m_release = -1;
    if (m_pid > 0)
        waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

std::string UucpLockPath(const std::string& devicePath) {
    std::string name = devicePath.rfind("/dev/", 0) == 0 ? devicePath.substr(5) : devicePath;
    for (char& c : name)
        if (c == '/')
            c = '_';
    return serial_os::LockDirectories().front() + "/LCK.." + name;
}

bool WriteUucpLock(const std::string& devicePath, pid_t pid) {
    FILE* lock = std::fopen(UucpLockPath(devicePath).c_str(), "w");
    if (lock == nullptr)
        return false;
    std::fprintf(lock, "%10d\n", static_cast<int>(pid));
    return std::fclose(lock) == 0;
}

PrivateLockFolder::PrivateLockFolder() : m_previous(serial_os::LockDirectories()) {
    chmod(m_dir.Path().c_str(), 01777);
    serial_os::SetLockDirectories({m_dir.Path()});
}

PrivateLockFolder::~PrivateLockFolder() {
    serial_os::SetLockDirectories(m_previous);
}

std::vector<std::string> PrivateLockFolder::Entries() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(m_dir.Path().c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}
