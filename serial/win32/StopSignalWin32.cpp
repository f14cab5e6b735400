#include "StopSignal.h"

#include <csignal>
#include <windows.h>

namespace {

volatile LONG g_stopSignal = 0;
// Set with the flag, so that a wait ends at once; made by InstallStopHandler.
HANDLE g_stopEvent = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    InterlockedCompareExchange(&g_stopSignal, event == CTRL_C_EVENT ? SIGINT : SIGTERM, 0);
    if (g_stopEvent != nullptr)
        SetEvent(g_stopEvent);
    // The close and shutdown events end the process when this returns; a loop has the time the system
    // gives it to finish.
    return TRUE;
}

} // namespace

void InstallStopHandler() {
    if (g_stopEvent == nullptr)
        g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() {
    return StopSignalNumber() != 0;
}

int StopSignalNumber() {
    return static_cast<int>(InterlockedCompareExchange(&g_stopSignal, 0, 0));
}

// Windows waits on handles, not descriptors: WaitForStop is its way to wait.
int StopWakeDescriptor() {
    return -1;
}

bool WaitForStop(int ms) {
    if (StopRequested())
        return true;
    if (g_stopEvent != nullptr)
        WaitForSingleObject(g_stopEvent, static_cast<DWORD>(ms < 0 ? 0 : ms));
    else
        Sleep(static_cast<DWORD>(ms < 0 ? 0 : ms));
    return StopRequested();
}

// Windows has no SIGPIPE: a write to a closed pipe fails with ERROR_NO_DATA already.
void IgnoreBrokenPipe() {}
