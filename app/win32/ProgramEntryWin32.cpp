// The program's entry on Windows. --version and --help are answered before wx starts. ZK405.EXE is a
// GUI program, which gets no console of its own: the text goes to the standard output the caller
// redirected, else to the console of the command prompt it was started from.
#include "CallerConsole.h"
#include "StandardStreams.h"
#include "StartRequest.h"

#include <wx/app.h>

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    const StartRequest request = ReadStartRequest(__argc, __argv);
    if (request != StartRequest::kWindows)
        return WriteToCaller(StartRequestText(request)) ? 0 : 1;
    // After the start request: a caller's console is found through the standard handles as they are.
    if (!CoverClosedStandardStreams())
        return 1;
    wxDISABLE_DEBUG_SUPPORT();
    // wx reads the command line itself, as its own WinMain would have it. No exception leaves here:
    // the port and its log are then given back by g_serialPort's end.
    try {
        return wxEntry(instance, previous, nullptr, show);
    } catch (...) {
        MessageBoxA(nullptr, "The program stopped after an unexpected failure.", "ZK405", MB_OK | MB_ICONERROR);
        return 1;
    }
}
