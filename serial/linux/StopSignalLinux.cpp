#include "StopSignal.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <unistd.h>

namespace {

// Read by every thread that waits; lock-free, so the handler may set it.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The self-pipe the handler writes to; never drained, so it stays readable once a stop was asked.
std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};

void OnStopSignal(int sig) {
    const int saved = errno;
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, sig); // the first signal is the one reported
    const int fd = g_wakeWrite.load();
    const char byte = 1;
    if (fd >= 0)
        [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
    errno = saved;
}

} // namespace

void InstallStopHandler() {
    int fds[2];
    if (g_wakeRead.load() < 0 && pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        g_wakeRead = fds[0];
        g_wakeWrite = fds[1];
    }
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal; // no SA_RESTART, so a waiting poll returns at once
    sigemptyset(&stop.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &stop, nullptr);
}

bool StopRequested() {
    return g_stopSignal.load() != 0;
}

int StopSignalNumber() {
    return g_stopSignal.load();
}

int StopWakeDescriptor() {
    return g_wakeRead.load();
}

bool WaitForStop(int ms) {
    if (StopRequested())
        return true;
    pollfd wake{StopWakeDescriptor(), POLLIN, 0};
    if (wake.fd >= 0)
        poll(&wake, 1, ms);
    else
        usleep(static_cast<useconds_t>(ms) * 1000);
    return StopRequested();
}

void IgnoreBrokenPipe() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}
