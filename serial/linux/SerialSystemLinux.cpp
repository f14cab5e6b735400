// Linux side of the serial channel: the line itself, termios settings and bounded writes on a tty or
// a Bluetooth link's socket. The opens are in TtyOpen.cpp and BluetoothOpen.cpp, the traffic log and
// the monitor in LogFileAndMonitor.cpp.
#include "SerialSystem.h"

#include "Bluetooth.h"
#include "DeviceOpens.h"
#include "PortNames.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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


} // namespace

std::unique_ptr<Device> OpenDevice(const char* portName, serial_result::OpenFailure& why) {
    OpenUnderWay underWay;
    if (portName == nullptr) {
        Refuse(why, serial_result::OpenReason::kMissing, std::string());
        return nullptr;
    }
    std::string address;
    if (bluetooth::AddressOfPortName(portName, address)) {
        underWay.Arrived(); // the link may take seconds: the walks of the other ports do not wait for it
        return OpenBluetoothLink(address, why);
    }
    return OpenTty(port_names::PosixDevicePath(portName, port_names::DeviceDirectory()), underWay, why);
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

} // namespace serial_os
