// What the command line asks of the program before its windows start. The windows take no options;
// the version and a word on usage can be asked for from a shell, without a display.
#pragma once

#include <string>

enum class StartRequest { kWindows, kVersion, kHelp };

// Only a first argument of --version or --help counts; anything else starts the windows, as before.
StartRequest ReadStartRequest(int argc, const char* const* argv);

// What to print for a request other than kWindows, ending in a newline; empty for kWindows.
std::string StartRequestText(StartRequest request);
