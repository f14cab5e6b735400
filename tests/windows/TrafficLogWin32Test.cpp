// The traffic log on Win32 itself: the file opened without sharing and the monitor's mailslot, which
// the POSIX tests stand in for with other means.
#include "MonitorPath.h"
#include "SerialPort.h"
#include "WorkDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <windows.h>

using namespace serial_result;

namespace {

using monitor_path::kMailslotName;
const std::string kCommand = "AT+BNAME?\r\n";
const std::string kCommandDumpLine =
    "41 54 2B 42 4E 41 4D 45 3F 0D 0A " + std::string(18, ' ') + "AT+BNAME?..";

// The monitor's side: the server end of the mailslot, read one message at a time.
class MonitorMailslot {
public:
    MonitorMailslot() : m_handle(CreateMailslotA(kMailslotName, 0, 0, nullptr)) {}
    ~MonitorMailslot() {
        if (Exists())
            CloseHandle(m_handle);
    }
    MonitorMailslot(const MonitorMailslot&) = delete;
    MonitorMailslot& operator=(const MonitorMailslot&) = delete;

    bool Exists() const { return m_handle != INVALID_HANDLE_VALUE; }

    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        DWORD nextSize = 0;
        DWORD count = 0;
        while (GetMailslotInfo(m_handle, nullptr, &nextSize, &count, nullptr) &&
               nextSize != MAILSLOT_NO_MESSAGE) {
            std::string message(nextSize, '\0');
            DWORD read = 0;
            if (!ReadFile(m_handle, message.data(), nextSize, &read, nullptr))
                break;
            message.resize(read);
            messages.push_back(message);
        }
        return messages;
    }

private:
    HANDLE m_handle;
};

#define REQUIRE_MAILSLOT(slot)                                                                               \
    if (!(slot).Exists())                                                                                    \
    GTEST_SKIP() << "the monitor mailslot is taken (a monitor is running?)"

uint32_t Length(const std::string& text) {
    return static_cast<uint32_t>(text.size());
}

} // namespace

TEST(MonitorMirror, EachPieceIsOneMessageAndTheFileStillGetsEverything) {
    MonitorMailslot slot;
    REQUIRE_MAILSLOT(slot);
    WorkDir dir;
    CSerialPort port;

    ASSERT_EQ(port.OpenLog(CSerialPort::kLogFileName), kOk);
    EXPECT_TRUE(port.HasMonitor());
    ASSERT_EQ(port.RecordTraffic(CSerialPort::kDirectionWritten, Length(kCommand), kCommand.data()), kOk);
    ASSERT_EQ(port.CloseLog(), kOk);

    // Line ends after the header and the dump line go to the file only.
    EXPECT_EQ(slot.Messages(), (std::vector<std::string>{"\n", "Written:", kCommandDumpLine}));
    EXPECT_EQ(ReadWholeFile("TxRx.log"), "\nWritten:\n" + kCommandDumpLine + "\n");
}

TEST(MonitorMirror, HandleOutlivesTheLogAndServesTheNextOne) {
    MonitorMailslot slot;
    REQUIRE_MAILSLOT(slot);
    WorkDir dir;
    CSerialPort port;

    ASSERT_EQ(port.OpenLog(CSerialPort::kLogFileName), kOk);
    ASSERT_EQ(port.CloseLog(), kOk);
    EXPECT_TRUE(port.HasMonitor());
    EXPECT_TRUE(slot.Messages().empty()); // a log without traffic mirrors nothing

    ASSERT_EQ(port.OpenLog(CSerialPort::kLogFileName), kOk);
    const std::string sixteen = "0123456789ABCDEF";
    ASSERT_EQ(port.RecordTraffic(CSerialPort::kDirectionWritten, Length(sixteen), sixteen.data()), kOk);
    const std::vector<std::string> messages = slot.Messages(); // a full line goes out at once
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].size(), 67u);
    EXPECT_EQ(port.CloseLog(), kOk);
}

TEST(MonitorMirror, NoMailslotMeansNoMirrorAndACompleteFile) {
    WorkDir dir;
    CSerialPort port;
    {
        MonitorMailslot probe; // only to be sure no monitor is running; closed again at once
        REQUIRE_MAILSLOT(probe);
    }
    ASSERT_EQ(port.OpenLog(CSerialPort::kLogFileName), kOk);
    EXPECT_FALSE(port.HasMonitor());
    ASSERT_EQ(port.RecordTraffic(CSerialPort::kDirectionWritten, Length(kCommand), kCommand.data()), kOk);
    ASSERT_EQ(port.CloseLog(), kOk);
    EXPECT_EQ(ReadWholeFile("TxRx.log"), "\nWritten:\n" + kCommandDumpLine + "\n");
}

TEST(LogFileExclusivity, SecondLogOnTheSameFileFailsAndLeavesTheFirstIntact) {
    MonitorMailslot slot;
    REQUIRE_MAILSLOT(slot);
    WorkDir dir;
    CSerialPort first;
    CSerialPort second;

    ASSERT_EQ(first.OpenLog(CSerialPort::kLogFileName), kOk);
    ASSERT_EQ(first.RecordTraffic(CSerialPort::kDirectionWritten, Length(kCommand), kCommand.data()), kOk);

    EXPECT_EQ(second.OpenLog(CSerialPort::kLogFileName), kLogNotCreated);
    EXPECT_FALSE(second.IsLogging());
    EXPECT_FALSE(second.HasMonitor()); // a failed start does not look for the monitor
    EXPECT_EQ(second.CloseLog(), kWrongState);

    ASSERT_EQ(first.CloseLog(), kOk);
    // The refused second open must not have emptied the file the first one was writing.
    EXPECT_EQ(ReadWholeFile("TxRx.log"), "\nWritten:\n" + kCommandDumpLine + "\n");

    // Once the first copy lets go, the second one can log, and it starts the file anew.
    ASSERT_EQ(second.OpenLog(CSerialPort::kLogFileName), kOk);
    EXPECT_EQ(second.CloseLog(), kOk);
    EXPECT_EQ(ReadWholeFile("TxRx.log"), "");
}
