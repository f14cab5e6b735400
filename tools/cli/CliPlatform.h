// What zk405-cli needs from the operating system beyond the serial channel: its arguments as UTF-8,
// a console that shows UTF-8 and the device a port name stands for. One file per platform
// (CliPlatformPosix.cpp, CliPlatformWin32.cpp), chosen by CMake.
#pragma once

#include <string>
#include <vector>

namespace cli_platform {

// Windows hands main() its arguments in the ANSI code page; the values are taken as UTF-8 everywhere.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
void PrepareConsole();
// The device file (POSIX) or device name (Windows) the port name opens.
std::string DeviceOf(const std::string& portName);

} // namespace cli_platform
