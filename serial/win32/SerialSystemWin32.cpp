// Win32 side of the serial channel: the communications calls of kernel32 on a synchronous handle,
// a log file opened without sharing, and the monitor's mailslot through the same file interface.
#include "SerialSystem.h"

#include "MonitorPath.h"
#include "PortNames.h"

#include <new>
#include <string>

namespace serial_os {

namespace {

Handle OrNoHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? kNoHandle : handle;
}

// CreateFile on a COM port reports a port another program holds as access denied (the driver
// allows one open); only a device node whose security refuses us is a matter of permission, and
// Windows tells the two apart by nothing but the error, so access denied is taken as busy.
serial_result::OpenReason ReasonOfOpenError(DWORD error) {
    using serial_result::OpenReason;
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
        return OpenReason::kMissing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return OpenReason::kBusy;
    case ERROR_PRIVILEGE_NOT_HELD:
        return OpenReason::kPermission;
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
        return OpenReason::kResourceLimit;
    default:
        return OpenReason::kOther;
    }
}

// The driver keeps a COM port to the one open it allows: the handle is all there is to give back.
class ComPort final : public Device {
public:
    explicit ComPort(Handle handle) : Device(handle) {}
    ~ComPort() override { CloseHandle(get()); }
};

} // namespace

std::unique_ptr<Device> OpenDevice(const char* portName, serial_result::OpenFailure& why) {
    if (portName == nullptr) {
        serial_result::Refuse(why, serial_result::OpenReason::kMissing, std::string());
        return nullptr;
    }
    const std::string path = port_names::Win32DevicePath(portName);
    const Handle handle = OrNoHandle(
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (handle == kNoHandle) {
        const DWORD error = GetLastError();
        serial_result::Refuse(why, ReasonOfOpenError(error), path, static_cast<int>(error));
        return nullptr;
    }
    std::unique_ptr<Device> port(new (std::nothrow) ComPort(handle));
    if (!port) {
        CloseHandle(handle);
        serial_result::Refuse(why, serial_result::OpenReason::kResourceLimit, path, 0, "no memory");
    }
    return port;
}

// A COM port allows one open at a time, so the question is the open itself, handed back at once.
bool ProbeDevice(const char* portName, serial_result::OpenFailure& why) {
    return OpenDevice(portName, why) != nullptr;
}

// A COM port's open is exclusive in the driver itself: there is no look through other processes.
std::unique_ptr<SharedSearch> ShareHolderSearch(unsigned) {
    return nullptr;
}

std::string ErrorText(int osError) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(osError), 0, reinterpret_cast<char*>(&text), 0,
                                        nullptr);
    std::string words = length > 0 && text != nullptr ? std::string(text, length) : std::string();
    LocalFree(text);
    // The message ends in a full stop and a line break, which a sentence around it does not want.
    while (!words.empty() && (words.back() == '\r' || words.back() == '\n' || words.back() == '.' || words.back() == ' '))
        words.pop_back();
    return words;
}

void SetQueueSizes(Handle port, uint32_t inputBytes, uint32_t outputBytes) {
    SetupComm(port, inputBytes, outputBytes);
}

void ReadLineSettings(Handle port, LineSettings& settings) {
    settings.DCBlength = sizeof settings;
    GetCommState(port, &settings);
}

bool SetModuleLineSettings(LineSettings& settings, uint32_t baudRate) {
    settings.BaudRate = baudRate;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = 1;
    settings.fParity = 0;
    settings.fOutxCtsFlow = 1;
    settings.fOutxDsrFlow = 0;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fDsrSensitivity = 0;
    settings.fRtsControl = RTS_CONTROL_HANDSHAKE;
    settings.fOutX = 0;
    settings.fInX = 0;
    settings.fErrorChar = 0;
    settings.fNull = 0;
    settings.fAbortOnError = 0;
    settings.EofChar = 0;
    return true;
}

bool WriteLineSettings(Handle port, const LineSettings& settings) {
    return SetCommState(port, const_cast<LineSettings*>(&settings)) != 0;
}

void ReadEventMask(Handle port, uint32_t& mask) {
    DWORD current = 0;
    GetCommMask(port, &current);
    mask = current;
}

bool WriteEventMask(Handle port, uint32_t mask) {
    return SetCommMask(port, mask) != 0;
}

void ReadTimeouts(Handle port, Timeouts& timeouts) {
    GetCommTimeouts(port, &timeouts);
}

void SetModuleTimeouts(Timeouts& timeouts, uint32_t writeBoundMs) {
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    // The one time-out in use: without it a module holding CTS off would hang the write for good.
    timeouts.WriteTotalTimeoutConstant = writeBoundMs;
}

bool WriteTimeouts(Handle port, const Timeouts& timeouts) {
    return SetCommTimeouts(port, const_cast<Timeouts*>(&timeouts)) != 0;
}

bool WriteAll(Handle port, const void* data, uint32_t length, const Timeouts&) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    uint32_t sent = 0;
    while (sent < length) {
        DWORD written = 0;
        // A write that ran into the time-out returns early with what went out; nothing more will.
        if (!WriteFile(port, bytes + sent, length - sent, &written, nullptr) || written == 0)
            return false;
        sent += written;
    }
    return true;
}

uint32_t QueryInputQueue(Handle port, QueueStatus& status, uint32_t& errorFlags) {
    DWORD errors = 0;
    if (!ClearCommError(port, &errors, &status))
        status.cbInQue = 0;
    errorFlags = errors;
    return status.cbInQue;
}

uint32_t ReadQueued(Handle port, void* buffer, uint32_t length) {
    DWORD read = 0;
    ReadFile(port, buffer, length, &read, nullptr);
    return read;
}

Handle CreateLogFile(const char* fileName) {
    if (fileName == nullptr)
        return kNoHandle;
    return OrNoHandle(
        CreateFileA(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteLogFile(Handle file, const void* data, uint32_t length, uint32_t& written) {
    DWORD count = 0;
    const bool ok = WriteFile(file, data, length, &count, nullptr) != 0;
    written = count;
    return ok;
}

void CloseLogFile(Handle file) {
    if (file != kNoHandle)
        CloseHandle(file);
}

Handle OpenMonitor() {
    return OrNoHandle(CreateFileA(monitor_path::kMailslotName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

void WriteMonitor(Handle monitor, const void* data, uint32_t length) {
    DWORD written = 0;
    WriteFile(monitor, data, length, &written, nullptr);
}

void CloseMonitor(Handle monitor) {
    CloseHandle(monitor);
}

} // namespace serial_os
