#include "StopSignal.h"

#include <csignal>
#include <windows.h>

namespace {

volatile LONG g_stopSignal = 0;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    InterlockedCompareExchange(&g_stopSignal, event == CTRL_C_EVENT ? SIGINT : SIGTERM, 0);
    return TRUE;
}

} // namespace

void InstallStopHandler() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() {
    return StopSignalNumber() != 0;
}

int StopSignalNumber() {
    return static_cast<int>(InterlockedCompareExchange(&g_stopSignal, 0, 0));
}

// Windows has no SIGPIPE: a write to a closed pipe fails with ERROR_NO_DATA already.
void IgnoreBrokenPipe() {}
