// A tty opened against every kind of other holder Linux lets us see (its exclusive flag, another
// open's flock, a plain open of any process, a UUCP lock), and the probe that asks the same without
// taking anything.
#include "DeviceOpens.h"

#include "ExclusiveFlag.h"
#include "PortNames.h"
#include "Processes.h"
#include "SystemErrors.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace serial_os {

namespace {

using Clock = std::chrono::steady_clock;

// Another copy's port list holds a device for a moment only, with a shared flock where an open holds
// an exclusive one: an open that meets it waits this long for it to pass before calling the port busy.
// A second, not less: on a loaded machine a copy that lists again and again can win every race for a
// fifth of one, and a free port was then called busy.
constexpr auto kProbeWait = std::chrono::milliseconds(1000);
constexpr auto kProbeRetry = std::chrono::milliseconds(2);

bool TakeFlockPastProbes(int fd, const std::string& path, serial_result::OpenFailure& why) {
    const Clock::time_point deadline = Clock::now() + kProbeWait;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        const int error = errno;
        const bool probed = error == EWOULDBLOCK && flock(fd, LOCK_SH | LOCK_NB) == 0;
        if (probed)
            flock(fd, LOCK_UN);
        if (!probed || Clock::now() >= deadline) {
            Refuse(why, serial_result::OpenReason::kBusy, path, error,
                   probed ? "another copy of the program kept looking at it" : "another open holds its lock");
            return false;
        }
        std::this_thread::sleep_for(kProbeRetry);
    }
}

// A copy of this program seen holding the device while we hold its exclusive flock is a port list
// that will let go at once (or an open about to fail on the flock), so it is looked for again.
bool NoHolderPastProbes(int fd, const std::string& path, OpenUnderWay& underWay, serial_result::OpenFailure& why) {
    const Clock::time_point deadline = Clock::now() + kProbeWait;
    for (;;) {
        // Each look answers for itself: a copy seen by an earlier one is no reason once it let go.
        serial_result::OpenFailure seen;
        if (NoOtherHolder(fd, path, &underWay, seen))
            return true;
        if (seen.reason != serial_result::OpenReason::kHeldBy || !RunsThisProgram(static_cast<pid_t>(seen.pid)) ||
            Clock::now() >= deadline) {
            why = std::move(seen);
            return false;
        }
        std::this_thread::sleep_for(kProbeRetry);
    }
}


serial_result::OpenReason ReasonOfOpenError(int error) {
    if (OutOfResources(error))
        return serial_result::OpenReason::kResourceLimit;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    case ELOOP:
        return serial_result::OpenReason::kMissing;
    case EACCES:
    case EPERM:
    case EROFS:
        return serial_result::OpenReason::kPermission;
    case EBUSY:
        return serial_result::OpenReason::kExclusiveFlag;
    default:
        return serial_result::OpenReason::kOther;
    }
}

// The refusal of an open the system turned down. A tty in exclusive mode turns down every open but
// root's: whether a living process accounts for the flag is worth telling.
void RefuseOpen(int error, const std::string& path, OpenUnderWay* underWay, serial_result::OpenFailure& why) {
    if (error == EBUSY) {
        ExplainExclusiveFlag(path, underWay, why);
        why.osError = error;
    } else {
        Refuse(why, ReasonOfOpenError(error), path, error);
    }
}

// False, with why filled, when the tty open on fd is in exclusive mode that is not left over.
bool ExclusiveFlagClear(int fd, const std::string& path, OpenUnderWay* underWay, serial_result::OpenFailure& why) {
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) != 0) {
        const int error = errno;
        Refuse(why, serial_result::OpenReason::kExclusiveFlag, path, error);
        return false;
    }
    return exclusive == 0 || ExclusiveFlagLeftOver(fd, path, underWay, why);
}

// Every way another program may hold the line, before anything of the device is changed: a tty in
// exclusive mode (root's open gets past that flag, so it is asked for, and passes only a flag a
// killed program left), our own kind's lock, a plain open, and a lock file, which is then ours.
bool NoOtherHolderThenLock(int fd, const std::string& path, OpenUnderWay& underWay, DeviceLock& lock,
                           serial_result::OpenFailure& why) {
    return ExclusiveFlagClear(fd, path, &underWay, why) && TakeFlockPastProbes(fd, path, why) &&
           NoHolderPastProbes(fd, path, underWay, why) && LockDevice(fd, path, lock, why);
}

} // namespace

std::unique_ptr<Device> OpenTty(const std::string& path, OpenUnderWay& underWay, serial_result::OpenFailure& why) {
    using serial_result::OpenReason;
    // O_NONBLOCK so that the open never waits for a carrier; the line is blocking again afterwards.
    FdGuard fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        RefuseOpen(errno, path, &underWay, why);
        return nullptr;
    }
    // A file that is no tty is left to fail on its line settings.
    const bool tty = isatty(fd.get()) != 0;
    DeviceLock lock;
    if (tty && !NoOtherHolderThenLock(fd.get(), path, underWay, lock, why))
        return nullptr;
    if (tty && ioctl(fd.get(), TIOCEXCL) != 0) {
        const int error = errno;
        Refuse(why, OpenReason::kOther, path, error);
        return nullptr;
    }
    std::unique_ptr<Device> device = HoldDevice(fd, lock, tty, path, why);
    if (device && !SetNonBlocking(device->get(), false)) {
        const int error = errno;
        Refuse(why, OpenReason::kOther, path, error);
        return nullptr;
    }
    return device;
}

bool ProbeDevice(const char* portName, serial_result::OpenFailure& why) {
    using serial_result::OpenReason;
    if (portName == nullptr) {
        Refuse(why, OpenReason::kMissing, std::string());
        return false;
    }
    const std::string path = port_names::PosixDevicePath(portName, port_names::DeviceDirectory());
    FdGuard fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        RefuseOpen(errno, path, nullptr, why);
        return false;
    }
    if (!isatty(fd.get()))
        return true; // as the open takes it: left to fail on its line settings
    // The open's checks, but nothing an open meeting the probe would take for a holder of the line:
    // no exclusive flag, no lock file of ours, and only a shared flock.
    if (!ExclusiveFlagClear(fd.get(), path, nullptr, why))
        return false;
    if (flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
        Refuse(why, OpenReason::kBusy, path);
        return false;
    }
    return NoOtherHolder(fd.get(), path, nullptr, why) && NoLockHeld(fd.get(), path, why);
}

} // namespace serial_os
