// zk405-station's entry on Windows: the options are read, and --version and --help answered, before
// wx starts; the text goes to the caller (CallerConsole.h), and a refusal in a message box when there
// is no console to say it on.
#include "CallerConsole.h"
#include "StandardStreams.h"
#include "StationCommandLine.h"

#include <wx/app.h>

#include <windows.h>

#include <sstream>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    std::ostringstream out, err;
    if (const std::optional<int> status = ReadStationStart(__argc, __argv, TheStationStart(), out, err)) {
        const std::string text = out.str() + err.str();
        if (!WriteToCaller(text) && *status != 0)
            MessageBoxA(nullptr, text.c_str(), "zk405-station", MB_OK | MB_ICONERROR);
        return *status;
    }
    if (!CoverClosedStandardStreams())
        return 1;
    wxDISABLE_DEBUG_SUPPORT();
    try {
        return wxEntry(instance, previous, nullptr, show);
    } catch (...) {
        MessageBoxA(nullptr, "The station stopped after an unexpected failure.", "zk405-station",
                    MB_OK | MB_ICONERROR);
        return 1;
    }
}
