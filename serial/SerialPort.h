// CSerialPort: the one way to the module. Opens a named serial port with the module's fixed line
// settings, writes byte blocks, takes whatever the driver has already received, and records every
// written byte as a hex dump in the traffic log ("TxRx.log", mirrored to a monitor when one listens).
#pragma once

#include "HexDump.h"
#include "MonitorMessage.h"
#include "OpenFailure.h"
#include "ResultCodes.h"
#include "SerialPlatform.h"
#include "TrafficSink.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace serial_os {
class Device;
class SharedSearch;
} // namespace serial_os

class CSerialPort {
public:
    static constexpr uint32_t kBufferSize = 2048; // receive buffer, driver queues, largest read
    static constexpr uint32_t kQueueSize = 2048;
    static constexpr uint32_t kEventMask = 0x1F8; // CTS, DSR, carrier, break, line error, ring
    // A write the far end never lets finish (CTS held off) gives up after this long.
    static constexpr uint32_t kWriteBoundMs = 2000;
    static constexpr const char* kLogFileName = "TxRx.log";
    static constexpr uint32_t kDirectionWritten = 0;
    static constexpr uint32_t kDirectionRead = 1;
    static constexpr uint32_t kDumpBytesPerLine = hex_dump::kBytesPerLine;

    CSerialPort();
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Ports about to be opened together, each from a thread of its own (the ports of one command):
    // while it lives, their opens share one look for other holders of their devices instead of each
    // taking it alone. Nothing where the system keeps others off a device by itself.
    class SharedHolderSearch {
    public:
        explicit SharedHolderSearch(unsigned opens);
        ~SharedHolderSearch();
        SharedHolderSearch(const SharedHolderSearch&) = delete;
        SharedHolderSearch& operator=(const SharedHolderSearch&) = delete;

    private:
        std::unique_ptr<serial_os::SharedSearch> m_search;
    };

    int32_t Open(const char* portName, uint32_t baudRate);
    // Why the last Open failed, from the check that found it; reason kNone after an Open that succeeded.
    const serial_result::OpenFailure& LastOpenFailure() const { return m_lastOpenFailure; }
    int32_t Write(uint32_t length, const void* data);
    // Always 1. Never reads more than kBufferSize, whatever maxBytes says.
    int32_t ReadAvailable(uint32_t& bytesReadOut, uint32_t maxBytes);
    // What has arrived, up to the first zero byte, or "0" when nothing has.
    std::string ReadReplyText();
    int32_t Close();
    // The file the next Open logs to; "TxRx.log" unless changed, so that several ports can each keep
    // a log of their own in one directory.
    void SetLogFileName(std::string fileName) { m_logFileName = std::move(fileName); }
    const std::string& LogFileName() const { return m_logFileName; }
    // With several ports at once, each mirrors its dump with a tag (its name, say) that the monitor
    // shows; control bytes are dropped from it and it is cut at kMaxTagBytes. Empty, as it is unless
    // set, the mirror carries exactly the log's pieces.
    void SetMonitorTag(std::string_view tag);
    // Hears every byte written and read from now on, the log or no log; nullptr (as unless set) for
    // none. Not owned: it must outlive the port's use of it.
    void SetTrafficSink(TrafficSink* sink) { m_sink = sink; }

    // Traffic log.
    int32_t OpenLog(const char* fileName);
    int32_t CloseLog();
    int32_t RecordTraffic(uint32_t direction, uint32_t length, const void* data);
    int32_t FlushLine();
    int32_t WriteBoth(const char* text, uint32_t length, uint32_t& writtenOut, bool alsoMonitor);

    bool IsOpen() const { return m_hPort != serial_os::kNoHandle; }
    bool IsLogging() const { return m_logging != 0; }
    bool HasMonitor() const { return m_hMonitor != serial_os::kNoHandle; }
    uint32_t BaudRate() const { return m_baudRate; }
    uint32_t BytesRead() const { return m_bytesRead; }
    const char* ReceiveBuffer() const { return m_receiveBuffer.get(); }
    // The connection the port runs over (a Bluetooth link) was closed by the far end since Open: a
    // dropped link, which is no silent module.
    bool LinkLost() const { return m_linkLost; }

private:
    void Release();

    std::unique_ptr<char[]> m_receiveBuffer;
    std::unique_ptr<serial_os::Device> m_device; // m_hPort's, and what the system keeps for it
    uint32_t m_baudRate = 0;
    serial_os::Handle m_hPort = serial_os::kNoHandle;
    serial_os::Handle m_hLogFile = serial_os::kNoHandle;
    serial_os::Handle m_hMonitor = serial_os::kNoHandle;
    serial_os::LineSettings m_lineSettings{};
    serial_os::Timeouts m_timeouts{};
    uint32_t m_bytesRead = 0;
    uint32_t m_savedEventMask = 0;
    serial_os::QueueStatus m_lineStatus{};
    uint32_t m_lineErrors = 0;
    int32_t m_lastReadResult = 0;
    uint32_t m_logging = 0;
    uint32_t m_lastDirection = kDirectionRead;
    uint32_t m_pendingCount = 0;
    unsigned char m_pendingLine[kDumpBytesPerLine] = {};
    char m_lineText[hex_dump::kMaxLineChars + 5] = {};
    std::string m_logFileName = kLogFileName;
    bool m_linkLost = false;
    TrafficSink* m_sink = nullptr;
    serial_result::OpenFailure m_lastOpenFailure;
    // The tagged message is framed here, so that mirroring never allocates.
    char m_monitorMessage[monitor_message::kMaxTagBytes + 2 + sizeof m_lineText] = {};
    uint32_t m_monitorTagLength = 0; // bytes of m_monitorMessage the tag's frame takes; 0 untagged
};

// The program's one port; defined with the other globals so that their order is fixed.
extern CSerialPort g_serialPort;
