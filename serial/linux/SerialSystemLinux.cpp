// Linux side of the serial channel: termios device files held against every kind of other holder
// Linux lets us see, an flock'ed log file checked to be our own, and a Unix datagram socket for the
// monitor (datagrams keep message boundaries as a mailslot does).
#include "SerialSystem.h"

#include "Bluetooth.h"
#include "BluezConnect.h"
#include "DeviceLocks.h"
#include "ExclusiveFlag.h"
#include "FdGuard.h"
#include "Holders.h"
#include "MonitorPath.h"
#include "PortNames.h"
#include "Processes.h"
#include "SystemErrors.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace serial_os {

namespace {

using Clock = std::chrono::steady_clock;

struct BaudEntry {
    uint32_t rate;
    speed_t speed;
};

constexpr BaudEntry kBaudRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool SetNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    return fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A connected socket (a Bluetooth link) rather than a device file: no line settings, no driver queue.
bool IsSocket(int fd) {
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

// On a socket send() with MSG_NOSIGNAL, so that a link the far end closed fails the write instead of
// ending the program with SIGPIPE.
ssize_t WriteSome(int fd, bool socket, const unsigned char* bytes, uint32_t length) {
    return socket ? send(fd, bytes, length, MSG_NOSIGNAL) : write(fd, bytes, length);
}

bool WriteWithin(int fd, const unsigned char* bytes, uint32_t length, Clock::time_point deadline) {
    const bool socket = IsSocket(fd);
    while (length > 0) {
        const ssize_t n = WriteSome(fd, socket, bytes, length);
        if (n > 0) {
            bytes += n;
            length -= static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const int left = RemainingMs(deadline);
        if (left == 0)
            return false;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, left) < 0 && errno != EINTR)
            return false;
    }
    return true;
}

// A write has finished when its bytes have left the driver, as on Windows; a pseudo-terminal keeps
// no output queue, so this returns at once there.
bool DrainWithin(int fd, Clock::time_point deadline) {
    // A socket's TIOCOUTQ counts something else on some families (free room on Bluetooth sockets); a
    // write to one is done once the socket took it.
    if (IsSocket(fd))
        return true;
    for (;;) {
        int queued = 0;
        if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return true;
        if (RemainingMs(deadline) == 0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Waits until the line takes a command whole: nothing queued from before, and room to write. On a
// serial driver the queue is what TIOCOUTQ counts; a pseudo-terminal has no queue of its own, and
// the far end's buffer shows only as the write readiness, which it keeps while a buffer page (far
// more than a command) still fits. A stuck line thus fails the write before any of it is queued.
bool ReadyWithin(int fd, Clock::time_point deadline) {
    if (!DrainWithin(fd, deadline))
        return false;
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        const int ready = poll(&p, 1, RemainingMs(deadline));
        if (ready > 0)
            return (p.revents & POLLOUT) != 0;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// Another copy's port list holds a device for a moment only, with a shared flock where an open holds
// an exclusive one: an open that meets it waits this long for it to pass before calling the port busy.
constexpr auto kProbeWait = std::chrono::milliseconds(200);
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
bool NoHolderPastProbes(int fd, const std::string& path, serial_result::OpenFailure& why) {
    const Clock::time_point deadline = Clock::now() + kProbeWait;
    for (;;) {
        if (NoOtherHolder(fd, path, why))
            return true;
        if (why.reason != serial_result::OpenReason::kHeldBy || !RunsThisProgram(static_cast<pid_t>(why.pid)) ||
            Clock::now() >= deadline)
            return false;
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
void RefuseOpen(int error, const std::string& path, serial_result::OpenFailure& why) {
    if (error == EBUSY) {
        ExplainExclusiveFlag(path, why);
        why.osError = error;
    } else {
        Refuse(why, ReasonOfOpenError(error), path, error);
    }
}

// False, with why filled, when the tty open on fd is in exclusive mode that is not left over.
bool ExclusiveFlagClear(int fd, const std::string& path, serial_result::OpenFailure& why) {
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) != 0) {
        Refuse(why, serial_result::OpenReason::kExclusiveFlag, path, errno);
        return false;
    }
    return exclusive == 0 || ExclusiveFlagLeftOver(fd, path, why);
}

// The longest a Bluetooth connection may take; tests shorten it (never lengthen it) through
// ZK405_BLUETOOTH_CONNECT_MS so that a device that never answers does not cost them 15 s.
std::chrono::milliseconds BluetoothConnectBound() {
    constexpr std::chrono::milliseconds kBound{15000};
    const char* text = std::getenv("ZK405_BLUETOOTH_CONNECT_MS");
    if (text == nullptr)
        return kBound;
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && ms > 0 && ms < kBound.count() ? std::chrono::milliseconds(ms) : kBound;
}

// A Bluetooth link has no device file: its lock is named after the address ("LCK..bt-AABBCCDDEEFF"),
// taken before the link is asked for, so that a second open of the device, by this program or another
// copy, is refused as busy without disturbing the first. Without a lock the open is refused: nothing
// else would keep two programs off one link.
Handle OpenBluetoothPort(const std::string& text, serial_result::OpenFailure& why) {
    static std::atomic<int> standIns{0};
    const int standIn = -2 - standIns++;
    const bluetooth::Address address = *bluetooth::Address::Parse(text);
    if (!LockName("LCK..bt-" + address.Compact(), standIn, why))
        return kNoHandle;
    const int fd = bluez::ConnectSerialPort(address, BluetoothConnectBound(), why);
    if (fd < 0) {
        ReleaseLock(standIn);
        if (why.path.empty())
            why.path = bluetooth::kPortPrefix + text;
        return kNoHandle;
    }
    RekeyLock(standIn, fd);
    return fd;
}

} // namespace

Handle OpenDevice(const char* portName, serial_result::OpenFailure& why) {
    using serial_result::OpenReason;
    OpenUnderWay underWay;
    if (portName == nullptr) {
        Refuse(why, OpenReason::kMissing, std::string());
        return kNoHandle;
    }
    std::string address;
    if (bluetooth::AddressOfPortName(portName, address)) {
        underWay.Arrived(); // the link may take seconds: the walks of the other ports do not wait for it
        return OpenBluetoothPort(address, why);
    }
    const std::string path = port_names::PosixDevicePath(portName, port_names::DeviceDirectory());
    // O_NONBLOCK so that the open never waits for a carrier; the line is blocking again afterwards.
    FdGuard fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        RefuseOpen(errno, path, why);
        return kNoHandle;
    }
    // A file that is no tty is left to fail on its line settings.
    if (isatty(fd.get())) {
        // Every way another program may hold the line, before anything of the device is changed:
        // a tty in exclusive mode (root's open gets past that flag, so it is asked for, and passes
        // only a flag a killed program left), our own kind's lock, a lock file, and a plain open.
        if (!ExclusiveFlagClear(fd.get(), path, why))
            return kNoHandle;
        if (!TakeFlockPastProbes(fd.get(), path, why) || !NoHolderPastProbes(fd.get(), path, why) ||
            !LockDevice(fd.get(), path, why))
            return kNoHandle;
        if (ioctl(fd.get(), TIOCEXCL) != 0 || !SetNonBlocking(fd.get(), false)) {
            Refuse(why, OpenReason::kOther, path, errno);
            ioctl(fd.get(), TIOCNXCL);
            ReleaseLock(fd.get());
            return kNoHandle;
        }
    } else if (!SetNonBlocking(fd.get(), false)) {
        Refuse(why, OpenReason::kOther, path, errno);
        return kNoHandle;
    }
    return fd.release();
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
        RefuseOpen(errno, path, why);
        return false;
    }
    if (!isatty(fd.get()))
        return true; // as the open takes it: left to fail on its line settings
    // The open's checks, but nothing an open meeting the probe would take for a holder of the line:
    // no exclusive flag, no lock file of ours, and only a shared flock.
    if (!ExclusiveFlagClear(fd.get(), path, why))
        return false;
    if (flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
        Refuse(why, OpenReason::kBusy, path);
        return false;
    }
    return NoOtherHolder(fd.get(), path, why) && NoLockHeld(fd.get(), path, why);
}

void CloseDevice(Handle port) {
    // The exclusive flag belongs to the tty and may outlive this descriptor (a pseudo-terminal lives
    // on while its master is open); it is ours, as OpenDevice found it clear, so it is cleared again.
    ioctl(port, TIOCNXCL);
    ReleaseLock(port);
    close(port);
}

void SetQueueSizes(Handle, uint32_t, uint32_t) {}

void ReadLineSettings(Handle port, LineSettings& settings) {
    if (tcgetattr(port, &settings) != 0)
        std::memset(&settings, 0, sizeof settings);
}

bool SetModuleLineSettings(LineSettings& settings, uint32_t baudRate) {
    const BaudEntry* entry = nullptr;
    for (const BaudEntry& candidate : kBaudRates)
        if (candidate.rate == baudRate)
            entry = &candidate;
    if (entry == nullptr)
        return false;
    cfmakeraw(&settings); // no echo, no line-end translation, no byte dropped or replaced
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CRTSCTS | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    return cfsetispeed(&settings, entry->speed) == 0 && cfsetospeed(&settings, entry->speed) == 0;
}

bool WriteLineSettings(Handle port, const LineSettings& settings) {
    // A Bluetooth link carries the bytes as they are, at the speed of the radio: nothing to set.
    if (IsSocket(port))
        return true;
    if (tcsetattr(port, TCSANOW, &settings) != 0)
        return false;
    int dtr = TIOCM_DTR;
    ioctl(port, TIOCMBIS, &dtr); // a pseudo-terminal has no modem lines; that is no failure
    return true;
}

// termios has no event mask; there is nothing to save or to refuse.
void ReadEventMask(Handle, uint32_t& mask) {
    mask = 0;
}
bool WriteEventMask(Handle, uint32_t) {
    return true;
}

void ReadTimeouts(Handle, Timeouts& timeouts) {
    timeouts = Timeouts{};
}
void SetModuleTimeouts(Timeouts& timeouts, uint32_t writeBoundMs) {
    timeouts.writeBoundMs = writeBoundMs;
}
// WriteAll applies the bound itself: there is nothing for the driver to refuse.
bool WriteTimeouts(Handle, const Timeouts&) {
    return true;
}

bool WriteAll(Handle port, const void* data, uint32_t length, const Timeouts& timeouts) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeouts.writeBoundMs);
    if (!SetNonBlocking(port, true))
        return false;
    // Never flushed afterwards: the queue may still hold bytes of earlier writes that reported success.
    const bool sent = (length == 0 || ReadyWithin(port, deadline)) &&
                      WriteWithin(port, static_cast<const unsigned char*>(data), length, deadline) &&
                      DrainWithin(port, deadline);
    SetNonBlocking(port, false);
    return sent;
}

