#include "InMemorySerialSystem.h"

#include "SerialSystem.h"

#include <algorithm>
#include <cstring>

namespace in_memory_os {

State& Os() {
    static State state;
    return state;
}

void Reset() {
    Os() = State{};
}

} // namespace in_memory_os

namespace serial_os {

namespace {

constexpr Handle kDevice = 3;
constexpr Handle kLogFile = 4;
constexpr Handle kMonitor = 5;

using in_memory_os::Os;

// Counted while open, so that a target can tell that every open was closed.
class MemoryDevice final : public Device {
public:
    MemoryDevice() : Device(kDevice) { ++Os().openDevices; }
    ~MemoryDevice() override { --Os().openDevices; }
};

} // namespace

std::unique_ptr<Device> OpenDevice(const char* portName, serial_result::OpenFailure& why) {
    if (portName == nullptr || *portName == '\0' || !Os().devicePresent) {
        serial_result::Refuse(why, serial_result::OpenReason::kMissing, portName == nullptr ? "" : portName);
        return nullptr;
    }
    return std::make_unique<MemoryDevice>();
}

bool ProbeDevice(const char* portName, serial_result::OpenFailure& why) {
    if (portName != nullptr && *portName != '\0' && Os().devicePresent)
        return true;
    serial_result::Refuse(why, serial_result::OpenReason::kMissing, portName == nullptr ? "" : portName);
    return false;
}

std::unique_ptr<SharedSearch> ShareHolderSearch(unsigned) {
    return nullptr;
}

std::string ErrorText(int) {
    return {};
}

void SetQueueSizes(Handle, uint32_t, uint32_t) {}

void ReadLineSettings(Handle, LineSettings& settings) {
    std::memset(&settings, 0, sizeof settings);
}

bool SetModuleLineSettings(LineSettings&, uint32_t baudRate) {
    return baudRate != 0;
}

bool WriteLineSettings(Handle, const LineSettings&) {
    return true;
}

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

bool WriteTimeouts(Handle, const Timeouts&) {
    return true;
}

bool WriteAll(Handle, const void* data, uint32_t length, const Timeouts&) {
    if (Os().portWritesFail)
        return false;
    Os().written.append(static_cast<const char*>(data), length);
    return true;
}

uint32_t QueryInputQueue(Handle, QueueStatus& status, uint32_t& errorFlags) {
    status.inQueue = static_cast<uint32_t>(Os().input.size());
    errorFlags = 0;
    return status.inQueue;
}

uint32_t ReadQueued(Handle, void* buffer, uint32_t length) {
    uint32_t count = std::min<uint32_t>(length, static_cast<uint32_t>(Os().input.size()));
    if (Os().readSize)
        count = std::min(count, Os().readSize(count));
    std::memcpy(buffer, Os().input.data(), count);
    Os().reads.push_back(Os().input.substr(0, count));
    Os().input.erase(0, count);
    return count;
}

Handle CreateLogFile(const char* fileName) {
    if (fileName == nullptr || !Os().logCreatable)
        return kNoHandle;
    Os().logFile.clear();
    ++Os().openLogs;
    return kLogFile;
}

bool WriteLogFile(Handle, const void* data, uint32_t length, uint32_t& written) {
    const in_memory_os::LogWrite outcome = Os().logWrite ? Os().logWrite(length) : in_memory_os::LogWrite{};
    written = std::min(length, outcome.takes);
    Os().logFile.append(static_cast<const char*>(data), written);
    return outcome.ok;
}

void CloseLogFile(Handle) {
    --Os().openLogs;
}

Handle OpenMonitor() {
    return Os().monitorPresent ? kMonitor : kNoHandle;
}

void WriteMonitor(Handle, const void* data, uint32_t length) {
    Os().monitor.emplace_back(static_cast<const char*>(data), length);
}

void CloseMonitor(Handle) {}

} // namespace serial_os
