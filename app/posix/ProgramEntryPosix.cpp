// The program's entry on Linux. --version and --help are answered before wx starts, since starting
// the toolkit needs a display.
#include "StandardStreams.h"
#include "StartRequest.h"

#include <wx/app.h>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    const StartRequest request = ReadStartRequest(argc, argv);
    if (request != StartRequest::kWindows) {
        const std::string text = StartRequestText(request);
        const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
        // A full disk or a closed pipe must not pass for a printed version.
        return written && std::fflush(stdout) == 0 ? 0 : 1;
    }
    // The toolkit opens its display connection and the window its port and log: none may take a
    // closed stream's number.
    if (!CoverClosedStandardStreams())
        return 1;
    wxDISABLE_DEBUG_SUPPORT();
    // No exception leaves main: the port and its log are then given back by g_serialPort's end.
    try {
        return wxEntry(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zk405: stopped by an unexpected failure: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "zk405: stopped by an unexpected failure\n");
    }
    return 1;
}
