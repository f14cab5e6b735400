#include "SerialPort.h"

#include "SerialSystem.h"

#include <cstring>
#include <new>

using namespace serial_result;

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    if (IsOpen())
        Close();
    if (m_hMonitor != serial_os::kNoHandle) {
        serial_os::CloseMonitor(m_hMonitor);
        m_hMonitor = serial_os::kNoHandle;
    }
}

CSerialPort::SharedHolderSearch::SharedHolderSearch(unsigned opens) : m_search(serial_os::ShareHolderSearch(opens)) {}

CSerialPort::SharedHolderSearch::~SharedHolderSearch() = default;

int32_t CSerialPort::Open(const char* portName, uint32_t baudRate) {
    m_baudRate = baudRate;
    m_lastOpenFailure = OpenFailure{};
    if (portName == nullptr) {
        Refuse(m_lastOpenFailure, OpenReason::kOther, std::string(), 0, "no port name");
        return kWrongState;
    }
    if (IsOpen()) {
        Refuse(m_lastOpenFailure, OpenReason::kBusy, portName, 0, "this connection is already open");
        return kAlreadyOpen;
    }

    m_linkLost = false;
    m_device = serial_os::OpenDevice(portName, m_lastOpenFailure);
    if (!m_device)
        return kOpenFailed;
    m_hPort = m_device->get();
    const auto refuse = [&](OpenReason reason, const char* detail) {
        Release();
        Refuse(m_lastOpenFailure, reason, portName, 0, detail);
    };

    serial_os::SetQueueSizes(m_hPort, kQueueSize, kQueueSize);

    serial_os::ReadLineSettings(m_hPort, m_lineSettings);
    if (!serial_os::SetModuleLineSettings(m_lineSettings, baudRate)) {
        refuse(OpenReason::kOther, "the baud rate cannot be set on this system");
        return kSettingsFailed;
    }
    if (!serial_os::WriteLineSettings(m_hPort, m_lineSettings)) {
        refuse(OpenReason::kNotSerialLine, "it refused the line settings");
        return kSettingsFailed;
    }

    serial_os::ReadEventMask(m_hPort, m_savedEventMask);
    if (!serial_os::WriteEventMask(m_hPort, kEventMask)) {
        refuse(OpenReason::kNotSerialLine, "it refused the event mask");
        return kSettingsFailed;
    }

    serial_os::ReadTimeouts(m_hPort, m_timeouts);
    serial_os::SetModuleTimeouts(m_timeouts, kWriteBoundMs);
    // The write time-out is the only bound on a write the module holds up with CTS: without it the
    // port is not fit to use.
    if (!serial_os::WriteTimeouts(m_hPort, m_timeouts)) {
        refuse(OpenReason::kNotSerialLine, "it refused the write time-out");
        return kSettingsFailed;
    }

    m_receiveBuffer.reset(new (std::nothrow) char[kBufferSize]());
    if (!m_receiveBuffer) {
        refuse(OpenReason::kResourceLimit, "no memory for the receive buffer");
        return kNoMemory;
    }

    // A log that cannot be created (another running copy holds it) leaves the port working.
    OpenLog(m_logFileName.c_str());
    return kOk;
}

int32_t CSerialPort::Write(uint32_t length, const void* data) {
    if (!IsOpen() || data == nullptr)
        return kWrongState;
    if (!serial_os::WriteAll(m_hPort, data, length, m_timeouts)) {
        // Whether the write failed because the link is gone rather than stuck.
        serial_os::QueryInputQueue(m_hPort, m_lineStatus, m_lineErrors);
        m_linkLost = m_linkLost || (m_lineErrors & serial_os::kLinkLost) != 0;
        return kWriteFailed;
    }
    if (m_sink != nullptr)
        m_sink->Traffic(kDirectionWritten, data, length);
    if (m_logging)
        return RecordTraffic(kDirectionWritten, length, data);
    return kOk;
}

int32_t CSerialPort::ReadAvailable(uint32_t& bytesReadOut, uint32_t maxBytes) {
    bytesReadOut = 0;
    if (!IsOpen())
        return 1;
    const uint32_t queued = serial_os::QueryInputQueue(m_hPort, m_lineStatus, m_lineErrors);
    m_linkLost = m_linkLost || (m_lineErrors & serial_os::kLinkLost) != 0;
    if (queued > 0) {
        // The buffer holds kBufferSize bytes whatever a caller asks for.
        const uint32_t limit = maxBytes < kBufferSize ? maxBytes : kBufferSize;
        const uint32_t wanted = queued < limit ? queued : limit;
        bytesReadOut = serial_os::ReadQueued(m_hPort, m_receiveBuffer.get(), wanted);
        if (m_sink != nullptr && bytesReadOut > 0)
            m_sink->Traffic(kDirectionRead, m_receiveBuffer.get(), bytesReadOut);
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
    m_device.reset();
    m_hPort = serial_os::kNoHandle;
}
