#include "ChildProcess.h"
#include "Deadline.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    int pipeFds[2];
    if (argv.empty() || pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    m_output = pipeFds[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && m_status < 0) {
        kill(m_pid, SIGTERM);
        if (Wait(5000) < 0) {
            kill(m_pid, SIGKILL);
            Wait(5000);
        }
    }
    if (m_output >= 0)
        close(m_output);
}

bool ChildProcess::ReadMore(int timeoutMs) {
    pollfd p{m_output, POLLIN, 0};
    if (m_output < 0 || poll(&p, 1, timeoutMs) <= 0)
        return false;
    char chunk[4096];
    const ssize_t n = read(m_output, chunk, sizeof chunk);
    if (n <= 0)
        return false;
    m_buffered.append(chunk, static_cast<size_t>(n));
    return true;
}

std::string ChildProcess::ReadLine(int timeoutMs) {
    const Deadline deadline(timeoutMs);
    size_t end;
    while ((end = m_buffered.find('\n')) == std::string::npos)
        if (!ReadMore(deadline.MsLeft()))
            return {};
    std::string line = m_buffered.substr(0, end);
    m_buffered.erase(0, end + 1);
    return line;
}

std::string ChildProcess::ReadToEnd(int timeoutMs) {
    const Deadline deadline(timeoutMs);
    while (ReadMore(deadline.MsLeft())) {
    }
    return std::exchange(m_buffered, {});
}

bool ChildProcess::Signal(int sig) const {
    return m_pid > 0 && m_status < 0 && kill(m_pid, sig) == 0;
}

int ChildProcess::Wait(int timeoutMs) {
    if (m_pid <= 0)
        return -1;
    WaitUntil(Deadline(timeoutMs), std::chrono::milliseconds(5), [this] {
        int status = 0;
        if (m_status < 0 && waitpid(m_pid, &status, WNOHANG) == m_pid)
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return m_status >= 0;
    });
    return m_status;
}

bool WaitForPath(const std::string& path, int timeoutMs) {
    return WaitUntil(Deadline(timeoutMs), std::chrono::milliseconds(5), [&path] {
        struct stat st {};
        return lstat(path.c_str(), &st) == 0;
    });
}
