// The station's place in the world: the host name its ledger records carry, and whether its output
// is a terminal a person reads (colour and the bell) or a pipe. One file per platform
// (StationConsolePosix.cpp, StationConsoleWin32.cpp), chosen by CMake.
#pragma once

#include <string>

namespace station_console {

// The machine's name, as another station sharing the ledger would tell it apart; "unknown" when the
// system will not say.
std::string HostName();
// Whether standard output is a terminal that shows colour escapes (on Windows a console with
// virtual-terminal processing, which this turns on).
bool StdoutIsColourTerminal();

} // namespace station_console
