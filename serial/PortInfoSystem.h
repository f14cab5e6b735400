// The operating system's part of a port's description, one file per platform chosen by CMake:
// sysfs on Linux (linux/PortInfoLinux.cpp), SetupAPI on Windows (win32/PortInfoWin32.cpp).
#pragma once

#include "PortInfo.h"

namespace port_info_os {

// Fills the device, kind, presence and the system's facts of the port named info.name; a remote name
// only where the system itself keeps one.
void ReadPortFacts(port_info::PortInfo& info);

} // namespace port_info_os
