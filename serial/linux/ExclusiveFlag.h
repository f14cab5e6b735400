// The exclusive flag of a tty (TIOCEXCL) belongs to the device, not to a descriptor: a program killed
// before it could clear it leaves the device refusing every open but root's until it is unplugged.
// A flag that no living process accounts for, neither by holding the device nor by a lock naming
// it, is such a left-over.
#pragma once

#include "Holders.h"
#include "OpenFailure.h"

#include <string>

namespace serial_os {

// For an open that got past a set flag (root's): true when the flag is left over, so that the open
// may take the device and set the flag as its own. False, with why filled, when a process accounts
// for it or when that cannot be told (a process we could not look into may hold it). underWay is the
// open asking, none for a probe.
bool ExclusiveFlagLeftOver(int fd, const std::string& path, OpenUnderWay* underWay, serial_result::OpenFailure& why);

// For an open the flag refused (a user's): fills why with the process that accounts for the flag, or
// says that it is left over and what to do about it.
void ExplainExclusiveFlag(const std::string& path, OpenUnderWay* underWay, serial_result::OpenFailure& why);

} // namespace serial_os
