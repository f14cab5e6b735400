#include "SerialPort.h"

#include "SerialSystem.h"

#include <cstring>
#include <new>

using namespace serial_result;

CSerialPort::~CSerialPort() {
    if (IsOpen())
        Close();
    if (m_hMonitor != serial_os::kNoHandle) {
        serial_os::CloseMonitor(m_hMonitor);
        m_hMonitor = serial_os::kNoHandle;
    }
}

int32_t CSerialPort::Open(const char* portName, uint32_t baudRate) {
    m_baudRate = baudRate;
    if (portName == nullptr)
        return kWrongState;
    if (IsOpen())
        return kAlreadyOpen;

    m_hPort = serial_os::OpenDevice(portName);
    if (m_hPort == serial_os::kNoHandle)
        return kOpenFailed;

    serial_os::SetQueueSizes(m_hPort, kQueueSize, kQueueSize);

    serial_os::ReadLineSettings(m_hPort, m_lineSettings);
    if (!serial_os::SetModuleLineSettings(m_lineSettings, baudRate) ||
        !serial_os::WriteLineSettings(m_hPort, m_lineSettings)) {
        Release();
        return kSettingsFailed;
    }

    serial_os::ReadEventMask(m_hPort, m_savedEventMask);
    if (!serial_os::WriteEventMask(m_hPort, kEventMask)) {
        Release();
        return kSettingsFailed;
    }

    serial_os::ReadTimeouts(m_hPort, m_timeouts);
    serial_os::SetModuleTimeouts(m_timeouts, kWriteBoundMs);
    // The write time-out is the only bound on a write the module holds up with CTS: without it the
    // port is not fit to use.
    if (!serial_os::WriteTimeouts(m_hPort, m_timeouts)) {
        Release();
        return kSettingsFailed;
    }

    m_receiveBuffer.reset(new (std::nothrow) char[kBufferSize]());
    if (!m_receiveBuffer) {
        Release();
        return kNoMemory;
    }

    // A log that cannot be created (another running copy holds it) leaves the port working.
    OpenLog(m_logFileName.c_str());
    return kOk;
}

int32_t CSerialPort::Write(uint32_t length, const void* data) {
    if (!IsOpen() || data == nullptr)
        return kWrongState;
    if (!serial_os::WriteAll(m_hPort, data, length, m_timeouts))
        return kWriteFailed;
    if (m_logging)
        return RecordTraffic(kDirectionWritten, length, data);
    return kOk;
}

int32_t CSerialPort::ReadAvailable(uint32_t& bytesReadOut, uint32_t maxBytes) {
    bytesReadOut = 0;
    if (!IsOpen())
        return 1;
    const uint32_t queued = serial_os::QueryInputQueue(m_hPort, m_lineStatus, m_lineErrors);
    if (queued > 0) {
        // The buffer holds kBufferSize bytes whatever a caller asks for.
        const uint32_t limit = maxBytes < kBufferSize ? maxBytes : kBufferSize;
        const uint32_t wanted = queued < limit ? queued : limit;
        bytesReadOut = serial_os::ReadQueued(m_hPort, m_receiveBuffer.get(), wanted);
    }
    return 1;
}

std::string CSerialPort::ReadReplyText() {
    m_lastReadResult = ReadAvailable(m_bytesRead, kBufferSize);
    if (m_bytesRead == 0)
        return "0";
    // The buffer is reused by every read, so only this read's bytes count; a zero byte ends the text.
    const char* bytes = m_receiveBuffer.get();
    const void* zero = std::memchr(bytes, 0, m_bytesRead);
    const size_t length = zero ? static_cast<const char*>(zero) - bytes : m_bytesRead;
    return std::string(bytes, length);
}

int32_t CSerialPort::Close() {
    if (!IsOpen())
        return kWrongState;
    Release();
    if (m_logging)
        return CloseLog();
    return kOk;
}

void CSerialPort::Release() {
    m_receiveBuffer.reset();
    if (m_hPort != serial_os::kNoHandle) {
        serial_os::CloseDevice(m_hPort);
        m_hPort = serial_os::kNoHandle;
    }
}
