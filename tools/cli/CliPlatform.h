// What zk405-cli needs from the operating system beyond the serial channel: its arguments as UTF-8,
// a console that shows UTF-8, the device a port name stands for and why a port did not open. One
// file per platform (CliPlatformPosix.cpp, CliPlatformWin32.cpp), chosen by CMake.
#pragma once

#include <string>
#include <vector>

namespace cli_platform {

// Windows hands main() its arguments in the ANSI code page; the values are taken as UTF-8 everywhere.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
void PrepareConsole();
// The device file (POSIX) or device name (Windows) the port name opens.
std::string DeviceOf(const std::string& portName);
// Why the port cannot be opened now: "missing", "busy (...)", "no permission (...)" or the system's word.
std::string WhyNotOpened(const std::string& portName);
// The whole of a small input the user names: a regular file, or a pipe (on POSIX) that a program
// writes to. Anything else (a directory, a device, a FIFO nobody writes to) and anything over
// maxBytes is refused with the reason in error, and nothing waits for a writer that may never come.
bool ReadSmallInput(const std::string& path, size_t maxBytes, std::string& text, std::string& error);

} // namespace cli_platform
