// What provisioning needs from the operating system beyond the serial channel: the device a port name
// stands for, a small input file the user names, and the machine's name. One file per platform
// (HostFactsPosix.cpp, HostFactsWin32.cpp), chosen by CMake.
#pragma once

#include <cstddef>
#include <string>

namespace host_facts {

// The device file (POSIX) or device name (Windows) the port name opens.
std::string DeviceOf(const std::string& portName);

// Which device the port name reaches now, links followed: two names with one identity are one module.
// On POSIX a character device's number ("188:3"); "" when the name reaches no character device. On
// Windows the COM name is the device, and "" is returned: the station then goes by the name.
std::string DeviceIdentity(const std::string& portName);

// The whole of a small input the user names: a regular file, or a pipe (on POSIX) that a program
// writes to. Anything else (a directory, a device, a FIFO nobody writes to) and anything over
// maxBytes is refused with the reason in error, and nothing waits for a writer that may never come.
bool ReadSmallInput(const std::string& path, size_t maxBytes, std::string& text, std::string& error);

// The machine's name, as another station sharing the ledger would tell it apart; "unknown" when the
// system will not say.
std::string HostName();

} // namespace host_facts
