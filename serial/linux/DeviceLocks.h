// UUCP lock files ("LCK..ttyUSB0" in /run/lock), as minicom, cu and the like write and honour them,
// taken for every device this process opens and removed when it closes. Safe to call from several
// threads at once.
#pragma once

#include "OpenFailure.h"

#include <string>
#include <vector>

namespace serial_os {

// True when the device open on fd is free of every lock file naming it, by the name it was opened
// with or by its real one, and then ours is taken. Without a lock directory we may write to, nothing
// is taken. False, with why filled, when a lock of another holder stands, a stale one may not be
// removed, or ours could not be made in a folder we may write to.
bool LockDevice(int fd, const std::string& openedName, serial_result::OpenFailure& why);
// The same check without taking a lock (stale locks are removed all the same), for the port list.
bool NoLockHeld(int fd, const std::string& openedName, serial_result::OpenFailure& why);
// Removes the lock this process took for the device open on fd, unless someone replaced it since.
void ReleaseLock(int fd);

// The lock of a device that has no file (a Bluetooth link, "LCK..bt-AABBCCDDEEFF"), taken before the
// device is reached and kept under key (a negative stand-in) until its descriptor is known. False,
// with why filled, when another holder has it or no lock could be made: without a lock nothing would
// keep two programs off the device.
bool LockName(const std::string& name, int key, serial_result::OpenFailure& why);
// Hands the lock kept under one key to another (the stand-in's to the descriptor).
void RekeyLock(int from, int to);

// The folders searched for locks, the first one we may write to taking ours: /run/lock and /var/lock.
// Tests point them at a folder of their own; the program never changes them.
void SetLockDirectories(const std::vector<std::string>& directories);
std::vector<std::string> LockDirectories();

} // namespace serial_os
