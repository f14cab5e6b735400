#include "StopSignal.h"

#include <windows.h>

namespace {

volatile LONG g_stop = 0;

BOOL WINAPI OnConsoleEvent(DWORD) {
    InterlockedExchange(&g_stop, 1);
    return TRUE;
}

} // namespace

void InstallStopHandler() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() {
    return InterlockedCompareExchange(&g_stop, 0, 0) != 0;
}
