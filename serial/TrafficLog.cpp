// The traffic log half of CSerialPort: a hex dump of every written byte in "TxRx.log", each piece of
// text also mirrored to the monitor when one listens. Every buffer is a fixed part of the object, so
// recording never allocates.
#include "SerialPort.h"

#include "HexDump.h"
#include "SerialSystem.h"

#include <cstddef>
#include <cstring>

using namespace serial_result;

namespace {

constexpr char kLineFeed[] = "\n";
constexpr char kHeaderWritten[] = "Written:";
constexpr char kHeaderRead[] = "Read:";

} // namespace

int32_t CSerialPort::OpenLog(const char* fileName) {
    if (m_logging)
        return kWrongState;
    m_hLogFile = serial_os::CreateLogFile(fileName);
    if (m_hLogFile == serial_os::kNoHandle)
        return kLogNotCreated;
    // Looked for at every start until found, then kept for the rest of the program.
    if (m_hMonitor == serial_os::kNoHandle)
        m_hMonitor = serial_os::OpenMonitor();
    m_logging = 1;
    m_lastDirection = kDirectionRead; // so the first written block starts with a header
    m_pendingCount = 0;
    return kOk;
}

int32_t CSerialPort::CloseLog() {
    if (!m_logging)
        return kWrongState;
    FlushLine();
    m_logging = 0;
    serial_os::CloseLogFile(m_hLogFile);
    m_hLogFile = serial_os::kNoHandle;
    return kOk;
}

int32_t CSerialPort::RecordTraffic(uint32_t direction, uint32_t length, const void* data) {
    if (data == nullptr)
        return kWrongState;

    uint32_t written = 0;
    if (direction != m_lastDirection) {
        FlushLine();
        const char* header = direction == kDirectionRead ? kHeaderRead : kHeaderWritten;
        if (WriteBoth(kLineFeed, 1, written, true) != kOk ||
            WriteBoth(header, static_cast<uint32_t>(std::strlen(header)), written, true) != kOk ||
            WriteBoth(kLineFeed, 1, written, false) != kOk)
            return kLogWriteFailed;
    }

    const auto* bytes = static_cast<const unsigned char*>(data);
    while (length > 0) {
        const uint32_t room = kDumpBytesPerLine - m_pendingCount;
        const uint32_t chunk = length < room ? length : room;
        std::memcpy(m_pendingLine + m_pendingCount, bytes, chunk);
        m_pendingCount += chunk;
        bytes += chunk;
        length -= chunk;
        if (m_pendingCount == kDumpBytesPerLine && FlushLine() != kOk) {
            // A full line the file would not take is dropped: keeping it would leave no room for the
            // rest of the block, and recording must end whatever the file does.
            m_pendingCount = 0;
        }
    }

    m_lastDirection = direction;
    return kOk;
}

int32_t CSerialPort::FlushLine() {
    if (m_pendingCount == 0)
        return kOk;

    const size_t length = hex_dump::FormatLine(m_pendingLine, m_pendingCount, m_lineText);
    uint32_t written = 0;
    if (WriteBoth(m_lineText, static_cast<uint32_t>(length), written, true) != kOk ||
        WriteBoth(kLineFeed, 1, written, false) != kOk)
        return kLogWriteFailed;
    m_pendingCount = 0;
    return kOk;
}

void CSerialPort::SetMonitorTag(std::string_view tag) {
    m_monitorTagLength = 0;
    if (tag.empty())
        return;
    char* out = m_monitorMessage;
    *out++ = monitor_message::kTagStart;
    for (size_t i = 0; i < tag.size() && out - m_monitorMessage <= static_cast<ptrdiff_t>(monitor_message::kMaxTagBytes);
         ++i)
        if (static_cast<unsigned char>(tag[i]) >= 0x20 && tag[i] != 0x7F)
            *out++ = tag[i];
    *out++ = monitor_message::kTagEnd;
    m_monitorTagLength = static_cast<uint32_t>(out - m_monitorMessage);
}

int32_t CSerialPort::WriteBoth(const char* text, uint32_t length, uint32_t& writtenOut, bool alsoMonitor) {
    if (alsoMonitor && m_hMonitor != serial_os::kNoHandle) {
        if (m_monitorTagLength == 0) {
            serial_os::WriteMonitor(m_hMonitor, text, length);
        } else if (length <= sizeof m_monitorMessage - m_monitorTagLength) {
            std::memcpy(m_monitorMessage + m_monitorTagLength, text, length);
            serial_os::WriteMonitor(m_hMonitor, m_monitorMessage, m_monitorTagLength + length);
        }
    }
    writtenOut = 0;
    if (!serial_os::WriteLogFile(m_hLogFile, text, length, writtenOut) || writtenOut != length)
        return kLogWriteFailed;
    return kOk;
}
