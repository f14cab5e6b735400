// Port names are "com" + number on every platform. On POSIX they stand for the device files below
// (relative to a device directory, /dev unless a test moves it); any other name is a path as typed.
//
//   com1   - com32   /dev/ttyS0   - ttyS31    (on-board serial ports)
//   com33  - com64   /dev/ttyUSB0 - ttyUSB31  (USB serial adapters)
//   com65  - com96   /dev/ttyACM0 - ttyACM31  (USB modem-class devices)
//   com97  - com128  /dev/rfcomm0 - rfcomm31  (Bluetooth serial ports bound with rfcomm)
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace port_names {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 128;

// The number of a "com" + decimal name ("com" in any letter case, no leading zero), 0 for any other.
int ComNumber(const char* name);
// "com" + n, the name the port list shows.
std::string ComName(int number);
// Every name of the table in order, com1 to com128: what a look for ports walks.
const std::vector<std::string>& AllComNames();

// The device file for a port name on POSIX.
std::string PosixDevicePath(const char* name, const std::string& deviceDirectory);
// The inverse: the port name of a device file of the table, "" for any other. By its file name
// ("ttyUSB3" gives "com36"), or by its path, which must be a file right in deviceDirectory as
// PosixDevicePath writes it ("/dev/rfcomm2" gives "com99", "/tmp/rfcomm2" nothing).
std::string ComNameOfDeviceFile(std::string_view fileName);
std::string ComNameOfDevicePath(std::string_view path, const std::string& deviceDirectory);
// The name CreateFileA needs: "\\.\" + name for "com" + number, so that com10 and above open too.
std::string Win32DevicePath(const char* name);

// The directory the POSIX table is rooted at: "/dev", moved only by tests.
const std::string& DeviceDirectory();
void SetDeviceDirectory(std::string directory);

} // namespace port_names
