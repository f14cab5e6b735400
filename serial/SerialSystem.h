// The operating-system calls that CSerialPort and its traffic log stand on. One implementation per
// platform (SerialSystemLinux.cpp, SerialSystemWin32.cpp); CMake picks the one that is built, so the
// channel's own logic never branches on the platform.
#pragma once

#include "OpenFailure.h"
#include "SerialPlatform.h"

#include <cstdint>
#include <memory>
#include <string>

namespace serial_os {

// An open device: the handle the calls below take, and whatever the system keeps for it while it is
// open (on Linux its lock file and its exclusive flag). Its end closes the device and gives all of
// that back, on every way out.
class Device {
public:
    virtual ~Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    Handle get() const { return m_handle; }

protected:
    explicit Device(Handle handle) : m_handle(handle) {}

private:
    Handle m_handle;
};

// Exclusive, read/write, existing devices only, and never waiting for the line (a carrier, say).
// Null when the device is missing, busy or refuses; why then says which, from the check that found
// it (and is left alone on success).
std::unique_ptr<Device> OpenDevice(const char* portName, serial_result::OpenFailure& why);

// Opens that a front end starts together, each on a thread of its own (the ports of one command):
// while the object lives, the checks that look through every process wait a moment for one another
// and share one look. Null where the system keeps others off a device by itself.
class SharedSearch {
public:
    virtual ~SharedSearch() = default;
};
std::unique_ptr<SharedSearch> ShareHolderSearch(unsigned opens);
// Whether OpenDevice would take the port now, asked so that an open of the port by another program
// meeting the question this moment is not refused for it.
bool ProbeDevice(const char* portName, serial_result::OpenFailure& why);

// The system's own words for an error number it gave (strerror, FormatMessage); empty without any.
std::string ErrorText(int osError);

void SetQueueSizes(Handle port, uint32_t inputBytes, uint32_t outputBytes);
void ReadLineSettings(Handle port, LineSettings& settings);
// Raw 8N1 at baudRate with RTS/CTS and DTR on, every byte passed unchanged. False when the rate
// cannot be expressed on this platform.
bool SetModuleLineSettings(LineSettings& settings, uint32_t baudRate);
bool WriteLineSettings(Handle port, const LineSettings& settings);
void ReadEventMask(Handle port, uint32_t& mask);
bool WriteEventMask(Handle port, uint32_t mask);
void ReadTimeouts(Handle port, Timeouts& timeouts);
// Reads return at once with what is queued; a write gives up after writeBoundMs.
void SetModuleTimeouts(Timeouts& timeouts, uint32_t writeBoundMs);
// False when the driver refuses them: the port would then have no bound on a write.
bool WriteTimeouts(Handle port, const Timeouts& timeouts);

// True only when every byte went out within the bound the time-outs give.
bool WriteAll(Handle port, const void* data, uint32_t length, const Timeouts& timeouts);
// Set in QueryInputQueue's error flags when the far end has closed the connection the port runs over
// (a Bluetooth link that dropped); no serial driver's own flag uses this bit.
inline constexpr uint32_t kLinkLost = 0x80000000u;

// Clears pending line errors and returns the number of received bytes waiting in the driver.
uint32_t QueryInputQueue(Handle port, QueueStatus& status, uint32_t& errorFlags);
// Reads exactly what is asked for from what is already queued; returns the count delivered.
uint32_t ReadQueued(Handle port, void* buffer, uint32_t length);

// The traffic log file: created anew, not shared with any other open; kNoHandle on failure.
Handle CreateLogFile(const char* fileName);
bool WriteLogFile(Handle file, const void* data, uint32_t length, uint32_t& written);
void CloseLogFile(Handle file);

// The monitor mirror: the client end of the monitor's endpoint, kNoHandle when no monitor listens.
// Each write is one message; failures are of no interest to the caller.
Handle OpenMonitor();
void WriteMonitor(Handle monitor, const void* data, uint32_t length);
void CloseMonitor(Handle monitor);

} // namespace serial_os
