#include "StopSignal.h"

#include <atomic>
#include <csignal>
#include <initializer_list>

namespace {

// Read by every thread that waits; lock-free, so the handler may set it.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void OnStopSignal(int sig) {
    int none = 0;
    g_stopSignal.compare_exchange_strong(none, sig); // the first signal is the one reported
}

} // namespace

void InstallStopHandler() {
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

void IgnoreBrokenPipe() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}
