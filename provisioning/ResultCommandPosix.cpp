// The command after a result on POSIX: posix_spawn of /bin/sh -c in a process group of its own, so
// that a time limit ends everything it started and a Ctrl+C at the terminal reaches it only through
// this program, which gives it its time limit.
#include "ResultCommand.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace provisioning {

namespace {

using Clock = std::chrono::steady_clock;

// The program's environment with the command's own variables in place of any of the same name.
std::vector<std::string> EnvironmentFor(const Environment& added) {
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        bool replaced = false;
        for (const auto& [name, value] : added)
            replaced = replaced || std::strncmp(*entry, (name + "=").c_str(), name.size() + 1) == 0;
        if (!replaced)
            entries.emplace_back(*entry);
    }
    for (const auto& [name, value] : added)
        entries.push_back(name + "=" + value);
    return entries;
}

// Writes what the pipe takes at once, without this thread (or the program) dying of SIGPIPE when the
// command has not read or has already gone: the signal is blocked for the write and a pending one
// taken back, so another program hosting this (the window) needs no SIGPIPE setting of its own.
void Feed(int fd, const std::string& input) {
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    // One JSON line is far under a pipe's room; what does not fit at once is not waited for.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    ssize_t n;
    do
        n = write(fd, input.data(), input.size());
    while (n < 0 && errno == EINTR);
    const bool broken = n < 0 && errno == EPIPE;
    close(fd);
    if (broken) {
        const timespec none{0, 0};
        sigtimedwait(&pipe, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

// A child ends without telling a descriptor of ours, and a SIGCHLD handler would be the whole
// program's: its end is looked for every few milliseconds, up to the deadline. It is left unreaped
// (WNOWAIT), so that its group's number cannot pass to another process before the group is killed.
bool EndedBy(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        siginfo_t info{};
        const int result = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if ((result == 0 && info.si_pid == pid) || (result != 0 && errno != EINTR))
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int Reap(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Its own process group; the signals this program ignores (SIGPIPE) or blocks are the default again;
// its standard input the pipe and its standard output this program's standard error.
void Prepare(SpawnSetup& setup, int inputFd) {
    posix_spawn_file_actions_adddup2(&setup.actions, inputFd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, STDERR_FILENO, STDOUT_FILENO);
    sigset_t defaults, none;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

} // namespace

ResultCommandRun RunResultCommand(const ResultCommand& command, const std::string& input,
                                  const Environment& environment) {
    ResultCommandRun run;
    if (command.command.empty())
        return run;
    const Clock::time_point start = Clock::now();
    std::vector<std::string> entries = EnvironmentFor(environment);
    std::vector<char*> envp;
    for (std::string& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string shell = "/bin/sh", flag = "-c", text = command.command;
    char* argv[] = {shell.data(), flag.data(), text.data(), nullptr};

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        run.end = ResultCommandRun::End::NotStarted;
        run.reason = std::string("no pipe: ") + std::strerror(errno);
        return run;
    }
    SpawnSetup setup;
    Prepare(setup, fds[0]);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, shell.c_str(), &setup.actions, &setup.attributes, argv, envp.data());
    close(fds[0]);
    if (error != 0) {
        close(fds[1]);
        run.end = ResultCommandRun::End::NotStarted;
        run.reason = shell + ": " + std::strerror(error);
        return run;
    }
    Feed(fds[1], input);
    const bool ended = EndedBy(pid, start + command.timeout);
    // Everything in its group goes with it: what it left running (a "&") does not outlive its run.
    kill(-pid, SIGKILL);
    const int status = Reap(pid);
    if (!ended) {
        run.end = ResultCommandRun::End::TimedOut;
    } else if (WIFSIGNALED(status)) {
        run.end = ResultCommandRun::End::Signalled;
        run.code = WTERMSIG(status);
    } else {
        run.end = ResultCommandRun::End::Exited;
        run.code = WEXITSTATUS(status);
    }
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return run;
}

} // namespace provisioning
