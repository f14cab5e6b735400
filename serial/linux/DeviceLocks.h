// UUCP lock files ("LCK..ttyUSB0" in /run/lock), as minicom, cu and the like write and honour them,
// taken for every device this process opens and removed when it closes. Safe to use from several
// threads at once.
#pragma once

#include "OpenFailure.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace serial_os {

// A lock file this process took, held as long as the object lives: its end removes the file, unless
// someone replaced it since. Empty (held by nobody) where no lock folder may be written to.
class DeviceLock {
public:
    DeviceLock() = default;
    ~DeviceLock() { Release(); }
    DeviceLock(DeviceLock&& other) noexcept;
    DeviceLock& operator=(DeviceLock&& other) noexcept;
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    bool Held() const { return !m_path.empty(); }

private:
    friend bool LockDevice(int fd, const std::string& openedName, DeviceLock& lock, serial_result::OpenFailure& why);
    friend bool LockName(const std::string& name, DeviceLock& lock, serial_result::OpenFailure& why);
    void Adopt(std::string path, dev_t device, ino_t inode);
    void Release();

    std::string m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

// True when the device open on fd is free of every lock file naming it, by the name it was opened
// with or by its real one, and then ours is taken into lock. Without a lock directory we may write
// to, nothing is taken. False, with why filled, when a lock of another holder stands, a stale one
// may not be removed, or ours could not be made in a folder we may write to.
bool LockDevice(int fd, const std::string& openedName, DeviceLock& lock, serial_result::OpenFailure& why);
// The same check without taking a lock (stale locks are removed all the same), for the port list.
bool NoLockHeld(int fd, const std::string& openedName, serial_result::OpenFailure& why);

// The lock of a device that has no file (a Bluetooth link, "LCK..bt-AABBCCDDEEFF"), taken before the
// device is reached. False, with why filled, when another holder has it or no lock could be made:
// without a lock nothing would keep two programs off the device.
bool LockName(const std::string& name, DeviceLock& lock, serial_result::OpenFailure& why);

// The folders searched for locks, the first one we may write to taking ours: /run/lock and /var/lock.
// Tests point them at a folder of their own; the program never changes them.
void SetLockDirectories(const std::vector<std::string>& directories);
std::vector<std::string> LockDirectories();

} // namespace serial_os
