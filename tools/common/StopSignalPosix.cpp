#include "StopSignal.h"

#include <csignal>
#include <initializer_list>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

} // namespace

void InstallStopHandler() {
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal; // no SA_RESTART, so a waiting poll returns at once
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &stop, nullptr);
}

bool StopRequested() {
    return g_stop != 0;
}