uint32_t QueryInputQueue(Handle port, QueueStatus& status, uint32_t& errorFlags) {
    int queued = 0;
    if (ioctl(port, FIONREAD, &queued) != 0 || queued < 0)
        queued = 0;
    status.inQueue = static_cast<uint32_t>(queued);
    errorFlags = 0;
    // Nothing to read on a connection may mean that the far end closed it: a peek tells.
    if (queued == 0 && IsSocket(port)) {
        char byte = 0;
        const ssize_t n = recv(port, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
            errorFlags = kLinkLost;
    }
    return status.inQueue;
}

uint32_t ReadQueued(Handle port, void* buffer, uint32_t length) {
    ssize_t n;
    do
        n = read(port, buffer, length);
    while (n < 0 && errno == EINTR);
    return n > 0 ? static_cast<uint32_t>(n) : 0;
}

Handle CreateLogFile(const char* fileName) {
    if (fileName == nullptr)
        return kNoHandle;
    // The name is in a directory others may write to, and the dump holds the PIN: a link planted
    // there must not make us empty or write any file it points to, a FIFO must not hold up the
    // connection, and another user's file must not receive the dump. So the name is opened without
    // following a link and without waiting, and the file itself is checked before anything changes.
    // No O_TRUNC: a copy of the program that already logs here must keep its file, so the file is
    // emptied only once the lock is ours. 0600 because the dump holds the PIN.
    FdGuard fd(open(fileName, O_WRONLY | O_CREAT | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
    if (fd.get() < 0)
        return kNoHandle;
    struct stat st {};
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != geteuid())
        return kNoHandle;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ftruncate(fd.get(), 0) != 0)
        return kNoHandle;
    if ((st.st_mode & 07777) != 0600 && fchmod(fd.get(), 0600) != 0)
        return kNoHandle;
    return fd.release();
}

bool WriteLogFile(Handle file, const void* data, uint32_t length, uint32_t& written) {
    written = 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (written < length) {
        const ssize_t n = write(file, bytes + written, length - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<uint32_t>(n);
    }
    return true;
}

void CloseLogFile(Handle file) {
    if (file >= 0)
        close(file);
}

Handle OpenMonitor() {
    const std::string path = monitor_path::SocketPath();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path ||
        !monitor_path::IsPrivateDirectory(monitor_path::Directory(), false))
        return kNoHandle;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    FdGuard fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 || connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return kNoHandle;
    return fd.release();
}

void WriteMonitor(Handle monitor, const void* data, uint32_t length) {
    // A monitor that stopped reading must never hold up the line.
    send(monitor, data, length, MSG_DONTWAIT | MSG_NOSIGNAL);
}

void CloseMonitor(Handle monitor) {
    close(monitor);
}

} // namespace serial_os
