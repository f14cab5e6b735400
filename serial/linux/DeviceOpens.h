// The two kinds of device the Linux layer opens, each held with what it keeps while open: a tty
// (TtyOpen.cpp), guarded against every kind of other holder Linux lets us see, and a Bluetooth link
// through BlueZ (BluetoothOpen.cpp).
#pragma once

#include "DeviceLocks.h"
#include "FdGuard.h"
#include "Holders.h"
#include "OpenFailure.h"
#include "SerialSystem.h"

#include <memory>
#include <string>

namespace serial_os {

// An open descriptor with its lock, and for a tty the exclusive flag that it set (LockedDevice.cpp).
// Its end clears the flag, removes the lock and only then closes the descriptor, so that no other
// open finds the device free while it is still ours.
class LockedDevice final : public Device {
public:
    LockedDevice(int fd, DeviceLock&& lock, bool exclusive);
    ~LockedDevice() override;

private:
    FdGuard m_fd;
    DeviceLock m_lock;
    bool m_exclusive;
};

// fd and lock as one device; null, with why filled and both given back, without memory for it.
std::unique_ptr<Device> HoldDevice(FdGuard& fd, DeviceLock& lock, bool exclusive, const std::string& path,
                                   serial_result::OpenFailure& why);

// The device file at path (a tty, or any other file, left to fail on its line settings).
std::unique_ptr<Device> OpenTty(const std::string& path, OpenUnderWay& open, serial_result::OpenFailure& why);

// The link to the paired device at address ("AA:BB:CC:DD:EE:FF").
std::unique_ptr<Device> OpenBluetoothLink(const std::string& address, serial_result::OpenFailure& why);

} // namespace serial_os
