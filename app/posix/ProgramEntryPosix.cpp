// The program's entry on Linux. --version and --help are answered before wx starts, since starting
// the toolkit needs a display.
#include "StartRequest.h"

#include <wx/app.h>

#include <cstdio>

int main(int argc, char** argv) {
    const StartRequest request = ReadStartRequest(argc, argv);
    if (request != StartRequest::kWindows) {
        const std::string text = StartRequestText(request);
        const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
        // A full disk or a closed pipe must not pass for a printed version.
        return written && std::fflush(stdout) == 0 ? 0 : 1;
    }
    wxDISABLE_DEBUG_SUPPORT();
    return wxEntry(argc, argv);
}
