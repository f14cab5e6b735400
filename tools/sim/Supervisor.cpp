#include "Supervisor.h"

#include "SimOptions.h"
#include "StopSignal.h"

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace zk405_sim {

namespace {

constexpr int kHandedOn[] = {SIGINT, SIGTERM, SIGHUP, SIGCHLD};

sigset_t HandedOnSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kHandedOn)
        sigaddset(&set, sig);
    return set;
}

// Waits for the child, handing it the stop signals; returns its exit status.
int Supervise(pid_t child) {
    const sigset_t waited = HandedOnSignals();
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0)
            return kExitNotStarted;
        int sig = 0;
        if (sigwait(&waited, &sig) == 0 && sig != SIGCHLD)
            kill(child, SIGTERM);
    }
}

void IgnoreSignal(int) {}

} // namespace

int RunSupervised(int ownedSocket, const std::function<int(pid_t supervisor)>& child) {
    // Blocked before the fork so that no stop signal slips past between fork and sigwait; the child
    // unblocks them again. SIGCHLD needs a handler of its own to be delivered to sigwait at all.
    struct sigaction childAction {};
    childAction.sa_handler = IgnoreSignal;
    sigaction(SIGCHLD, &childAction, nullptr);
    const sigset_t blocked = HandedOnSignals();
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &blocked, &previous);

    const pid_t supervisor = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("zk405-sim: fork");
        return kExitNotStarted;
    }
    if (pid > 0) {
        if (ownedSocket >= 0)
            close(ownedSocket);
        return Supervise(pid);
    }
    InstallStopHandler();
    std::signal(SIGPIPE, SIG_IGN); // a reader of stdout that went away must not end the module
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return child(supervisor);
}

} // namespace zk405_sim
