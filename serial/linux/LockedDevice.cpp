// An open device with what it holds, the one shape of the tty and the Bluetooth link alike.
#include "DeviceOpens.h"

#include <cerrno>
#include <new>
#include <sys/ioctl.h>
#include <utility>

namespace serial_os {

LockedDevice::LockedDevice(int fd, DeviceLock&& lock, bool exclusive)
    : Device(fd), m_fd(fd), m_lock(std::move(lock)), m_exclusive(exclusive) {}

LockedDevice::~LockedDevice() {
    // The exclusive flag belongs to the tty and may outlive this descriptor (a pseudo-terminal lives
    // on while its master is open); it is ours, as the open found it clear, so it is cleared again.
    if (m_exclusive)
        ioctl(m_fd.get(), TIOCNXCL);
}

std::unique_ptr<Device> HoldDevice(FdGuard& fd, DeviceLock& lock, bool exclusive, const std::string& path,
                                   serial_result::OpenFailure& why) {
    std::unique_ptr<Device> device(new (std::nothrow) LockedDevice(fd.get(), std::move(lock), exclusive));
    if (!device) {
        if (exclusive)
            ioctl(fd.get(), TIOCNXCL);
        Refuse(why, serial_result::OpenReason::kResourceLimit, path, ENOMEM);
        return nullptr;
    }
    fd.release();
    return device;
}

} // namespace serial_os
