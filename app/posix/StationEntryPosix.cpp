// zk405-station's entry on Linux: the options are read, and --version and --help answered, before wx
// starts, since starting the toolkit needs a display.
#include "StandardStreams.h"
#include "StationCommandLine.h"

#include <wx/app.h>

#include <cstdio>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (const std::optional<int> status = ReadStationStart(argc, argv, TheStationStart(), std::cout, std::cerr))
        return *status;
    if (!CoverClosedStandardStreams())
        return 1;
    wxDISABLE_DEBUG_SUPPORT();
    // No exception leaves main: the jobs' ports and the ledger's lock are then given back by their ends.
    try {
        return wxEntry(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zk405-station: stopped by an unexpected failure: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "zk405-station: stopped by an unexpected failure\n");
    }
    return 1;
}
